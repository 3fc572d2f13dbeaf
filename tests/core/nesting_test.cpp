// Events delivered from inside a display command, as the window's handlers do when a command
// moves the focus or a track bar; and the ticks' allocations.
#include "core_fixture.h"

#include "core/ui_names.h"

#include "support/alloc_counter.h"

namespace kestrova::test {
namespace {

class Nesting : public CoreFixture {
protected:
    void Report(int point, double value) {
        Points().WritePoint(point, value);
        Points().ClearPointWriteRequest(point);
    }
    // Runs action once, from inside the first display command for which when() holds.
    void Once(std::function<bool(std::string_view, std::string_view)> when,
              std::function<void()> action) {
        display_.hook = [this, when = std::move(when), action = std::move(action), done = false](
                            std::string_view key, std::string_view value) mutable {
            if (done || !when(key, value)) return;
            done = true;
            action();
        };
    }
};

TEST_F(Nesting, EventFromInsideAnEventsDisplayCommand) {
    StartCore();
    Report(17, 2.0);
    display_.Clear();
    // The axis button's "Normal" moves the focus; the track bar that takes it reports its value.
    Once([](auto key, auto value) { return key == "Pan_ModeSelect" && value == Normal; },
         [this] { Core().ServiceEvent("TrackBarPan_PosAdjustValue", "150"); });
    Core().ServiceEvent("ButtonPan", OnClick);

    EXPECT_EQ(display_.calls,
              (std::vector<DisplayCall>{{"Pan_ModeSelect", Normal},
                                        {"DebugInfo", "App Msg >TrackBarPan_PosAdjustValue<>150<"},
                                        {"DebugInfo", "App Msg >ButtonPan<>OnClick<"}}));
    EXPECT_EQ(Scaled(17), 0.0);
    EXPECT_EQ(Scaled(10), 150.0);
}

TEST_F(Nesting, EventsFromInsideTheSupervisorsCommands) {
    StartCore();
    Report(10, 5.0);
    Report(17, 1.0);
    display_.Clear();
    // Every positive value shown is echoed back by the moved track bar, and the operator's
    // click on the axis button arrives while "Increment" is being shown.
    display_.hook = [this](std::string_view key, std::string_view value) {
        if (key == "Pan_PosAdjustValue") {
            Core().ServiceEvent("TrackBarPan_PosAdjustValue", std::string(value));
        }
        if (key == "Pan_ModeSelect" && value == Increment) {
            Core().ServiceEvent("ButtonPan", OnClick);
        }
    };
    Core().SystemTick();

    std::vector<DisplayCall> shown = display_.Without("DebugInfo");
    const std::vector<DisplayCall> panPart(shown.begin(), shown.begin() + 8);
    EXPECT_EQ(panPart, (std::vector<DisplayCall>{{"Pan_NeutralValue", "2048"},
                                                 {"Pan_PosAdjustValueMax", "15352"},
                                                 {"Pan_NegAdjustValueMax", "15352"},
                                                 {"Pan_PosAdjustValue", "5"},
                                                 {"Pan_NegAdjustValue", "0"},
                                                 {"Pan_OutputValue", "2048"},
                                                 {"Pan_ModeSelect", Increment},
                                                 {"Pan_ModeSelect", Normal}}));
    // The run went on to the end.
    EXPECT_EQ(shown.size(), 8u + 14u + 2u);
    EXPECT_EQ(shown.back(), (DisplayCall{"SoftwareVersionNumber", "0"}));
    EXPECT_EQ(display_.Values("DebugInfo"),
              (std::vector<std::string>{"App Msg >TrackBarPan_PosAdjustValue<>5<",
                                        "App Msg >ButtonPan<>OnClick<"}));
    EXPECT_EQ(Scaled(17), 0.0);

    // The nested change of mode is picked up by the next run.
    display_.hook = nullptr;
    display_.Clear();
    for (int tick = 0; tick < 5; ++tick) Core().SystemTick();
    EXPECT_EQ(display_.Values("Pan_ModeSelect"), (Texts({Normal})));

    // The legacy button, pressed while "ENHANCED" is being shown, has the last word.
    Report(6, 0.0);
    for (int tick = 0; tick < 5; ++tick) Core().SystemTick();
    Report(6, 1.0);
    Once([](auto key, auto value) { return key == "ModeSelect" && value == Enhanced; },
         [this] { Core().ServiceEvent("ButtonModeLegacy", OnClick); });
    for (int tick = 0; tick < 5; ++tick) Core().SystemTick();
    EXPECT_EQ(Scaled(6), 0.0);
    EXPECT_FALSE(State().EnhancedMode);
}

TEST_F(Nesting, RestoreOpenedFromInsideItsLastStepIsRefused) {
    StartCore();
    Core().SystemTick();
    const std::string calibration =
        "[POINT00010]\r\nScaledValue=0\r\n[POINT00013]\r\n"
        "ScaledValue=0\r\n[POINT00020]\r\nScaledValue=0\r\n"
        "[POINT00023]\r\nScaledValue=0\r\n[POINT00030]\r\n"
        "ScaledValue=0\r\n[POINT00033]\r\nScaledValue=0\r\n"
        "[POINT00021]\r\nScaledValue=2048\r\n[POINT00031]\r\n"
        "ScaledValue=2048\r\n";
    WriteText(Folder() / "first.PRM", calibration + "[POINT00011]\r\nScaledValue=1000\r\n");
    WriteText(Folder() / "second.PRM", calibration + "[POINT00011]\r\nScaledValue=1111\r\n");
    Core().ServiceEvent("FileOpen_Selected", (Folder() / "first.PRM").string());
    Core().ServiceEvent("RestorePreview_Selected", Restore);
    Once(
        [this](auto key, auto value) {
            return key == "ModeSelect" && value == Enhanced && State().RestoreStepNumber == 17;
        },
        [this] {
            Core().ServiceEvent("FileOpen_Selected", (Folder() / "second.PRM").string());
            Core().ServiceEvent("RestorePreview_Selected", Restore);
        });

    int ticks = 0;
    while (Core().RestoreUnderWay() && ticks < 2000) {
        Core().SystemTick();
        ++ticks;
    }
    EXPECT_EQ(display_.Count("ShowNotification", Restoring), 1u);
    EXPECT_EQ(display_.Count("MessageBox", RestoreUnderWayMessage), 2u);
    EXPECT_FALSE(display_.Has("RestorePreviewRow", "Pan neutral|2048|1111"));
    EXPECT_EQ(Scaled(11), 1000.0);
    // First step at the first run (tick 5), 16 steps 40 ticks apart, and no second restore.
    EXPECT_EQ(ticks, 5 + 16 * 40);
}

TEST_F(Nesting, BannerShownFromInsideTheHideIsHeldAgain) {
    StartCore();
    Core().ServiceEvent("FileSave_Selected", (Folder() / "a.PRM").string());
    Once([](auto key, auto) { return key == "HideNotification"; },
         [this] { Core().ServiceEvent("FileSave_Selected", (Folder() / "b.PRM").string()); });
    for (int tick = 0; tick < 100; ++tick) Core().SystemTick();
    EXPECT_EQ(display_.Count("ShowNotification", Saved), 2u);
    EXPECT_EQ(display_.Count("HideNotification", Unused), 1u);
    EXPECT_TRUE(State().NotifyPending);
    for (int tick = 0; tick < 100; ++tick) Core().SystemTick();
    EXPECT_EQ(display_.Count("HideNotification", Unused), 2u);
    EXPECT_FALSE(State().NotifyPending);
}

TEST_F(Nesting, PortSelectedFromInsideTheSupervisorKeepsItsState) {
    SetKey(SettingsPath(), "Ports", "COM2", (Folder() / "no-such-device").string());
    StartConnected();

    // The operator picks a port that fails just as good comms are being announced.
    Once([](auto key, auto value) { return key == "CommsStatus" && value == CommsGood; },
         [this] { Core().ServiceEvent("CommsSelect", "1"); });
    ASSERT_GE(RunUntil([&] { return display_.Has("CommsStatus", "COM2 Not Valid"); }, 5000), 0);
    const std::size_t failed = display_.Find("CommsStatus", "COM2 Not Valid");
    EXPECT_EQ(display_.calls[failed - 1], (DisplayCall{"CommsStatus", CommsNone}));
    EXPECT_EQ(display_.calls[failed - 2], (DisplayCall{"DebugInfo", "COM2 Failed"}));
    EXPECT_EQ(State().Comms, CommsState::None);
    EXPECT_EQ(State().LastLinkState, PortLinkState::OpenFailed);

    // Nothing after it claims good comms or a lost port.
    RunSystemTicks(100);
    EXPECT_TRUE(display_.Values("CommsStatus").back() == "COM2 Not Valid");
    EXPECT_EQ(State().Comms, CommsState::None);
}

TEST_F(Nesting, TicksAllocateNothingWhileCommsRun) {
    StartConnected();
    ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
    display_.recording = false;
    int shown = 0;
    display_.hook = [&shown](std::string_view, std::string_view) { ++shown; };

    Core().ServiceEvent("DebugAction", ForceRefresh);  // every value goes out once more
    long allocations = 0;
    const std::int32_t repliesBefore = Points().PointTable()[6].Msg_Count;
    for (int ms = 1; ms <= 3000; ++ms) {
        const long before = AllocationCount();
        Core().CommsTick();
        if (ms % 10 == 0) Core().SystemTick();
        allocations += AllocationCount() - before;
        ServeLine();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_NE(Points().PointTable()[6].Msg_Count, repliesBefore);
    EXPECT_GT(shown, 20);  // the refreshed values and the flashing indicator
    EXPECT_EQ(State().Comms, CommsState::Good);
}

}  // namespace
}  // namespace kestrova::test
