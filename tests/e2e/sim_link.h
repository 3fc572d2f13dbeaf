#pragma once

#include <gtest/gtest.h>
#include <time.h>

#include <array>
#include <cstdint>
#include <string>

#include "config/serial_settings.h"
#include "points/point_database.h"
#include "points/tag_file.h"
#include "port/port_drv.h"
#include "port/posix_serial_line.h"
#include "protocol/protocol.h"
#include "sim/pty_simulator.h"
#include "support/internals_probe.h"
#include "support/pty_reply_wait.h"

namespace kestrova::test {

// The utility's runtime below the core, talking over a real pseudo-terminal to the simulated
// controller served in the same thread: the start-up tag file from the source tree, the real
// serial line, port driver and protocol, driven by a 1 ms comms tick and a 10 ms system tick on
// the monotonic clock.
class SimLink {
public:
    static constexpr int ComPort = 1;
    static constexpr int LateReplyHorizonMs = 40;

private:
    bool answersEveryRequest_;  // no dropped replies among the fault settings

public:
    explicit SimLink(SimOptions options = {})
        : answersEveryRequest_(options.faults.drop == 0.0), sim(std::move(options)) {}

    // Starts the simulator, loads the tag file, connects. Scan periods are short so a test
    // sees every scan class within a fraction of a second.
    ::testing::AssertionResult Start() {
        std::string error;
        if (!sim.Start(error)) return ::testing::AssertionFailure() << "simulator: " << error;
        settings.Port = ComPort;
        ports.Set(ComPort, sim.DevicePath());
        // The simulator drops replies but never sends one late: waiting out the default 250 ms
        // after each time-out would only make the faulty-line tests slow.
        ports.SetTiming(ComPort,
                        {.replyAllowanceMs = {}, .lateReplyHorizonMs = LateReplyHorizonMs});
        tags.LoadPoints(db, "KESTROVA_001", KESTROVA_DATA_DIR);
        if (tags.TagFileVersion != 1201) {
            return ::testing::AssertionFailure() << "tag file version " << tags.TagFileVersion;
        }
        constexpr std::array<std::int32_t, ScanTimerCount> periods = {
            4, 9, 19, 29, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000};
        for (int n = 0; n < ScanTimerCount; ++n) db.SetScanPeriod(n, periods[n]);
        db.SetPersistantMode(true);
        port.PortInit();
        // As the core connects: protocol initialised, port opened, waiting writes withdrawn,
        // transfer and protocol reset.
        proto.ProtocolInit();
        port.PortOpen();
        if (port.LinkState() != PortLinkState::Open) {
            return ::testing::AssertionFailure() << "open failed: " << port.PortErrorText();
        }
        for (int p = 0; p < MaxPoints; ++p) db.ClearPointWriteRequest(p);
        port.PortResetTransfer();
        proto.ProtocolReset();
        clock_gettime(CLOCK_MONOTONIC, &next_);
        return ::testing::AssertionSuccess();
    }

    // One millisecond: the simulator serves its side, then the comms tick; every tenth one the
    // system tick's scan timers and point scan.
    void Millisecond() {
        sim.Poll(0);
        port.PortPoll();
        proto.ProtocolPoll();
        port.PortPoll();
        replyWait_.AfterTick(
            answersEveryRequest_ && port.TransferState() == PortTransferState::Receiving, line,
            sim);
        if (ticks_ % 10 == 0) {
            db.TickScanTimers();
            db.ScanPoints();
        }
        ++ticks_;
        next_.tv_nsec += 1'000'000;
        if (next_.tv_nsec >= 1'000'000'000) {
            next_.tv_nsec -= 1'000'000'000;
            ++next_.tv_sec;
        }
        // Ticks missed while the process was held up (a loaded machine, an instrumented build)
        // are dropped, as a message-loop timer drops them: run back to back they would use up a
        // reply limit, counted in polls, before the pseudo-terminal had passed the reply on.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const bool late = now.tv_sec > next_.tv_sec ||
                          (now.tv_sec == next_.tv_sec && now.tv_nsec > next_.tv_nsec);
        if (late) next_ = now;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next_, nullptr);
    }

    void Run(int ms) {
        for (int i = 0; i < ms; ++i) Millisecond();
    }

    // Runs until pred holds, at most maxMs; true when it held.
    template <typename Pred>
    bool RunUntil(Pred pred, int maxMs) {
        for (int i = 0; i < maxMs; ++i) {
            if (pred()) return true;
            Millisecond();
        }
        return pred();
    }

    PointRecord& Pt(int point) {
        return InternalsProbe::PointTable(db)[static_cast<std::size_t>(point)];
    }
    const std::uint8_t* Memory(std::uint32_t address) const {
        return sim.Model().Memory().data() + address;
    }
    std::int16_t Memory16(std::uint32_t address) const {
        const std::uint8_t* m = Memory(address);
        return static_cast<std::int16_t>(m[0] | (m[1] << 8));
    }

    PtySimulator sim;
    PosixSerialLine line;
    SerialSettings settings;
    PortMap ports;
    PortDrv port{line, settings, ports};
    PointDatabase db;
    Protocol proto{db, port};
    TagFile tags;

private:
    PtyReplyWait replyWait_;
    timespec next_{};
    long ticks_ = 0;
};

}  // namespace kestrova::test
