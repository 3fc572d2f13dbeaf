#include "port/posix_serial_line.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include "common/enum_int.h"
#include "port/port_drv.h"
#include "support/alloc_counter.h"

namespace kestrova {
namespace {

// The driver opens the slave side of a pty as "COM 3"; the test plays the controller on the
// master side. A second slave descriptor stays open so the pty never hangs up and so the test
// can look at the slave's termios and input queue.
class PtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[128] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0) << errno;
        slavePath_ = name;
        ports_.Set(3, slavePath_);
        settings_ = SerialSettings{3, 38400, 8, 0, 1};
    }
    void TearDown() override {
        if (master_ >= 0) ::close(master_);
        ::close(slave_);
    }

    void PeerWrite(const std::uint8_t* bytes, std::size_t count) const {
        ASSERT_EQ(::write(master_, bytes, count), static_cast<ssize_t>(count));
    }
    void PeerWrite(const std::vector<std::uint8_t>& bytes) const {
        PeerWrite(bytes.data(), bytes.size());
    }
    void PeerWrite(std::initializer_list<std::uint8_t> bytes) const {  // allocates nothing
        PeerWrite(bytes.begin(), bytes.size());
    }

    // Reads what the driver wrote, waiting up to a second for count bytes.
    std::vector<std::uint8_t> PeerRead(std::size_t count) const {
        std::vector<std::uint8_t> got;
        std::array<std::uint8_t, 256> buffer{};
        for (int waited = 0; got.size() < count && waited < 1000; ++waited) {
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, 1) != 1) continue;
            const ssize_t n = ::read(master_, buffer.data(), buffer.size());
            if (n > 0) got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        }
        return got;
    }

    // Waits until the slave's input queue holds count bytes (pty input is delivered
    // asynchronously by the kernel).
    bool WaitQueued(int count) const {
        for (int waited = 0; waited < 1000; ++waited) {
            int queued = 0;
            if (::ioctl(slave_, FIONREAD, &queued) == 0 && queued == count) return true;
            ::usleep(1000);
        }
        return false;
    }

    // Polls like the comms tick while the transfer is receiving.
    static void PollWhileReceiving(PortDrv& drv) {
        for (int i = 0; i < 2000 && drv.TransferState() == PortTransferState::Receiving; ++i) {
            drv.PortPoll();
            ::usleep(1000);
        }
    }

    termios SlaveTermios() const {
        termios tio{};
        EXPECT_EQ(::tcgetattr(slave_, &tio), 0);
        return tio;
    }

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    SerialSettings settings_;
    PortMap ports_;
};

TEST_F(PtyTest, OpenConfiguresARawNonBlockingLine) {
    settings_ = SerialSettings{3, 115200, 9, 3, 0};  // 9 data bits -> 8, parity 3 -> none
    PosixSerialLine line;
    PortDrv drv(line, settings_, ports_);
    drv.PortInit();
    drv.PortOpen();
    ASSERT_EQ(drv.LinkState(), PortLinkState::Open) << drv.PortErrorText();
    EXPECT_EQ(drv.DeviceName(), slavePath_);
    EXPECT_EQ(drv.PortErrorText(), "");
    // A pseudo-terminal is told apart from a UART and gets its reply allowance; it is not asked
    // for low latency, which only USB adapters have.
    EXPECT_EQ(drv.Kind(), LineKind::PseudoTerminal);
    EXPECT_EQ(drv.Timing().replyAllowanceMs, 20);
    EXPECT_EQ(drv.LowLatencyState(), LowLatency::NotAsked);

    termios tio = SlaveTermios();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);

    // Reframing the open line. A pty keeps only the speed and the stop bits of a new framing
    // (it forces 8 bits without parity); the framing itself is checked on FillTermios below.
    drv.PortSetNewPort(5);
    drv.PortSetNewBaud(9600);
    drv.PortSetNewData(7);
    drv.PortSetNewParity(1);
    drv.PortSetNewStop(2);
    EXPECT_TRUE(drv.PortApplySettings());
    tio = SlaveTermios();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(settings_.Port, 3);
    EXPECT_EQ(settings_.BAUD, 9600);

    // A rate termios does not have is refused and leaves the line as it was.
    drv.PortSetNewBaud(12345);
    EXPECT_FALSE(drv.PortApplySettings());
    tio = SlaveTermios();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
}

TEST_F(PtyTest, OpenFailuresNameTheirCause) {
    PosixSerialLine first;
    PortDrv drv(first, settings_, ports_);
    drv.PortInit();
    drv.PortOpen();
    ASSERT_EQ(drv.LinkState(), PortLinkState::Open);

    // A second opener of the same device is refused, also through its own driver.
    SerialSettings otherSettings{3, 38400, 8, 0, 1};
    PosixSerialLine second;
    PortDrv other(second, otherSettings, ports_);
    other.PortInit();
    other.PortOpen();
    EXPECT_EQ(other.LinkState(), PortLinkState::OpenFailed);
    EXPECT_EQ(other.PortErrorText(), "Device Already Open");
    EXPECT_FALSE(second.IsOpen());

    // Closing releases the device for the other.
    drv.PortClose();
    EXPECT_FALSE(first.IsOpen());
    other.PortOpen();
    EXPECT_EQ(other.LinkState(), PortLinkState::Open);
    other.PortClose();

    ports_.Set(4, "/dev/kestrova-no-such-tty");
    ports_.Set(5, "/dev/null");  // exists, but is no serial line
    for (int port : {4, 5}) {
        settings_.Port = port;
        drv.PortInit();
        drv.PortOpen();
        EXPECT_EQ(drv.LinkState(), PortLinkState::OpenFailed) << port;
        EXPECT_EQ(drv.PortErrorText(), "Device ID Invalid/Not Supported") << port;
    }

    // An odd baud rate fails the open, and the device is not left held.
    settings_ = SerialSettings{3, 12345, 8, 0, 1};
    drv.PortInit();
    drv.PortOpen();
    EXPECT_EQ(drv.LinkState(), PortLinkState::OpenFailed);
    EXPECT_EQ(drv.PortErrorText(), "Baud Rate Not Supported");
    EXPECT_FALSE(first.IsOpen());
    other.PortOpen();
    EXPECT_EQ(other.LinkState(), PortLinkState::Open);
}

TEST_F(PtyTest, FrameAndReplyCrossTheLineUnchanged) {
    PosixSerialLine line;
    PortDrv drv(line, settings_, ports_);
    drv.PortInit();
    drv.PortOpen();
    ASSERT_EQ(drv.LinkState(), PortLinkState::Open);

    // Bytes a cooked tty would translate or act upon.
    const std::vector<std::uint8_t> frame{0x0A, 0x0D, 0x11, 0x13, 0x03, 0x7F, 0x00, 0xFF, 0x04};
    drv.PortSetReplyLength(static_cast<std::int32_t>(frame.size()));
    drv.PortSetReplyLimit(5000);
    drv.PortSend(static_cast<std::int32_t>(frame.size()), frame.data());
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    EXPECT_FALSE(drv.RtsOn());  // the write succeeded
    EXPECT_EQ(PeerRead(frame.size()), frame);

    PeerWrite(frame);
    PollWhileReceiving(drv);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(drv.TransferError(), PortErrorCode::None);
    const std::vector<std::uint8_t> reply(drv.ReplyBuffer().begin(),
                                          drv.ReplyBuffer().begin() + drv.ReplyLength());
    EXPECT_EQ(reply, frame);

    // No reply awaited: complete at once, frame still delivered.
    drv.PortClearTransfer();
    drv.PortSetReplyLength(0);
    const std::uint8_t ping[] = {'P'};
    drv.PortSend(1, ping);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(PeerRead(1), std::vector<std::uint8_t>{'P'});
}

TEST_F(PtyTest, LateBytesAreDroppedWhenTheNextRequestGoesOutWithoutAllocating) {
    PosixSerialLine line;
    PortDrv drv(line, settings_, ports_);
    drv.PortInit();
    drv.PortOpen();
    ASSERT_EQ(drv.LinkState(), PortLinkState::Open);
    const std::uint8_t request[] = {0x02, 'm', 0x00, 0x10};

    const long allocationsBefore = test::AllocationCount();
    drv.PortSetReplyLimit(5000);
    drv.PortSetReplyLength(4);
    drv.PortSend(4, request);
    PeerWrite({0xA1, 0xA2, 0xA3, 0xA4});
    PollWhileReceiving(drv);
    ASSERT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(test::AllocationCount(), allocationsBefore) << "the transfer engine allocated";

    // Two late bytes arrive after the transfer ended; they answer nothing that is asked now,
    // so the next send drops them.
    PeerWrite({0xB1, 0xB2});
    ASSERT_TRUE(WaitQueued(2));
    drv.PortClearTransfer();
    drv.PortSend(4, request);
    EXPECT_EQ(drv.ReplyLength(), 0);
    EXPECT_EQ(line.QueuedInput(), 0);
    PeerWrite({0xC1, 0xC2, 0xC3, 0xC4});
    PollWhileReceiving(drv);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    const std::vector<std::uint8_t> reply(drv.ReplyBuffer().begin(),
                                          drv.ReplyBuffer().begin() + drv.ReplyLength());
    EXPECT_EQ(reply, (std::vector<std::uint8_t>{0xC1, 0xC2, 0xC3, 0xC4}));
    EXPECT_EQ(PeerRead(8).size(), 8u);  // both requests went out
}

TEST_F(PtyTest, ClosingTheMasterIsReportedAsTheDeviceGoneAndClosesTheLink) {
    PosixSerialLine line;
    PortDrv drv(line, settings_, ports_);
    drv.PortInit();
    drv.PortOpen();
    ASSERT_EQ(drv.LinkState(), PortLinkState::Open);
    EXPECT_EQ(line.LineErrors(), 0u);

    drv.PortSetReplyLimit(5000);
    drv.PortSetReplyLength(4);
    const std::uint8_t request[] = {0x02, 'm', 0x00, 0x10};
    drv.PortSend(4, request);
    ASSERT_EQ(drv.TransferState(), PortTransferState::Receiving);

    ::close(master_);  // the far end hangs up
    master_ = -1;
    EXPECT_EQ(line.LineErrors(), CE_DEVICE_GONE);
    EXPECT_EQ(line.LineErrors(), CE_DEVICE_GONE);  // stays until the line is closed
    drv.PortPoll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Failed);
    EXPECT_EQ(drv.LinkState(), PortLinkState::Closed);
    EXPECT_TRUE(drv.DeviceGone());
    EXPECT_FALSE(line.IsOpen());
}

TEST(PosixSerialLineHelpers, TermiosFramingFromTheSettings) {
    struct Case {
        std::int32_t data, parity, stop;
        tcflag_t size, parityBits;
        bool twoStops;
    };
    const Case cases[] = {
        {8, 0, 1, CS8, 0, false},      {7, 1, 2, CS7, PARENB | PARODD, true},
        {5, 2, 1, CS5, PARENB, false}, {6, 2, 0, CS6, PARENB, false},
        {9, 3, 3, CS8, 0, false},  // 9 bits as 8, parity 3 as none, stop 3 as one
        {0, -1, 2, CS8, 0, true},
    };
    for (const Case& c : cases) {
        termios tio{};
        // Start from a cooked line with flow control and the flags that must go.
        tio.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | PARMRK | IGNPAR;
        tio.c_oflag = OPOST | ONLCR;
        tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        tio.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 5;
        ASSERT_TRUE(FillTermios(tio, 19200, c.data, c.parity, c.stop));
        EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
        EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B19200));
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size) << c.data;
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityBits) << c.parity;
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.parityBits != 0) << c.parity;
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStops) << c.stop;
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP | PARMRK | IGNPAR), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
    }
    termios untouched{};
    untouched.c_cflag = CS7;
    EXPECT_FALSE(FillTermios(untouched, 12345, 8, 0, 1));
    EXPECT_EQ(untouched.c_cflag, static_cast<tcflag_t>(CS7));
}

TEST(PosixSerialLineHelpers, KindOfDeviceFromItsCharacterDevice) {
    EXPECT_EQ(KindOfDevice("/dev/null"), LineKind::Other);  // a virtual device
    EXPECT_EQ(KindOfDevice("/no/such/device"), LineKind::Other);
    EXPECT_EQ(KindOfDevice("/dev/ptmx"), LineKind::Other);  // major 5, not a pty slave
}

TEST(PosixSerialLineHelpers, ErrnoMappingBaudRatesAndErrorCounters) {
    EXPECT_EQ(OpenFailureFromErrno(ENXIO), OpenFailure::DeviceInvalid);
    EXPECT_EQ(OpenFailureFromErrno(EIO), OpenFailure::HardwareUnavailable);
    // Positive: "Unknown error description".
    EXPECT_EQ(ToInt(OpenFailureFromErrno(EACCES)), EACCES);
    EXPECT_GT(ToInt(OpenFailureFromErrno(0)), 0);  // never mistaken for success
    EXPECT_STREQ(PortOpenFailureText(OpenFailureFromErrno(EACCES)), "Unknown error description");

    EXPECT_TRUE(IsStandardBaudRate(50) && IsStandardBaudRate(38400) && IsStandardBaudRate(4000000));
    EXPECT_FALSE(IsStandardBaudRate(0) || IsStandardBaudRate(12345) || IsStandardBaudRate(4000001));

    const LineErrorCounts before{5, 6, 7, 8};
    EXPECT_EQ(LineErrorFlags(before, before), 0u);
    EXPECT_EQ(LineErrorFlags(before, {6, 6, 7, 8}), CE_FRAME);
    EXPECT_EQ(LineErrorFlags(before, {5, 7, 7, 8}), CE_OVERRUN);
    EXPECT_EQ(LineErrorFlags(before, {5, 6, 9, 8}), CE_RXPARITY);
    EXPECT_EQ(LineErrorFlags(before, {5, 6, 7, 9}), CE_RXOVER);
    EXPECT_EQ(LineErrorFlags({2147483647, 0, 0, 0}, {-2147483647 - 1, 0, 0, 1}),
              CE_FRAME | CE_RXOVER);  // a counter that wrapped still counts

    // A line that is not open refuses everything quietly.
    PosixSerialLine line;
    EXPECT_EQ(line.Configure(38400, 8, 0, 1), OpenFailure::NotOpen);
    EXPECT_EQ(line.QueuedInput(), 0);
    EXPECT_EQ(line.LineErrors(), 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(line.Read(&byte, 1), -1);
    EXPECT_FALSE(line.Write(&byte, 1));
    EXPECT_TRUE(line.Close());
}

}  // namespace
}  // namespace kestrova
