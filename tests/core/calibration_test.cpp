// Parameter files and the timed restore, with the link closed (values limited into the points)
// and open (values sent to the controller's restore targets).
#include "calibration_fixture.h"

#include <sys/stat.h>

#include <sstream>

#include "common/errors.h"
#include "common/number_text.h"

namespace kestrova::test {
namespace {

using Calibration = CalibrationFixture;

TEST_F(Calibration, ClampTestsTheMaximumFirst) {
    EXPECT_EQ(AppService::ClampValue(250.0, 0.0, 200.0), 200.0);
    EXPECT_EQ(AppService::ClampValue(-5.0, 0.0, 200.0), 0.0);
    EXPECT_EQ(AppService::ClampValue(12.5, 0.0, 200.0), 12.5);
    EXPECT_EQ(AppService::ClampValue(5.0, 10.0, 0.0), 0.0);
    EXPECT_EQ(AppService::ClampValue(-5.0, 10.0, 0.0), 10.0);
}

TEST_F(Calibration, SaveWritesEveryPointToANewFile) {
    StartCore();
    Report(10, 0.5);
    Report(13, -1.25e-7);
    display_.Clear();
    Core().ServiceEvent("FileSave_Selected", Prm("new.PRM").string());

    std::string expected;
    for (int point = 0; point < MaxPoints; ++point) {
        expected += "[POINT000" + std::string(point < 10 ? "0" : "") + IntToText(point) +
                    "]\r\nScaledValue=" + DoubleToText(Scaled(point)) + "\r\n";
    }
    EXPECT_EQ(ReadText(Prm("new.PRM")), expected);
    EXPECT_NE(expected.find("[POINT00010]\r\nScaledValue=0.5\r\n"), std::string::npos);
    EXPECT_NE(expected.find("[POINT00011]\r\nScaledValue=2048\r\n"), std::string::npos);
    EXPECT_EQ(State().CalibrationBuffer[10], 0.5);
    EXPECT_EQ(State().CalibrationBuffer[2], Scaled(2));
    EXPECT_EQ(display_.calls,
              (std::vector<DisplayCall>{
                  {"ShowNotification", Saved},
                  {"DebugInfo", "App Msg >FileSave_Selected<>" + Prm("new.PRM").string() + "<"}}));
    EXPECT_TRUE(State().NotifyPending);
    EXPECT_EQ(State().RestoreStepNumber, 0u);
}

TEST_F(Calibration, SaveOverAnExistingFileReplacesOnlyTheValues) {
    StartCore();
    std::filesystem::copy_file(TagPath(), Prm("copy.PRM"));
    const std::string before = ReadText(Prm("copy.PRM"));
    Report(20, 33.0);
    Core().SaveParameterFile(Prm("copy.PRM"));

    // Line by line the same file but for point 20's value.
    std::istringstream was(before), now(ReadText(Prm("copy.PRM")));
    std::string a, b;
    int differing = 0;
    while (std::getline(was, a) && std::getline(now, b)) {
        if (a != b) {
            ++differing;
            EXPECT_EQ(b, "ScaledValue=33\r");
        }
    }
    EXPECT_FALSE(std::getline(now, b)) << "extra line " << b;
    EXPECT_EQ(differing, 1);
}

TEST_F(Calibration, SaveOntoALinkReplacesTheLinkAndReadsNothingThroughIt) {
    StartCore();
    const TempFolder elsewhere("calibration_outside");
    WriteText(elsewhere / "private", "[Secret]\nkey=private\n");
    ::chmod((elsewhere / "private").c_str(), 0600);
    std::filesystem::create_symlink(elsewhere / "private", Prm("linked.PRM"));
    const ScopedUmask umask(022);
    Core().ServiceEvent("FileSave_Selected", Prm("linked.PRM").string());

    EXPECT_EQ(ReadText(elsewhere / "private"), "[Secret]\nkey=private\n");
    EXPECT_EQ(ModeOf(elsewhere / "private"), 0600u);
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::filesystem::symlink_status(Prm("linked.PRM"))));
    EXPECT_EQ(ReadText(Prm("linked.PRM")).find("Secret"), std::string::npos);
    EXPECT_EQ(ModeOf(Prm("linked.PRM")), 0644u);
}

TEST_F(Calibration, SaveThatCannotWriteShowsNoBanner) {
    StartCore();
    display_.Clear();
    const std::filesystem::path path = Folder() / "missing" / "x.PRM";
    try {
        Core().ServiceEvent("FileSave_Selected", path.string());
        ADD_FAILURE() << "no FileError";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + path.string());
    }
    EXPECT_TRUE(display_.calls.empty());
    EXPECT_FALSE(State().NotifyPending);
    EXPECT_EQ(State().CalibrationBuffer[11], 2048.0);  // taken before the write failed
}

TEST_F(Calibration, LoadFillsTheBufferAndStartsTheRestore) {
    StartCore();
    RunSystemTicks(1);
    std::string text = "[pOiNt00010]\r\nscaledvalue = 120\r\n[POINT00015]\r\nScaledValue=1,5\r\n";
    for (int point : {11, 13, 20, 21, 23, 30, 31, 33}) {
        text += "[POINT000" + IntToText(point) + "]\r\nScaledValue=7\r\n";
    }
    WriteText(Prm("in.PRM"), text + "[POINT00014]\r\nOther=4\r\n");
    ::chmod(Prm("in.PRM").c_str(), 0444);
    const std::string before = ReadText(Prm("in.PRM"));
    display_.Clear();
    Core().ServiceEvent("FileOpen_Selected", Prm("in.PRM").string());

    EXPECT_EQ(
        display_.Values("DebugInfo"),
        (std::vector<std::string>{"_HMI_Pan_Pos_Deadband_Setting >120<",
                                  "App Msg >FileOpen_Selected<>" + Prm("in.PRM").string() + "<"}));
    EXPECT_EQ(State().CalibrationBuffer[10], 120.0);
    EXPECT_EQ(State().CalibrationBuffer[15], 1.5);
    EXPECT_EQ(State().CalibrationBuffer[14], 0.0);  // no value: 0
    EXPECT_EQ(State().CalibrationBuffer[39], 0.0);
    EXPECT_EQ(State().RestoreStepNumber, 0u);  // the preview's answer starts it
    Core().ServiceEvent("RestorePreview_Selected", Restore);
    EXPECT_EQ(State().RestoreStepNumber, 1u);
    EXPECT_EQ(ReadText(Prm("in.PRM")), before);
}

TEST_F(Calibration, LoadWithABadValueStartsNoRestore) {
    StartCore();
    WriteParameters("bad.PRM", {{4, "7"}, {5, "12abc"}, {6, "9"}});
    display_.Clear();
    try {
        Core().ServiceEvent("FileOpen_Selected", Prm("bad.PRM").string());
        ADD_FAILURE() << "no ConversionError";
    } catch (const ConversionError& error) {
        EXPECT_EQ(std::string(error.what()), "'12abc' is not a valid floating point value");
    }
    EXPECT_EQ(State().RestoreStepNumber, 0u);
    EXPECT_EQ(State().CalibrationBuffer[4], 7.0);  // before the bad one
    EXPECT_EQ(State().CalibrationBuffer[6], 0.0);  // after it: as it was
    EXPECT_TRUE(display_.calls.empty());
}

TEST_F(Calibration, RestoreWithTheLinkClosedLimitsIntoThePoints) {
    StartCore();
    RunSystemTicks(1);
    WriteParameters("cal.PRM", {{10, "250"},
                                {11, "1000"},
                                {13, "5"},
                                {20, "50"},
                                {21, "1500"},
                                {23, "60"},
                                {30, "199"},
                                {31, "1200"},
                                {33, "201"},
                                {18, "9"}});
    // The file's adjust values fit the maxima when it is checked; lower maxima limit them.
    Report(12, 300.0);
    Report(32, 300.0);
    Points().WritePoint(17, 2.0);  // an axis out of Normal before the restore
    display_.Clear();
    StartRestore(Prm("cal.PRM"));
    Report(12, 200.0);
    Report(32, 150.0);

    const RestoreRun run = RunRestore(1000);
    EXPECT_EQ(State().RestoreStepNumber, 0u);
    // Step 1 at the first supervisor run (tick 5), then one step every 40 ticks.
    std::vector<int> expectedTicks;
    for (int step = 1; step <= 17; ++step) expectedTicks.push_back(5 + 40 * (step - 1));
    EXPECT_EQ(run.stepTicks, expectedTicks);

    using Modes = std::array<double, 3>;
    EXPECT_EQ(run.modes, (std::vector<Modes>{{0, 0, 0},
                                             {1, 0, 0},
                                             {2, 0, 0},
                                             {0, 0, 0},
                                             {0, 1, 0},
                                             {0, 2, 0},
                                             {0, 0, 0},
                                             {0, 0, 1},
                                             {0, 0, 2},
                                             {0, 0, 0}}));
    EXPECT_EQ(Scaled(10), 200.0);
    EXPECT_EQ(Scaled(11), 1000.0);
    EXPECT_EQ(Scaled(13), 5.0);
    EXPECT_EQ(Scaled(20), 50.0);
    EXPECT_EQ(Scaled(21), 1500.0);
    EXPECT_EQ(Scaled(23), 60.0);
    EXPECT_EQ(Scaled(30), 150.0);
    EXPECT_EQ(Scaled(31), 1200.0);
    EXPECT_EQ(Scaled(33), 150.0);
    EXPECT_EQ(Scaled(18), 0.0);  // restore targets are used only with the link open
    EXPECT_TRUE(State().EnhancedMode);

    // Banner up at step 1, down at step 17 right after the mode command; the step number is
    // traced on every run.
    const std::size_t shown = display_.Find("ShowNotification", Restoring);
    const std::size_t mode = display_.Find("ModeSelect", Enhanced, shown);
    ASSERT_NE(shown, RecordingDisplay::npos);
    ASSERT_NE(mode, RecordingDisplay::npos);
    EXPECT_EQ(display_.calls[shown - 1], (DisplayCall{"DebugInfo", "Rest Seq: 1"}));
    EXPECT_EQ(display_.calls[mode - 1], (DisplayCall{"DebugInfo", "Rest Seq: 17"}));
    EXPECT_EQ(display_.calls[mode + 1], (DisplayCall{"HideNotification", Unused}));
    EXPECT_EQ(display_.Count("DebugInfo", "Rest Seq: 1"), 1u);
    EXPECT_EQ(display_.Count("DebugInfo", "Rest Seq: 9"), 8u);
    EXPECT_EQ(display_.Count("DebugInfo", "Rest Seq: 17"), 8u);
    // Nothing can be read back with the link closed.
    EXPECT_EQ(display_.calls[mode + 2],
              (DisplayCall{"DebugInfo",
                           "Restore not verified: the link is closed, no value can be read back"}));
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreRunning, RestoreIdle})));
    EXPECT_FALSE(Core().RestoreUnderWay());
    display_.Clear();
    RunSystemTicks(100);
    EXPECT_TRUE(display_.Values("DebugInfo").empty());
}

TEST_F(Calibration, RestoreWithTheLinkOpenReachesTheControllersTargets) {
    StartConnected();
    ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
    WriteParameters("cal.PRM", {{10, "150"},
                                {11, "1000"},
                                {13, "30"},
                                {20, "180"},
                                {21, "1100"},
                                {23, "20"},
                                {30, "10"},
                                {31, "1200"},
                                {33, "5"}});
    StartRestore(Prm("cal.PRM"));
    RunRestore(1000);
    EXPECT_EQ(State().RestoreStepNumber, 0u);
    // The values read back match the file: verified, within the 5 s allowed.
    ASSERT_TRUE(RunUntilRestoreEnds(5000));
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreRunning, RestoreIdle})));
    EXPECT_TRUE(display_.Has("ShowNotification", "Restore verified"));
    EXPECT_TRUE(display_.Values("MessageBox").empty());
    RunMs(1000);

    const ControllerModel& model = Sim().Model();
    EXPECT_EQ(model.AxisAt(Axis::Pan).posRestore, 150);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negRestore, 30);
    EXPECT_EQ(model.AxisAt(Axis::Tilt).posRestore, 180);
    EXPECT_EQ(model.AxisAt(Axis::Tilt).negRestore, 20);
    EXPECT_EQ(model.AxisAt(Axis::Roll).posRestore, 10);
    EXPECT_EQ(model.AxisAt(Axis::Roll).negRestore, 5);
    // The controller took them over in the matching modes.
    EXPECT_EQ(model.AxisAt(Axis::Pan).posAdjust, 150);
    EXPECT_EQ(model.AxisAt(Axis::Pan).negAdjust, 30);
    EXPECT_EQ(model.AxisAt(Axis::Tilt).posAdjust, 180);
    EXPECT_EQ(model.AxisAt(Axis::Roll).negAdjust, 5);
    EXPECT_EQ(model.AxisAt(Axis::Pan).neutral, 1000);
    EXPECT_EQ(model.AxisAt(Axis::Tilt).neutral, 1100);
    EXPECT_EQ(model.AxisAt(Axis::Roll).neutral, 1200);
    for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(model.AxisAt(Axes[axis]).mode, 0) << axis;
    // And the window heard of it through the points read back.
    EXPECT_EQ(Scaled(10), 150.0);
    EXPECT_EQ(Scaled(20), 180.0);
    EXPECT_TRUE(display_.Has("TiltPosAdjustValue", "180"));
    EXPECT_TRUE(display_.Has("Pan_ModeSelect", Increment));
    EXPECT_TRUE(display_.Has("RollModeSelect", Decrement));
    EXPECT_EQ(State().Comms, CommsState::Good);
}

}  // namespace
}  // namespace kestrova::test
