// A Win32 COM port against the simulated controller: scripts/windows.sh starts kestrova-sim and
// maps the Wine COM port named in KESTROVA_WINE_COM (e.g. COM5) to its pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "port/win32_serial_line.h"
#include "protocol/msg_frames.h"

namespace kestrova {
namespace {

constexpr std::uint32_t ControllerModeAddress = 2564;

class Win32SerialLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("KESTROVA_WINE_COM");
        if (port == nullptr || *port == '\0') GTEST_SKIP() << "KESTROVA_WINE_COM names no port";
        port_ = port;
    }
    std::string port_;
};

TEST_F(Win32SerialLineTest, ExchangesAFrameWithTheController) {
    Win32SerialLine line;
    ASSERT_EQ(line.Open(port_), OpenFailure::None);
    ASSERT_EQ(line.Configure(38400, 8, 0, 1), OpenFailure::None);
    line.SetDtr(true);
    line.SetRts(true);
    EXPECT_FALSE(line.RequestLowLatency());
    EXPECT_EQ(line.Kind(), LineKind::Other);  // a Wine port has no SetupAPI entry

    RequestChannel channel;
    channel.RequestAddress = ControllerModeAddress;
    channel.BuildReadRequest();
    ASSERT_TRUE(line.Write(channel.TxFrame.data(), channel.FrameLength));

    std::array<std::uint8_t, 256> reply{};
    std::int32_t length = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (length < channel.ExpectedReplyLength && std::chrono::steady_clock::now() < deadline) {
        EXPECT_EQ(line.LineErrors(), 0u);
        const std::int32_t queued = line.QueuedInput();
        if (queued > 0) {
            const std::int32_t got = line.Read(reply.data() + length, queued);
            ASSERT_GE(got, 0);
            length += got;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(length, channel.ExpectedReplyLength);
    channel.SetReply(reply.data(), static_cast<std::size_t>(length));
    EXPECT_EQ(channel.ParseReply(), ReplyResult::Good);
    EXPECT_EQ(line.Read(reply.data(), 16), 0);  // nothing more queued: returns at once
    EXPECT_TRUE(line.Close());
}

TEST_F(Win32SerialLineTest, ASecondOpenOfThePortIsRefused) {
    Win32SerialLine first;
    ASSERT_EQ(first.Open(port_), OpenFailure::None);
    Win32SerialLine second;
    EXPECT_EQ(second.Open(port_), OpenFailure::AlreadyOpen);
    EXPECT_FALSE(second.IsOpen());
    first.Close();
    EXPECT_EQ(second.Open(port_), OpenFailure::None);  // free again once closed
}

TEST_F(Win32SerialLineTest, AMissingPortIsNoDevice) {
    Win32SerialLine line;
    EXPECT_EQ(line.Open("COM39"), OpenFailure::DeviceInvalid);
    EXPECT_FALSE(line.IsOpen());
    EXPECT_EQ(line.Configure(38400, 8, 0, 1), OpenFailure::NotOpen);
}

}  // namespace
}  // namespace kestrova
