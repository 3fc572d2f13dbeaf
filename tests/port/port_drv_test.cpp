// The port driver: opening and closing the link, settings changes, a frame and its reply.
#include "port_drv_fixture.h"

namespace kestrova::test {
namespace {

TEST_F(PortDrvTest, OpenUsesMappedDeviceCurrentSettingsAndRememberedLines) {
    EXPECT_EQ(drv.LinkState(), PortLinkState::Closed);
    drv.PortOpen();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Open);
    EXPECT_EQ(line.openedPath, "/dev/fake-com7");
    EXPECT_EQ(drv.DeviceName(), "/dev/fake-com7");
    EXPECT_EQ(drv.PortErrorText(), "");
    ASSERT_EQ(line.configs.size(), 1u);
    EXPECT_EQ(line.configs[0].baud, 38400);
    EXPECT_EQ(line.configs[0].data, 8);
    EXPECT_EQ(line.configs[0].parity, 0);
    EXPECT_EQ(line.configs[0].stop, 1);
    // The configuration raises both lines, then they take their remembered (off) levels.
    EXPECT_EQ(line.lineCalls, (std::vector<std::string>{"DTR+", "RTS+", "DTR-", "RTS-"}));

    // Open again while open: nothing happens.
    drv.PortOpen();
    EXPECT_EQ(line.openCalls, 1);

    drv.PortClose();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Closed);
    EXPECT_EQ(line.closeCalls, 1);
    drv.PortClose();  // not open: no second close
    EXPECT_EQ(line.closeCalls, 1);

    // A close that fails still ends the link; the next open starts afresh.
    drv.PortOpen();
    line.closeResult = false;
    drv.PortClose();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Closed);
    line.closeResult = true;
    drv.PortOpen();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Open);
    drv.PortClose();

    // An unmapped port number falls back to the default device naming.
    settings.Port = 12;
    drv.PortInit();
    drv.PortOpen();
    EXPECT_EQ(drv.DeviceName(), "/dev/ttyS11");
}

TEST_F(PortDrvTest, FailedOpenReportsTheTextOfItsCode) {
    line.openResult = OpenFailure::AlreadyOpen;
    drv.PortOpen();
    EXPECT_EQ(drv.LinkState(), PortLinkState::OpenFailed);
    EXPECT_EQ(drv.PortErrorText(), "Device Already Open");
    EXPECT_EQ(drv.LastOpenFailure(), OpenFailure::AlreadyOpen);
    EXPECT_TRUE(line.configs.empty());

    line.openResult = static_cast<OpenFailure>(13);  // a platform code without a description
    drv.PortOpen();
    EXPECT_EQ(drv.PortErrorText(), "Unknown error description");

    // A line that cannot run the baud rate fails the open and is released again.
    line.openResult = OpenFailure::None;
    line.configureResult = OpenFailure::BaudRateNotSupported;
    drv.PortOpen();
    EXPECT_EQ(drv.LinkState(), PortLinkState::OpenFailed);
    EXPECT_EQ(drv.PortErrorText(), "Baud Rate Not Supported");
    EXPECT_EQ(drv.LastOpenFailure(), OpenFailure::BaudRateNotSupported);
    EXPECT_FALSE(line.open);

    // OpenFailed -> Open, and the text is emptied.
    line.configureResult = OpenFailure::None;
    drv.PortOpen();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Open);
    EXPECT_EQ(drv.PortErrorText(), "");
    EXPECT_EQ(drv.LastOpenFailure(), OpenFailure::None);
}

TEST_F(PortDrvTest, ReplyCompletesByLengthAcrossPolls) {
    OpenLink();
    Send({0x02, 'm', 0x10, 0x20}, 5);
    ASSERT_EQ(line.frameCount, 1);  // written during PortSend
    EXPECT_EQ(line.Frame(0).Bytes(), (std::vector<std::uint8_t>{0x02, 'm', 0x10, 0x20}));
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    const std::uint8_t intruder[] = {0x77, 0x78};
    drv.PortSend(2, intruder);  // busy: ignored, the first transfer goes on unchanged
    EXPECT_EQ(line.frameCount, 1);

    line.Arrive({0x02, 'm'});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    EXPECT_EQ(drv.ReplyLength(), 2);
    line.Arrive({0x00, 0xAB, 0xCD});  // 0x00 is data while no end character is set
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(drv.TransferError(), PortErrorCode::None);
    EXPECT_EQ(Reply(), (std::vector<std::uint8_t>{0x02, 'm', 0x00, 0xAB, 0xCD}));

    // Complete stays until cleared; a new send is ignored meanwhile.
    Send({0x55}, 3);
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(line.frameCount, 1);

    // No reply awaited: complete within the sending call.
    drv.PortClearTransfer();
    Send({0x01}, 0);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(line.frameCount, 2);
}

TEST_F(PortDrvTest, EndCharacterCompletesAndExtraBytesAreKept) {
    OpenLink();
    Send({0x01}, 10, 1000, '\r');
    line.Arrive({'O', 'K', '\r', 'x', 'y'});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    // Bytes of the chunk after the completing byte are stored and counted.
    EXPECT_EQ(Reply(), (std::vector<std::uint8_t>{'O', 'K', '\r', 'x', 'y'}));

    // Expected length plus two extra bytes in one chunk.
    drv.PortClearTransfer();
    Send({0x01}, 3);
    line.Arrive({1, 2, 3, 4, 5});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(drv.ReplyLength(), 5);

    // Bytes arriving after completion stay queued until the next request is sent, and are
    // dropped then: they answer an exchange that has ended, not the new request.
    line.Arrive({9, 8});
    Poll();
    EXPECT_EQ(drv.ReplyLength(), 5);
    EXPECT_EQ(line.Queued(), 2);
    drv.PortClearTransfer();
    EXPECT_EQ(drv.ReplyLength(), 0);
    EXPECT_EQ(drv.ReplyBuffer()[0], 0);
    Send({0x01}, 3);
    EXPECT_EQ(line.Queued(), 0);
    EXPECT_EQ(Reply(), (std::vector<std::uint8_t>{}));
    line.Arrive({7, 6, 5});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(Reply(), (std::vector<std::uint8_t>{7, 6, 5}));
}

TEST_F(PortDrvTest, UsbAdaptersAreAskedForLowLatencyAndARefusalIsNoFailure) {
    struct Case {
        LineKind kind;
        bool driverTakesIt;
        LowLatency state;
        int requests;
    };
    const Case cases[] = {
        {LineKind::UsbAdapter, true, LowLatency::Granted, 1},
        {LineKind::UsbAdapter, false, LowLatency::Refused, 1},
        {LineKind::PseudoTerminal, true, LowLatency::NotAsked, 0},
        {LineKind::Uart, true, LowLatency::NotAsked, 0},
    };
    for (const Case& c : cases) {
        drv.PortClose();
        line.kind = c.kind;
        line.lowLatencyResult = c.driverTakesIt;
        line.lowLatencyRequests = 0;
        drv.PortOpen();
        EXPECT_EQ(drv.LinkState(), PortLinkState::Open);
        EXPECT_EQ(drv.LowLatencyState(), c.state);
        EXPECT_EQ(line.lowLatencyRequests, c.requests);
    }
}

TEST_F(PortDrvTest, LineErrorsFailTheTransferLaterFlagsWinning) {
    OpenLink();
    struct Case {
        std::uint32_t flags;
        PortErrorCode code;
    };
    const Case cases[] = {
        {CE_FRAME, PortErrorCode::FramingError},
        {CE_OVERRUN, PortErrorCode::OverrunError},
        {CE_RXOVER, PortErrorCode::InputOverflow},
        {CE_RXPARITY, PortErrorCode::ParityError},
        {CE_FRAME | CE_RXPARITY, PortErrorCode::ParityError},
        {CE_FRAME | CE_OVERRUN, PortErrorCode::OverrunError},
        {CE_OVERRUN | CE_RXOVER, PortErrorCode::InputOverflow},
        {0x10, PortErrorCode::LineError},  // a flag without its own code
    };
    for (const Case& c : cases) {
        drv.PortClearTransfer();
        Send({0x01}, 4);
        line.pendingErrors = c.flags;
        line.Arrive({1, 2, 3, 4});
        Poll();
        EXPECT_EQ(drv.TransferState(), PortTransferState::Failed) << c.flags;
        EXPECT_EQ(drv.TransferError(), c.code) << c.flags;
        // The bytes of that poll are not read.
        EXPECT_EQ(line.Queued(), 4);
        std::uint8_t sink[4];
        line.Read(sink, 4);
    }
    EXPECT_EQ(drv.LinkState(), PortLinkState::Open);  // line errors never touch the link
}

TEST_F(PortDrvTest, FailedWriteRaisesRtsAndStillReceives) {
    OpenLink();
    line.writeResult = false;
    Send({0x01, 0x02}, 2);
    EXPECT_EQ(line.lineCalls, (std::vector<std::string>{"RTS+"}));
    EXPECT_TRUE(drv.RtsOn());
    EXPECT_FALSE(drv.DtrOn());
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    line.Arrive({0xAA, 0xBB});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);

    // The remembered RTS level is restored by the next open.
    drv.PortClose();
    line.lineCalls.clear();
    drv.PortOpen();
    EXPECT_EQ(line.lineCalls, (std::vector<std::string>{"DTR+", "RTS+", "DTR-", "RTS+"}));

    // A frame larger than the transmit buffer is not written (not cut short either): the
    // transfer runs on as after a failed write.
    line.writeResult = true;
    drv.PortClearTransfer();
    const std::vector<std::uint8_t> big(PortDrv::TransmitBufferSize + 1, 0x33);
    const std::int64_t written = line.frameCount;
    Send(big, 2);
    EXPECT_EQ(line.frameCount, written);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    drv.PortClearTransfer();
    const std::vector<std::uint8_t> full(PortDrv::TransmitBufferSize, 0x44);
    Send(full, 2);
    ASSERT_EQ(line.frameCount, written + 1);
    EXPECT_EQ(line.LastFrame().Bytes(), full);
    drv.PortClearTransfer();
    drv.PortSend(-1, full.data());
    EXPECT_EQ(line.frameCount, written + 1);
}

TEST_F(PortDrvTest, TransferFallsBackToIdleWhileTheLinkIsNotOpen) {
    Send({0x01}, 4);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Idle);
    EXPECT_EQ(line.frameCount, 0);

    OpenLink();
    Send({0x01}, 4);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    drv.PortClose();
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Idle);

    line.openResult = OpenFailure::DeviceInvalid;
    drv.PortOpen();
    Send({0x01}, 4);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Idle);
    EXPECT_EQ(line.frameCount, 1);
}

TEST_F(PortDrvTest, DeviceGoneClosesTheLinkAndFailsTheTransferUntilTheNextOpen) {
    // Reported while a reply is awaited.
    OpenLink();
    Send({0x01}, 4);
    line.pendingErrors = CE_DEVICE_GONE | CE_FRAME;
    Poll();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Closed);
    EXPECT_TRUE(drv.DeviceGone());
    EXPECT_FALSE(line.open);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Failed);
    EXPECT_EQ(drv.TransferError(), PortErrorCode::LineError);
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Idle);

    drv.PortOpen();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Open);
    EXPECT_FALSE(drv.DeviceGone());

    // Reported when the next request is about to go out: the frame is not written.
    drv.PortClearTransfer();
    line.pendingErrors = CE_DEVICE_GONE;
    Send({0x02}, 4);
    EXPECT_EQ(line.frameCount, 1);
    EXPECT_EQ(drv.LinkState(), PortLinkState::Closed);
    EXPECT_TRUE(drv.DeviceGone());

    // The system's word that the device was removed does the same; a failed open clears it.
    drv.PortClearTransfer();
    drv.PortOpen();
    drv.PortDeviceGone();
    EXPECT_EQ(drv.LinkState(), PortLinkState::Closed);
    EXPECT_TRUE(drv.DeviceGone());
    line.openResult = OpenFailure::DeviceInvalid;
    drv.PortOpen();
    EXPECT_FALSE(drv.DeviceGone());
    drv.PortDeviceGone();  // not open: nothing to lose
    EXPECT_FALSE(drv.DeviceGone());
}

TEST_F(PortDrvTest, SettingsChangeStepsOnlyFromTheirOwnState) {
    EXPECT_FALSE(drv.PortCommitSettings() || drv.PortBeginApply() || drv.PortEndApply());
    EXPECT_TRUE(drv.PortBeginSettings());
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 16);
    EXPECT_FALSE(drv.PortBeginSettings() || drv.PortBeginApply() || drv.PortEndApply());
    drv.PortSetNewPort(3);
    drv.PortSetNewBaud(19200);
    drv.PortSetNewData(7);
    drv.PortSetNewParity(2);
    drv.PortSetNewStop(2);
    EXPECT_TRUE(drv.PortCommitSettings());
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 128);
    EXPECT_FALSE(drv.PortBeginSettings() || drv.PortCommitSettings() || drv.PortEndApply());
    EXPECT_TRUE(drv.PortBeginApply());
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 2048);
    EXPECT_FALSE(drv.PortBeginSettings() || drv.PortCommitSettings() || drv.PortBeginApply());

    // Closed link: all five become current and go back into the settings file's values.
    EXPECT_TRUE(drv.PortApplySettings());
    EXPECT_TRUE(drv.PortEndApply());
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 0);
    EXPECT_EQ(drv.CurrentPort(), 3);
    EXPECT_EQ(settings.Port, 3);
    EXPECT_EQ(settings.BAUD, 19200);
    EXPECT_EQ(settings.Data, 7);
    EXPECT_EQ(settings.Parity, 2);
    EXPECT_EQ(settings.Stop, 2);

    ports.Set(3, "/dev/fake-com3");
    drv.PortOpen();
    EXPECT_EQ(line.openedPath, "/dev/fake-com3");
    ASSERT_EQ(line.configs.size(), 1u);
    EXPECT_EQ(line.configs[0].baud, 19200);
    EXPECT_EQ(line.configs[0].data, 7);
    EXPECT_EQ(line.configs[0].parity, 2);
    EXPECT_EQ(line.configs[0].stop, 2);
}

TEST_F(PortDrvTest, ApplyWhileOpenReframesTheOpenPortAndKeepsItsNumber) {
    OpenLink();
    drv.PortBeginSettings();
    drv.PortSetNewPort(3);
    drv.PortSetNewBaud(9600);
    drv.PortSetNewData(8);
    drv.PortSetNewParity(1);
    drv.PortSetNewStop(1);
    drv.PortCommitSettings();
    drv.PortBeginApply();
    EXPECT_TRUE(drv.PortApplySettings());
    drv.PortEndApply();
    ASSERT_EQ(line.configs.size(), 1u);
    EXPECT_EQ(line.configs[0].baud, 9600);
    EXPECT_EQ(line.configs[0].parity, 1);
    EXPECT_EQ(line.lineCalls, (std::vector<std::string>{"DTR+", "RTS+"}));
    EXPECT_EQ(drv.CurrentPort(), 7);
    EXPECT_EQ(drv.CurrentBaud(), 9600);
    EXPECT_EQ(settings.Port, 7);
    EXPECT_EQ(settings.BAUD, 9600);
    EXPECT_EQ(settings.Parity, 1);
    EXPECT_EQ(line.openCalls, 1);

    // A rate the line refuses: nothing changes, and the apply says so.
    drv.PortSetNewBaud(12345);
    line.configureResult = OpenFailure::BaudRateNotSupported;
    EXPECT_FALSE(drv.PortApplySettings());
    EXPECT_EQ(drv.CurrentBaud(), 9600);
    EXPECT_EQ(settings.BAUD, 9600);
    line.configureResult = OpenFailure::None;

    // The new port number is used only at the next open, and only if applied while closed.
    drv.PortClose();
    drv.PortOpen();
    EXPECT_EQ(line.openedPath, "/dev/fake-com7");
    drv.PortClose();
    drv.PortSetNewBaud(9600);
    EXPECT_TRUE(drv.PortApplySettings());  // closed: all five, whatever the request state
    drv.PortOpen();
    EXPECT_EQ(line.openedPath, "/dev/ttyS2");
}

TEST_F(PortDrvTest, ReadyChangeIsAppliedOnTheNextIdlePoll) {
    OpenLink();
    Send({0x01}, 4);
    drv.PortBeginSettings();
    drv.PortSetNewPort(7);
    drv.PortSetNewBaud(57600);
    drv.PortSetNewData(8);
    drv.PortSetNewParity(0);
    drv.PortSetNewStop(1);
    drv.PortCommitSettings();
    for (int i = 0; i < 5; ++i) Poll();
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 128);  // waits while the transfer runs
    EXPECT_TRUE(line.configs.empty());
    line.Arrive({1, 2, 3, 4});
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    Poll();
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 128);
    drv.PortClearTransfer();
    Poll();
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 0);
    ASSERT_EQ(line.configs.size(), 1u);
    EXPECT_EQ(line.configs[0].baud, 57600);
    EXPECT_EQ(settings.BAUD, 57600);

    // Also with the link closed (the transfer is Idle then).
    drv.PortClose();
    drv.PortBeginSettings();
    drv.PortSetNewPort(9);
    drv.PortCommitSettings();
    Poll();
    EXPECT_EQ(ToInt(drv.SettingsRequest()), 0);
    EXPECT_EQ(settings.Port, 9);
}

TEST_F(PortDrvTest, ReplyLengthSaturatesAt255AndReadsAtMostOneChunkPerPoll) {
    OpenLink();
    Send({0x01}, 400);
    for (int i = 0; i < 300; ++i) line.ArriveRepeated(static_cast<std::uint8_t>(i), 1);
    Poll();
    EXPECT_EQ(drv.ReplyLength(), 128);
    EXPECT_EQ(line.Queued(), 300 - 128);
    Poll();
    Poll();
    EXPECT_EQ(line.Queued(), 0);
    EXPECT_LE(line.largestRead, PortDrv::ChunkSize);
    EXPECT_EQ(drv.ReplyLength(), 255);
    EXPECT_EQ(drv.TransferState(), PortTransferState::Receiving);
    const auto& reply = drv.ReplyBuffer();
    EXPECT_EQ(reply[0], 0);
    EXPECT_EQ(reply[254], 254);
    EXPECT_EQ(reply[255], static_cast<std::uint8_t>(299));  // last byte overwrote the last slot

    // Expected length 255: completes when the 255th byte arrives.
    drv.PortClearTransfer();
    EXPECT_EQ(reply[127], 0);    // the clear zeroes the first 128 bytes ...
    EXPECT_EQ(reply[200], 200);  // ... only
    Send({0x01}, 255);
    line.ArriveRepeated(0x5A, 260);
    Poll();
    Poll();
    Poll();
    EXPECT_EQ(drv.TransferState(), PortTransferState::Complete);
    EXPECT_EQ(drv.ReplyLength(), 255);
}

}  // namespace
}  // namespace kestrova::test
