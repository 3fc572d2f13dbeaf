#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "config/serial_settings.h"
#include "memory_controller.h"
#include "points/point_database.h"
#include "port/port_drv.h"
#include "protocol/protocol.h"
#include "support/fake_serial_line.h"
#include "support/internals_probe.h"

namespace kestrova::test {

// Point data type codes.
inline constexpr std::uint32_t TypeS8 = 16;
inline constexpr std::uint32_t TypeU8 = 32;
inline constexpr std::uint32_t TypeS16 = 64;
inline constexpr std::uint32_t TypeU16 = 128;
inline constexpr std::uint32_t TypeS32 = 256;
inline constexpr std::uint32_t TypeNoSize = 7;

// The protocol over a real port driver over a fake line, connected the way the core
// connects: ProtocolInit, port open, write requests withdrawn, transfer and protocol reset.
class ProtocolTest : public ::testing::Test {
protected:
    std::int64_t nowUs = 0;  // the port driver's clock, half a millisecond a poll
    FakeSerialLine line;
    SerialSettings settings;
    PortMap ports;
    PortDrv port{line, settings, ports};
    PointDatabase db;
    Protocol proto{db, port};
    MemoryController controller;

    void SetUp() override {
        for (int p = 0; p < MaxPoints; ++p) db.ClearPoint(p);
        db.SetPersistantMode(true);
        port.SetClock([this] { return nowUs; });
        port.PortInit();
        Connect();
    }

    void Connect() {
        proto.ProtocolInit();
        port.PortOpen();
        ASSERT_EQ(port.LinkState(), PortLinkState::Open);
        for (int p = 0; p < MaxPoints; ++p) db.ClearPointWriteRequest(p);
        port.PortResetTransfer();
        proto.ProtocolReset();
    }

    // A point of the controller at network address 2, 0, 0, 0.
    PointRecord& Define(int point, std::uint32_t type, std::uint32_t access, std::int32_t address) {
        db.ClearPoint(point);
        PointRecord& p = Pt(point);
        p.Pt_Flags = type | access;
        p.Address = address;
        p.Network_0 = 2;
        p.Network_1 = 0;
        p.Network_2 = 0;
        p.Network_3 = 0;
        return p;
    }

    PointRecord& Pt(int point) {
        return InternalsProbe::PointTable(db)[static_cast<std::size_t>(point)];
    }
    MsgBlock& Block(int block) {
        return InternalsProbe::MsgBlockTable(proto)[static_cast<std::size_t>(block)];
    }
    void RequestRead(int point) { Pt(point).Msg_Flags |= MsgReadRequest; }

    // One comms tick, as the core runs it.
    void Tick() {
        port.PortPoll();
        nowUs += PortDrv::MicrosPerPoll;
        proto.ProtocolPoll();
        port.PortPoll();
        nowUs += PortDrv::MicrosPerPoll;
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Tick();
    }
    // Ticks until pred holds; false when it did not within maxTicks.
    template <typename Pred>
    bool TickUntil(Pred pred, int maxTicks = 500) {
        for (int i = 0; i < maxTicks; ++i) {
            if (pred()) return true;
            Tick();
        }
        return pred();
    }
};

}  // namespace kestrova::test
