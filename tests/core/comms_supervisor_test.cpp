// The comms supervision: which point values go to the display and when, the range keys of both
// modes, the reply test, the comms state machine and the notification hold.
#include "core_fixture.h"
#include "support/internals_probe.h"

namespace kestrova::test {
namespace {

class Supervisor : public CoreFixture {
protected:
    void Report(int point, double value) {
        Points().WritePoint(point, value);
        Points().ClearPointWriteRequest(point);
    }
    // One supervisor period; the supervisor runs on the last of the five ticks once the first
    // tick has run.
    void NextRun() {
        for (int tick = 0; tick < 5; ++tick) Core().SystemTick();
    }
    // System ticks until (key, value) is sent, at most limit; the number of ticks, or -1.
    int TicksUntil(std::string_view key, std::string_view value, int limit) {
        for (int tick = 1; tick <= limit; ++tick) {
            RunSystemTicks(1);
            if (display_.Has(key, value)) return tick;
        }
        return -1;
    }
};

std::vector<DisplayCall> LegacyAxis(std::string_view prefix, std::string_view neutral,
                                    std::string_view pos, std::string_view neg,
                                    std::string_view output) {
    const std::string p(prefix);
    return {{p + "NeutralValue", std::string(neutral)},
            {p + "PosAdjustValueMax", "15352"},
            {p + "NegAdjustValueMax", "15352"},
            {p + "PosAdjustValue", std::string(pos)},
            {p + "NegAdjustValue", std::string(neg)},
            {p + "OutputValue", std::string(output)},
            {p + "ModeSelect", Normal}};
}

std::vector<DisplayCall> EnhancedRanges(std::string_view prefix, std::string_view neutral) {
    const std::string p(prefix);
    return {{p + "NeutralValue", std::string(neutral)},
            {p + "PosAdjustValueMax", "200"},
            {p + "PosAdjustValueMin", "0"},
            {p + "NegAdjustValueMin", "-200"},
            {p + "NegAdjustValueMax", "0"}};
}

template <typename... Parts>
std::vector<DisplayCall> Join(const Parts&... parts) {
    std::vector<DisplayCall> all;
    (all.insert(all.end(), parts.begin(), parts.end()), ...);
    return all;
}

TEST_F(Supervisor, SendsEveryValueOnceThenOnlyChanges) {
    StartCore();
    Report(10, 5.0);
    Report(13, 7.0);
    Report(16, 2000.5);
    display_.Clear();

    // First run: everything, the ranges in the form of the mode known so far (legacy until the
    // controller mode point has been seen).
    Core().SystemTick();
    EXPECT_EQ(display_.calls, Join(LegacyAxis("Pan_", "2048", "5", "-7", "2000.5"),
                                   LegacyAxis("Tilt", "2048", "0", "0", "2048"),
                                   LegacyAxis("Roll", "2048", "0", "0", "2048"),
                                   std::vector<DisplayCall>{{"ModeSelect", Enhanced},
                                                            {"SoftwareVersionNumber", "0"}}));
    EXPECT_TRUE(State().EnhancedMode);

    // Next run: neutral values and ranges again, now in enhanced form; then nothing.
    display_.Clear();
    NextRun();
    EXPECT_EQ(display_.calls, Join(EnhancedRanges("Pan_", "2048"), EnhancedRanges("Tilt", "2048"),
                                   EnhancedRanges("Roll", "2048")));
    display_.Clear();
    NextRun();
    EXPECT_TRUE(display_.calls.empty());

    Report(16, 2001.0);
    Report(9, 1305.0);
    NextRun();
    EXPECT_EQ(display_.calls, (std::vector<DisplayCall>{{"Pan_OutputValue", "2001"},
                                                        {"SoftwareVersionNumber", "1305"}}));

    // A value equal to the cleared cache entry does not count as changed after a refresh.
    Report(21, -66000.0);
    Core().ResetDisplayCache();
    display_.Clear();
    NextRun();
    EXPECT_TRUE(display_.Values("TiltNeutralValue").empty());
    EXPECT_EQ(display_.Values("Pan_NeutralValue"), (std::vector<std::string>{"2048"}));
}

TEST_F(Supervisor, ModeChangesAndAxisModes) {
    StartCore();
    Core().SystemTick();
    NextRun();
    display_.Clear();

    Report(6, 0.0);
    NextRun();
    EXPECT_EQ(display_.calls, (std::vector<DisplayCall>{{"ModeSelect", Legacy}}));
    EXPECT_FALSE(State().EnhancedMode);
    display_.Clear();
    NextRun();
    EXPECT_EQ(display_.calls, (std::vector<DisplayCall>{{"Pan_NeutralValue", "2048"},
                                                        {"Pan_PosAdjustValueMax", "15352"},
                                                        {"Pan_NegAdjustValueMax", "15352"},
                                                        {"TiltNeutralValue", "2048"},
                                                        {"TiltPosAdjustValueMax", "15352"},
                                                        {"TiltNegAdjustValueMax", "15352"},
                                                        {"RollNeutralValue", "2048"},
                                                        {"RollPosAdjustValueMax", "15352"},
                                                        {"RollNegAdjustValueMax", "15352"}}));

    // In legacy mode the range keys carry the legacy limit whatever the maximum says.
    display_.Clear();
    Report(32, 150.0);
    NextRun();
    EXPECT_EQ(display_.calls, (std::vector<DisplayCall>{{"RollPosAdjustValueMax", "15352"},
                                                        {"RollNegAdjustValueMax", "15352"}}));

    // Axis mode values that are no mode send nothing.
    display_.Clear();
    Report(17, 1.5);
    NextRun();
    Report(17, 1.0);
    NextRun();
    Report(27, 3.0);
    NextRun();
    Report(27, 2.0);
    NextRun();
    EXPECT_EQ(display_.calls, (std::vector<DisplayCall>{{"Pan_ModeSelect", Increment},
                                                        {"TiltModeSelect", Decrement}}));
}

TEST_F(Supervisor, RepliesCountWhileTheCounterMoves) {
    StartCore();
    PointRecord& mode = InternalsProbe::PointTable(Points())[6];
    EXPECT_FALSE(Core().RepliesActive());

    mode.Msg_Count = 5;
    EXPECT_TRUE(Core().RepliesActive());
    EXPECT_EQ(State().ReplyWatchdog, 200);
    for (int tick = 0; tick < 199; ++tick) Core().SystemTick();
    EXPECT_TRUE(Core().RepliesActive());  // the watchdog still runs
    Core().SystemTick();
    EXPECT_FALSE(Core().RepliesActive());

    // The counter wrapping from 1001 to 0 is a change like any other.
    mode.Msg_Count = 1001;
    EXPECT_TRUE(Core().RepliesActive());
    for (int tick = 0; tick < 200; ++tick) Core().SystemTick();
    mode.Msg_Count = 0;
    EXPECT_TRUE(Core().RepliesActive());
    EXPECT_EQ(State().LastReplyCount, 0);

    // The debug override forces replies on.
    for (int tick = 0; tick < 200; ++tick) Core().SystemTick();
    EXPECT_FALSE(Core().RepliesActive());
    Core().ServiceEvent("ButtonDebugAppInfo", OnClick);
    EXPECT_TRUE(Core().RepliesActive());
}

TEST_F(Supervisor, SetCommsStateShowsColourThenCaption) {
    StartCore();
    display_.Clear();
    EXPECT_EQ(Core().SetCommsState(static_cast<CommsState>(7), "whatever"), CommsState::None);
    EXPECT_EQ(State().Comms, CommsState::None);
    EXPECT_EQ(Core().SetCommsState(static_cast<CommsState>(2), ConnectingLeft),
              CommsState::Connecting);
    EXPECT_EQ(State().ConnectSettleTicks, 200);
    EXPECT_EQ(Core().SetCommsState(static_cast<CommsState>(3), CommsGood), CommsState::Good);
    EXPECT_EQ(Core().SetCommsState(static_cast<CommsState>(1), CommsLost), CommsState::PortOpen);
    EXPECT_EQ(display_.calls, (std::vector<DisplayCall>{{"CommsStatus", CommsNone},
                                                        {"CommsStatus", InvalidState},
                                                        {"CommsStatus", ConnectingLeft},
                                                        {"CommsStatus", GoodFlashOn},
                                                        {"CommsStatus", CommsGood},
                                                        {"CommsStatus", PortConnected},
                                                        {"CommsStatus", CommsLost}}));
}

TEST_F(Supervisor, SavedBannerIsHeldForEightyTicks) {
    StartCore();
    for (int tick = 1; tick <= 3; ++tick) Core().SystemTick();
    Core().ServiceEvent("FileSave_Selected", (Folder() / "a.PRM").string());
    EXPECT_EQ(display_.calls.end()[-2], (DisplayCall{"ShowNotification", Saved}));
    // Saved at tick 3: the first supervisor run at or after tick 83 is the one of tick 86.
    int hiddenAt = 0;
    for (int tick = 4; tick <= 120 && hiddenAt == 0; ++tick) {
        Core().SystemTick();
        if (display_.Has("HideNotification", Unused)) hiddenAt = tick;
    }
    EXPECT_EQ(hiddenAt, 86);
    EXPECT_FALSE(State().NotifyPending);
    for (int tick = 0; tick < 100; ++tick) Core().SystemTick();
    EXPECT_EQ(display_.Count("HideNotification", Unused), 1u);
}

TEST_F(Supervisor, DebugOverrideConnectsWithoutReplies) {
    // With no port open the override changes nothing.
    StartCore();
    Core().ServiceEvent("ButtonDebugAppInfo", OnClick);
    display_.Clear();
    for (int tick = 0; tick < 300; ++tick) Core().SystemTick();
    EXPECT_TRUE(display_.Values("CommsStatus").empty());
    EXPECT_EQ(State().Comms, CommsState::None);

    SimOptions silent;
    silent.silent = true;
    StartSimulator(silent);
    StartCore();
    Core().ServiceEvent("CommsSelect", "0");
    RunSystemTicks(300);
    EXPECT_EQ(State().Comms, CommsState::PortOpen);

    // Line the runs up so that the phase of the flashing indicator changes in the very run
    // that reaches good comms: 40 runs after entering Connecting with the blink counter at 6.
    while (State().BlinkCounter != 7) RunSystemTicks(1);
    display_.Clear();
    Core().ServiceEvent("ButtonDebugAppInfo", OnClick);
    EXPECT_EQ(TicksUntil("CommsStatus", ConnectingLeft, 10), 5);
    EXPECT_EQ(State().Comms, CommsState::Connecting);
    EXPECT_EQ(display_.Values("CommsStatus"), (Texts({ConnectingLeft})));

    // While connecting every value but the axis modes is sent on every run: 39 runs after the
    // one that entered Connecting. The neutral values go once more in the run that reaches good
    // comms, as each forced "ModeSelect" re-arms them.
    display_.Clear();
    const int goodAfter = TicksUntil("CommsStatus", CommsGood, 400);
    EXPECT_EQ(goodAfter, 200);
    EXPECT_EQ(display_.Count("SoftwareVersionNumber", "0"), 39u);
    EXPECT_EQ(display_.Count("ModeSelect", Enhanced), 39u);
    EXPECT_EQ(display_.Count("Pan_NeutralValue", "2048"), 40u);
    EXPECT_EQ(display_.Values("Pan_ModeSelect").size(), 0u);

    const std::size_t good = display_.Find("CommsStatus", CommsGood);
    ASSERT_LT(good + 3, display_.calls.size());
    EXPECT_EQ(display_.calls[good + 1], (DisplayCall{"CommsStatus", GoodFlashOn}));
    EXPECT_EQ(display_.calls[good + 2], (DisplayCall{"CommsStatus", CommsGood}));
    EXPECT_EQ(display_.calls[good + 3],
              (DisplayCall{"CommsStatus", State().FlashPhase ? ConnectingLeft : ConnectingRight}));
    EXPECT_EQ(State().Comms, CommsState::Good);

    // The next phase change flashes the good indicator.
    display_.Clear();
    RunSystemTicks(55);
    EXPECT_EQ(display_.Values("CommsStatus"),
              (Texts({State().FlashPhase ? GoodFlashOn : GoodFlashOff})));

    // A link closed behind the supervisor's back: port lost.
    display_.Clear();
    Core().Port().PortClose();
    RunSystemTicks(5);
    EXPECT_EQ(display_.Values("CommsStatus"), (Texts({CommsNone, PortLost})));
    EXPECT_EQ(State().Comms, CommsState::None);
    EXPECT_EQ(State().LastLinkState, PortLinkState::Closed);
}

}  // namespace
}  // namespace kestrova::test
