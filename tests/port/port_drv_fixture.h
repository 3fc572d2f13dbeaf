#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/enum_int.h"
#include "port/port_drv.h"
#include "support/fake_serial_line.h"

namespace kestrova::test {

// A port driver over a fake line, on a clock the test moves: COM7 mapped, at 38400 baud, 8N1.
class PortDrvTest : public ::testing::Test {
protected:
    PortDrvTest() : drv(line, settings, ports) {
        drv.SetClock([this] { return nowUs; });
        ports.Set(7, "/dev/fake-com7");
        settings = SerialSettings{7, 38400, 8, 0, 1};
        drv.PortInit();
    }

    void OpenLink() {
        drv.PortOpen();
        ASSERT_EQ(drv.LinkState(), PortLinkState::Open);
        line.lineCalls.clear();
        line.configs.clear();
    }

    void Send(std::vector<std::uint8_t> frame, std::int32_t replyLength, std::int32_t limit = 1000,
              std::uint8_t endChar = 0) {
        drv.PortSetReplyLimit(limit);
        drv.PortSetEndChar(endChar);
        drv.PortSetReplyLength(replyLength);
        drv.PortSend(static_cast<std::int32_t>(frame.size()), frame.data());
        nowUs += PortDrv::MicrosPerPoll;
    }

    // One poll, half a millisecond after the one before, as the comms tick polls.
    void Poll() {
        drv.PortPoll();
        nowUs += PortDrv::MicrosPerPoll;
    }

    std::vector<std::uint8_t> Reply() const {
        return {drv.ReplyBuffer().begin(), drv.ReplyBuffer().begin() + drv.ReplyLength()};
    }

    std::int64_t nowUs = 0;
    FakeSerialLine line;
    SerialSettings settings;
    PortMap ports;
    PortDrv drv;
};

}  // namespace kestrova::test
