// The port driver's timing: reply limits, time-outs, and the quiet line after a failed exchange.
#include <optional>

#include "port_drv_fixture.h"

namespace kestrova::test {
namespace {

TEST_F(PortDrvTest, ReplyTimesOutOnThePollAfterTheLimitCountingTheSendingPoll) {
    OpenLink();
    Send({0x01}, 5, 34);  // poll 1
    for (int poll = 2; poll <= 34; ++poll) Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    EXPECT_EQ(drv.TransferError(), PortErrorCode::None);
    Poll();  // poll 35
    EXPECT_EQ(drv.TransferState(), PortTransferState::Failed);
    EXPECT_EQ(drv.TransferError(), PortErrorCode::ReplyTimeout);
    EXPECT_EQ(ToInt(drv.TransferError()), 16642);

    // A partial reply is still there for the caller after the time-out; bytes arriving now
    // are not taken.
    line.Arrive({1, 2});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Failed);
    EXPECT_EQ(line.Queued(), 2);

    drv.PortClearTransfer();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Idle);
    EXPECT_EQ(drv.TransferError(), PortErrorCode::None);

    // PortResetTransfer restores the limit of 1000 polls and drops the end character.
    drv.PortSetEndChar('\n');
    drv.PortResetTransfer();
    drv.PortSetReplyLength(50);
    std::uint8_t frame = 0x01;
    drv.PortSend(1, &frame);
    nowUs += PortDrv::MicrosPerPoll;
    for (int poll = 2; poll <= 999; ++poll) Poll();
    line.Arrive({'\n'});  // no end character any more
    Poll();               // poll 1000 takes the byte
    // The two late bytes of the timed-out transfer were dropped when this request went out.
    EXPECT_EQ(Reply(), (std::vector<std::uint8_t>{'\n'}));
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Failed);
    EXPECT_EQ(drv.TransferError(), PortErrorCode::ReplyTimeout);
}

TEST_F(PortDrvTest, AfterAFailedExchangeTheNextFrameWaitsForAQuietLine) {
    // After a whole frame only the gap of 3.5 characters of 10 bits at the current speed; after
    // anything else the link's late-reply horizon (250 ms on a UART). Two polls a millisecond.
    // A line that holds bytes back waits at least its reply allowance (20 ms on a USB adapter).
    struct Case {
        std::int32_t baud;
        LineKind kind;
        QuietTime quiet;
        std::int32_t quietPolls;
    };
    const Case cases[] = {
        {38400, LineKind::Uart, QuietTime::CharacterGap, 2},  // 0.9 ms
        {1200, LineKind::Uart, QuietTime::CharacterGap, 59},  // 29.2 ms
        {300, LineKind::Uart, QuietTime::CharacterGap, 234},  // 116.7 ms
        {38400, LineKind::UsbAdapter, QuietTime::CharacterGap, 40},
        {1200, LineKind::UsbAdapter, QuietTime::CharacterGap, 59},
        {38400, LineKind::Uart, QuietTime::LateReplyHorizon, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud * 10 + ToInt(c.kind));
        drv.PortClose();
        line.kind = c.kind;
        settings.BAUD = c.baud;
        drv.PortInit();
        OpenLink();
        drv.PortClearTransfer();
        Send({0x01}, 5, 34);
        while (drv.TransferState() == PortTransferState::Receiving) Poll();
        drv.PortRequireQuietLine(c.quiet);
        drv.PortClearTransfer();

        const std::int64_t written = line.frameCount;
        const std::uint64_t dropped = drv.LateBytesDropped();
        Send({0x02}, 5);
        line.Arrive({0x2B, 0x24, 0x4F});  // the late reply: dropped, the silence starts again
        for (int poll = 0; poll < c.quietPolls; ++poll) Poll();
        EXPECT_EQ(line.frameCount, written);
        EXPECT_EQ(drv.TransferState(), PortTransferState::Sending);
        Poll();
        EXPECT_EQ(line.frameCount, written + 1);
        EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
        EXPECT_EQ(drv.LateBytesDropped(), dropped + 3);
        EXPECT_EQ(line.Queued(), 0);

        // A good exchange asks for no quiet time: the next frame leaves at once.
        line.Arrive({1, 2, 3, 4, 5});
        Poll();
        ASSERT_EQ(drv.TransferState(), PortTransferState::Complete);
        drv.PortClearTransfer();
        Send({0x03}, 5);
        EXPECT_EQ(line.frameCount, written + 2);
    }

    // A device closed while its reply may still come owes it when it opens again; another
    // device, or one that went away, owes nothing.
    struct Reopen {
        const char* name;
        std::string device;
        bool gone;
        bool waits;
    };
    const std::string same = ports.DevicePath(7);
    for (const Reopen& r : {Reopen{"same device", same, false, true},
                            Reopen{"another device", "/dev/other", false, false},
                            Reopen{"same device, gone meanwhile", same, true, false}}) {
        SCOPED_TRACE(r.name);
        drv.PortClearTransfer();
        drv.PortRequireQuietLine(QuietTime::LateReplyHorizon);
        if (r.gone) {
            drv.PortDeviceGone();
        } else {
            drv.PortClose();
        }
        ports.Set(7, r.device);
        OpenLink();
        drv.PortClearTransfer();
        const std::int64_t written = line.frameCount;
        Send({0x04}, 5);
        EXPECT_EQ(line.frameCount, written + (r.waits ? 0 : 1));
        ports.Set(7, same);
        drv.PortClose();
        OpenLink();
    }
}

TEST_F(PortDrvTest, ReplyLimitIsTheProtocolsPollsInTimePlusTheLinksAllowance) {
    // A write's limit of 34 polls is 17 ms; a USB adapter or a pseudo-terminal adds 20 ms, a
    // network port 100 ms, and a [Ports] entry may set its own.
    struct Case {
        LineKind kind;
        std::optional<std::int32_t> entryAllowanceMs;
        std::int32_t replyAfterMs;
        PortTransferState ends;
    };
    const Case cases[] = {
        {LineKind::Uart, std::nullopt, 16, PortTransferState::Complete},
        {LineKind::Uart, std::nullopt, 18, PortTransferState::Failed},
        {LineKind::UsbAdapter, std::nullopt, 32, PortTransferState::Complete},  // 15 ms late
        {LineKind::UsbAdapter, std::nullopt, 38, PortTransferState::Failed},
        {LineKind::PseudoTerminal, std::nullopt, 36, PortTransferState::Complete},
        {LineKind::Network, std::nullopt, 116, PortTransferState::Complete},
        {LineKind::Uart, 40, 56, PortTransferState::Complete},
        {LineKind::UsbAdapter, 0, 18, PortTransferState::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToInt(c.kind) * 1000 + c.replyAfterMs);
        drv.PortClearTransfer();
        drv.PortClose();
        line.kind = c.kind;
        ports.SetTiming(7, {c.entryAllowanceMs, std::nullopt});
        OpenLink();
        drv.PortClearTransfer();
        Send({0x01}, 3, 34);
        while (nowUs < std::int64_t{c.replyAfterMs} * 1000) Poll();
        line.Arrive({1, 2, 3});
        Poll();
        EXPECT_EQ(drv.TransferState(), c.ends);
        if (c.ends == PortTransferState::Complete) {
            EXPECT_EQ(drv.ReplyMicros(), std::int64_t{c.replyAfterMs} * 1000);
        }
        nowUs = 0;
    }
}

TEST_F(PortDrvTest, AProgramHeldUpCountsTheStallAsAFewMillisecondsOfWatching) {
    // Two seconds between polls count as 5 ms: neither the reply nor the quiet line is judged by
    // time the driver did not watch.
    OpenLink();
    drv.PortClearTransfer();
    Send({0x01}, 3, 34);
    nowUs += 2'000'000;
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    line.Arrive({1, 2, 3});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(drv.ReplyMicros(), 5'000 + PortDrv::MicrosPerPoll);

    drv.PortRequireQuietLine(QuietTime::LateReplyHorizon);
    drv.PortClearTransfer();
    const std::int64_t written = line.frameCount;
    Send({0x02}, 3);
    nowUs += 2'000'000;
    Poll();
    EXPECT_EQ(line.frameCount, written);  // 250 ms of silence not yet watched
}

}  // namespace
}  // namespace kestrova::test
