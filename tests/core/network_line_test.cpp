// The core on a unit behind ser2net, through its RFC 2217 and its raw TCP accepter.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "calibration_fixture.h"
#include "support/ser2net_server.h"

namespace kestrova::test {
namespace {

class NetworkLine : public CalibrationFixture {
protected:
    void SetUp() override {
        if (!Ser2netServer::Available()) GTEST_SKIP() << "ser2net is not installed";
        CalibrationFixture::SetUp();
        // Legacy mode: the adjust values run from 13304 to 15352.
        SimOptions options;
        options.controllerMode = 0;
        StartSimulator(options);
        server_ = std::make_unique<Ser2netServer>(Folder(), Sim().DevicePath());
        ASSERT_TRUE(server_->Start());
    }
    void TearDown() override {
        server_.reset();
        CalibrationFixture::TearDown();
    }

    // COM1 at the RFC 2217 accepter, COM2 at the raw one; the core started.
    void StartCoreWithBothPorts() {
        SetKey(SettingsPath(), "Ports", "COM1", server_->Rfc2217Url());
        SetKey(SettingsPath(), "Ports", "COM2", server_->RawUrl());
        StartCore();
    }
    // The port at index picked and comms good.
    void Pick(int index) {
        Core().ServiceEvent("CommsSelect", std::to_string(index));
        ASSERT_EQ(Core().Port().LinkState(), PortLinkState::Open);
        ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0)
            << Core().Port().DeviceName();
    }

    std::unique_ptr<Ser2netServer> server_;
};

// Each accepter in a test of its own: ser2net lets go of the device some time after a
// connection closes, and refuses the other accepter's connection until then.
class EachAccepter : public NetworkLine, public ::testing::WithParamInterface<int> {};

TEST_P(EachAccepter, ReadsEveryPointCarriesFFBytesAndVerifiesARestore) {
    StartCoreWithBothPorts();
    Pick(GetParam());
    EXPECT_EQ(Core().Port().Kind(), LineKind::Network);
    // Every point the controller is polled for has been read.
    EXPECT_GE(RunUntil(
                  [&] {
                      for (const PointRecord& p : Points().PointTable()) {
                          const bool polled = (p.Pt_Flags & (PtNetRead | PtNetReadWrite)) != 0;
                          if (polled && p.Msg_Count == 0) return false;
                      }
                      return true;
                  },
                  5000),
              0);
    // 13311 (0x33FF) travels as the bytes FF 33 to the controller and back in the read-back.
    Core().ServiceEvent("TrackBarPan_PosAdjustValue", "13311");
    EXPECT_GE(RunUntil([&] { return Sim().Model().AxisAt(Axis::Pan).posAdjust == 13311; }, 3000),
              0);
    EXPECT_GE(RunUntil([&] { return Scaled(10) == 13311.0; }, 3000), 0);
    EXPECT_EQ(State().Comms, CommsState::Good);
    EXPECT_EQ(display_.Has("DebugInfo",
                           server_->RawUrl() + ": raw TCP, the serial settings are the server's"),
              GetParam() == 1);

    // A restore through the server, its values read back and verified (adjust values of the
    // legacy range, one of them with an FF byte again).
    StartRestore(WriteCalibration("net.PRM", {{10, "13567"},
                                              {11, "1000"},
                                              {13, "14335"},
                                              {20, "13400"},
                                              {23, "13400"},
                                              {30, "13400"},
                                              {33, "13400"}}));
    ASSERT_TRUE(RunUntilRestoreEnds(30000));
    EXPECT_TRUE(display_.Has("ShowNotification", "Restore verified"));
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).neutral, 1000);
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).negAdjust, 14335);
}

INSTANTIATE_TEST_SUITE_P(NetworkLine, EachAccepter, ::testing::Values(0, 1));

TEST_F(NetworkLine, ServerStoppedIsPortLostAndItsReturnBringsCommsBack) {
    StartCoreWithBothPorts();
    Pick(0);
    server_->Stop();
    ASSERT_GE(RunUntil([&] { return display_.Has("CommsStatus", PortLost); }, 2000), 0);
    EXPECT_TRUE(display_.Has("CommsStatusHint",
                             server_->Rfc2217Url() + ": connection closed by the server"));
    RunSystemTicks(150);  // tried again while it stays away: refused
    EXPECT_TRUE(display_.Has("CommsStatusHint", server_->Rfc2217Url() + ": connection refused"));
    ASSERT_TRUE(server_->Start());
    const std::size_t back = display_.calls.size();
    EXPECT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 3500), 0);
    EXPECT_NE(display_.Find("CommsStatus", CommsGood, back), RecordingDisplay::npos);
}

TEST_F(NetworkLine, SettingsChangeReachesTheServer) {
    StartCoreWithBothPorts();
    Pick(0);
    // ser2net sets the pseudo-terminal to the rate asked for (the simulator, on a terminal that
    // enforces no rate, answers on).
    PortDrv& port = Core().Port();
    ASSERT_TRUE(port.PortBeginSettings());
    port.PortSetNewPort(1);
    port.PortSetNewBaud(19200);
    port.PortSetNewData(8);
    port.PortSetNewParity(0);
    port.PortSetNewStop(1);
    ASSERT_TRUE(port.PortCommitSettings());
    const auto terminalSpeed = [&] {
        const int fd = ::open(Sim().DevicePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        const bool read = fd >= 0 && ::tcgetattr(fd, &tio) == 0;
        if (fd >= 0) ::close(fd);
        return read ? ::cfgetospeed(&tio) : speed_t{0};
    };
    EXPECT_GE(RunUntil([&] { return terminalSpeed() == B19200; }, 2000), 0);
    EXPECT_EQ(port.CurrentBaud(), 19200);
    EXPECT_EQ(State().Comms, CommsState::Good);
}

}  // namespace
}  // namespace kestrova::test
