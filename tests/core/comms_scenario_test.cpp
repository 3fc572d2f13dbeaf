// The link to the simulated controller from the operator's point of view: port selection,
// connecting, good comms, loss and recovery, as the comms indicator shows them.
#include "core_fixture.h"
#include "port/open_failure_reason.h"

namespace kestrova::test {
namespace {

class CommsScenario : public CoreFixture {};

TEST_F(CommsScenario, ConnectsFlashesLosesAndRecovers) {
    StartSimulator();
    StartCore();

    // Start-up shows no comms on red.
    std::vector<std::string> status = display_.Values("CommsStatus");
    ASSERT_EQ(status, (Texts({CommsNone, NoCommsCaption})));
    display_.Clear();

    Core().ServiceEvent("CommsSelect", "0");
    EXPECT_EQ(display_.Without("DebugInfo"),
              (std::vector<DisplayCall>{{"CommsStatus", PortConnected},
                                        {"CommsStatus", "COM:1 Connect"},
                                        {"CommsSelect", "COM:1"}}));
    EXPECT_EQ(display_.Values("DebugInfo"),
              (std::vector<std::string>{
                  "COM:1", "COM:1 Success",
                  "COM1: pseudo-terminal, replies allowed 20 ms more, late replies waited out for "
                  "250 ms",
                  "App Msg >CommsSelect<>0<"}));
    EXPECT_EQ(State().Comms, CommsState::PortOpen);
    EXPECT_EQ(State().LastLinkState, PortLinkState::Open);
    EXPECT_EQ(Core().Port().CurrentPort(), 1);
    EXPECT_EQ(Core().Port().CurrentBaud(), 38400);
    display_.Clear();

    // Replies start: connecting for at least 200 system ticks, then good comms.
    const int connectingMs =
        RunUntil([&] { return State().Comms == CommsState::Connecting; }, 2000);
    ASSERT_GE(connectingMs, 0);
    const int goodMs = RunUntil([&] { return State().Comms == CommsState::Good; }, 4000);
    ASSERT_GE(goodMs, 200 * 10);
    EXPECT_LE(goodMs, 210 * 10);
    const std::size_t good = display_.Find("CommsStatus", CommsGood);
    ASSERT_NE(good, RecordingDisplay::npos);
    EXPECT_EQ(display_.calls[good + 1], (DisplayCall{"CommsStatus", GoodFlashOn}));
    EXPECT_EQ(display_.calls[good + 2], (DisplayCall{"CommsStatus", CommsGood}));
    const std::vector<std::string> connecting = display_.Values("CommsStatus");
    EXPECT_EQ(connecting.front(), ConnectingLeft);
    EXPECT_GE(display_.Count("CommsStatus", ConnectingRight), 1u);
    EXPECT_GE(display_.Count("CommsStatus", ConnectingLeft), 2u);

    // The values the controller reports reach the window.
    EXPECT_TRUE(display_.Has("Pan_NeutralValue", "2048"));
    EXPECT_TRUE(display_.Has("ModeSelect", Enhanced));
    EXPECT_TRUE(display_.Has("Pan_PosAdjustValueMax", "200"));
    EXPECT_TRUE(display_.Has("SoftwareVersionNumber", "1305"));
    EXPECT_TRUE(State().EnhancedMode);

    // Good comms flash between the two greens, one change every 11 supervisor runs.
    display_.Clear();
    RunSystemTicks(5 * 11 * 2);
    EXPECT_EQ(display_.Count("CommsStatus", GoodFlashOn), 1u);
    EXPECT_EQ(display_.Count("CommsStatus", GoodFlashOff), 1u);
    EXPECT_EQ(State().Comms, CommsState::Good);

    // The controller falls silent: comms lost 200 system ticks after the last reply.
    Sim().SetSilent(true);
    display_.Clear();
    const int lostMs = RunUntil([&] { return State().Comms != CommsState::Good; }, 4000);
    EXPECT_GE(lostMs, 190 * 10);
    EXPECT_LE(lostMs, 215 * 10);
    EXPECT_EQ(State().Comms, CommsState::PortOpen);
    const std::size_t lost = display_.Find("CommsStatus", CommsLost);
    ASSERT_NE(lost, RecordingDisplay::npos);
    EXPECT_EQ(display_.calls[lost - 1], (DisplayCall{"CommsStatus", PortConnected}));
    EXPECT_EQ(Core().Port().LinkState(), PortLinkState::Open);

    // It answers again: the cycle starts over and ends in good comms.
    Sim().SetSilent(false);
    EXPECT_GE(RunUntil([&] { return State().Comms == CommsState::Connecting; }, 2000), 0);
    EXPECT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 4000), 0);
}

TEST_F(CommsScenario, PortThatCannotBeOpenedIsNotValid) {
    const std::string device = (Folder() / "no-such-device").string();
    SetKey(SettingsPath(), "Ports", "COM1", device);
    StartCore();
    display_.Clear();

    // The reason goes to the indicator's tooltip and the memo; no box for a missing device.
    Core().ServiceEvent("CommsSelect", "0");
    const OpenFailureReason reason = ExplainOpenFailure(Core().Port().LastOpenFailure(), device);
    EXPECT_EQ(reason.problem, OpenProblem::NoDevice);
    EXPECT_EQ(display_.calls,
              (std::vector<DisplayCall>{{"DebugInfo", "COM:1"},
                                        {"DebugInfo", "COM1 Failed"},
                                        {"CommsStatus", CommsNone},
                                        {"CommsStatus", "COM1 Not Valid"},
                                        {"CommsSelect", NotValidPort},
                                        {"CommsStatusHint", reason.text},
                                        {"DebugInfo", reason.text},
                                        {"DebugInfo", "App Msg >CommsSelect<>0<"}}));
    EXPECT_EQ(State().Comms, CommsState::None);
    EXPECT_EQ(State().LastLinkState, PortLinkState::OpenFailed);

    // The supervisor stays in no comms: nothing is sent about the link.
    display_.Clear();
    RunSystemTicks(300);
    EXPECT_TRUE(display_.Values("CommsStatus").empty());

    // No entry chosen (-1) selects port 0, which no device stands behind.
    display_.Clear();
    Core().ServiceEvent("CommsSelect", "-1");
    EXPECT_EQ(
        display_.Values("DebugInfo"),
        (std::vector<std::string>{"COM:0", "COM0 Failed", display_.Values("CommsStatusHint").at(0),
                                  "App Msg >CommsSelect<>-1<"}));
    EXPECT_TRUE(display_.Has("CommsStatus", "COM0 Not Valid"));
    EXPECT_EQ(Core().Port().CurrentPort(), 0);
}

TEST_F(CommsScenario, ReselectingClosesTheOpenLinkFirst) {
    StartConnected();
    EXPECT_GE(RunUntil([&] { return State().Comms == CommsState::Connecting; }, 2000), 0);
    line_.events.clear();
    display_.Clear();

    Core().ServiceEvent("CommsSelect", "0");
    EXPECT_EQ(line_.events, (std::vector<std::string>{"close", "open " + Sim().DevicePath()}));
    EXPECT_EQ(display_.Values("CommsStatus"), (Texts({PortConnected, "COM:1 Connect"})));
    EXPECT_EQ(State().Comms, CommsState::PortOpen);
    EXPECT_EQ(Core().Port().LinkState(), PortLinkState::Open);
    // The line settings are the controller's and are kept for the settings file.
    EXPECT_EQ(Core().Ini().Serial.Port, 1);
    EXPECT_EQ(Core().Ini().Serial.BAUD, 38400);
    EXPECT_EQ(Core().Ini().Serial.Data, 8);
    EXPECT_EQ(Core().Ini().Serial.Parity, 0);
    EXPECT_EQ(Core().Ini().Serial.Stop, 1);
    EXPECT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
}

}  // namespace
}  // namespace kestrova::test
