// Restoring a parameter file: the checks before anything is written, the preview and its
// answer, the backup before the first step, the read-back after the last one, and the file
// events refused meanwhile.
#include <ctime>
#include <functional>
#include <latch>
#include <thread>

#include "calibration_fixture.h"
#include "common/ini_document.h"
#include "support/internals_probe.h"

namespace kestrova::test {
namespace {

class Restore : public CalibrationFixture {
protected:
    // Started, with the controller mode of the tag file (enhanced) taken over.
    void StartIdle() {
        StartCore();
        RunSystemTicks(1);
        display_.Clear();
    }
    void StartWithGoodComms(SimOptions options = {}) {
        StartSimulator(std::move(options));
        StartCore();
        Core().ServiceEvent("CommsSelect", "0");
        ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
        display_.Clear();
    }
    PointRecord& Tag(int point) { return InternalsProbe::PointTable(Points())[point]; }
};

TEST_F(Restore, RefusedFilesWriteNothingAndNameEveryOffendingValue) {
    const std::string refused = " was not restored; nothing was written:";
    struct Row {
        std::string what;
        std::map<int, std::string> values;  // of a good file; "" leaves the entry out
        std::function<void()> setUp;
        std::string message;  // after the file's path
    };
    const std::vector<Row> rows = {
        {"signed 16-bit",
         {{11, "70000"}},
         nullptr,
         refused + "\nPan neutral value (point 11): 70000 is outside -32768 to 32767"},
        {"every offender",
         {{20, "-1"}, {21, "-40000"}, {33, "200.5"}},
         nullptr,
         refused + "\nTilt neutral value (point 21): -40000 is outside -32768 to 32767" +
             "\nTilt positive adjust value (point 20): -1 is outside 0 to 200" +
             "\nRoll negative adjust value (point 33): 200.5 is outside 0 to 200"},
        {"unsigned 8-bit",
         {{11, "256"}, {31, "-0.5"}, {21, "-1"}},
         [this] {
             for (int point : {11, 21, 31}) Tag(point).Pt_Flags = 0x14000020;
         },
         refused + "\nPan neutral value (point 11): 256 is outside 0 to 255" +
             "\nTilt neutral value (point 21): -1 is outside 0 to 255" +
             "\nRoll neutral value (point 31): -0.5 lies between two values point 31 can hold "
             "(its steps are 1)"},
        {"fraction",
         {{11, "100.6"}, {10, "12.25"}},
         [this] { Tag(10).ScaleMult = 0.25; },
         refused + "\nPan neutral value (point 11): 100.6 lies between two values point 11 can "
                   "hold (its steps are 1)"},
        {"legacy range",
         {{10, "13304"}, {13, "15352"}, {20, "14000"}, {23, "14000"}, {30, "14000"}, {33, "0"}},
         [this] {
             Report(6, 0.0);
             RunSystemTicks(5);
         },
         refused + "\nRoll negative adjust value (point 33): 0 is outside 13304 to 15352"},
        {"scaled point",
         {{11, "20000"}},
         [this] {
             Tag(11).ScaleMult = 0.5;
             Tag(11).ScaleOffset = 100.0;
         },
         refused + "\nPan neutral value (point 11): 20000 is outside -16284 to 16483.5"},
        {"zero multiplier",
         {},
         [this] { Tag(31).ScaleMult = 0.0; },
         refused + "\nRoll neutral value (point 31): the tag file gives point 31 a scale "
                   "multiplier of 0, so no value can be sent to it"},
        {"missing section",
         {{21, ""}},
         nullptr,
         " is not a parameter file: it holds no value for point 21 (Tilt neutral value)."},
        {"empty file",
         {},
         [this] { WriteText(Prm("cal.PRM"), ""); },
         " is not a parameter file: it holds no value for point 11 (Pan neutral value)."},
        {"missing file",
         {},
         [this] { std::filesystem::remove(Prm("cal.PRM")); },
         " is not a parameter file: it holds no value for point 11 (Pan neutral value)."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        StartIdle();
        WriteCalibration("cal.PRM", row.values);
        if (row.setUp) row.setUp();
        display_.Clear();
        StartRestore(Prm("cal.PRM"));
        RunSystemTicks(100);

        EXPECT_EQ(display_.Values("MessageBox"),
                  (std::vector<std::string>{Prm("cal.PRM").string() + row.message}));
        EXPECT_TRUE(display_.Values("RestorePreviewRow").empty());
        EXPECT_TRUE(display_.Values("RestoreState").empty());
        EXPECT_FALSE(AnyWriteRequested());
        EXPECT_EQ(Scaled(17), 0.0);
    }
}

TEST_F(Restore, PreviewListsTheValuesAndCancelWritesNothing) {
    StartIdle();
    const auto file =
        WriteCalibration("cal.PRM", {{11, "1000"}, {10, "150"}, {33, "7"}, {23, "-0"}});
    Core().ServiceEvent("FileOpen_Selected", file.string());
    EXPECT_EQ(display_.Values("RestorePreviewRow"),
              (std::vector<std::string>{
                  "Pan neutral|no comms|1000", "Pan positive adjust|no comms|150",
                  "Pan negative adjust|no comms|0", "Tilt neutral|no comms|2048",
                  "Tilt positive adjust|no comms|0", "Tilt negative adjust|no comms|0",
                  "Roll neutral|no comms|2048", "Roll positive adjust|no comms|0",
                  "Roll negative adjust|no comms|7"}));
    Core().ServiceEvent("RestorePreview_Selected", Cancel);
    Core().ServiceEvent("RestorePreview_Selected", event_texts::Restore);  // nothing waits any more
    RunSystemTicks(100);
    EXPECT_FALSE(AnyWriteRequested());
    EXPECT_EQ(Scaled(11), 2048.0);
    EXPECT_TRUE(display_.Values("RestoreState").empty());
    EXPECT_TRUE(display_.Has("DebugInfo", "No parameter file waits for a restore"));
}

TEST_F(Restore, FileEventsDuringARestoreAreRefused) {
    StartIdle();
    StartRestore(WriteCalibration("cal.PRM", {{11, "1000"}}));
    EXPECT_TRUE(
        display_.Has("DebugInfo", "No backup before the restore: no link, nothing to back up"));
    EXPECT_FALSE(std::filesystem::exists(Folder() / "Backups"));
    RunSystemTicks(50);
    display_.Clear();

    Core().ServiceEvent("FileSave_Selected", Prm("saved.PRM").string());
    StartRestore(WriteCalibration("other.PRM", {{11, "1111"}}));
    EXPECT_EQ(display_.Values("MessageBox"),
              std::vector<std::string>(3, std::string(RestoreUnderWayMessage)));
    EXPECT_FALSE(std::filesystem::exists(Prm("saved.PRM")));
    EXPECT_TRUE(display_.Values("RestorePreviewRow").empty());

    ASSERT_TRUE(RunUntilRestoreEnds(10000));
    EXPECT_EQ(Scaled(11), 1000.0);
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreIdle})));
    Core().ServiceEvent("FileSave_Selected", Prm("saved.PRM").string());
    EXPECT_TRUE(std::filesystem::exists(Prm("saved.PRM")));
}

TEST_F(Restore, BackupHoldsTheControllersValuesAndNeverOverwritesAnEarlierOne) {
    StartWithGoodComms();
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 4;
    time.tm_mday = 6;
    time.tm_hour = 7;
    time.tm_min = 8;
    time.tm_sec = 9;
    Core().SetLocalClock([time] { return time; });
    const auto file = WriteCalibration("cal.PRM", {{11, "1000"}});
    const std::filesystem::path backups = Folder() / "Backups";

    // Backups/ cannot be made: the restore does not start.
    WriteText(backups, "");
    StartRestore(file);
    const std::vector<std::string> boxes = display_.Values("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(
        boxes[0].starts_with("The controller's values could not be backed up (Cannot "
                             "create folder " +
                             backups.string()))
        << boxes[0];
    EXPECT_TRUE(
        boxes[0].ends_with("), so the restore did not start. Open the parameter file "
                           "again to retry."));
    RunSystemTicks(50);
    EXPECT_TRUE(display_.Values("RestoreState").empty());
    EXPECT_FALSE(Core().RestoreUnderWay());
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).neutral, 2048);

    // A backup made earlier in the same second stays as it is.
    std::filesystem::remove(backups);
    std::filesystem::create_directory(backups);
    WriteText(backups / "2024-05-06_070809_COM1_before_restore.PRM", "earlier");
    display_.Clear();
    Core().ServiceEvent("FileOpen_Selected", file.string());
    ASSERT_FALSE(display_.Values("RestorePreviewRow").empty());
    EXPECT_EQ(display_.Values("RestorePreviewRow")[0], "Pan neutral|2048|1000");
    Core().ServiceEvent("RestorePreview_Selected", event_texts::Restore);

    const std::filesystem::path backup = backups / "2024-05-06_070809_COM1_before_restore_2.PRM";
    EXPECT_TRUE(display_.Has("DebugInfo", "Backup before the restore: " + backup.string()));
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreRunning})));
    EXPECT_EQ(ReadText(backups / "2024-05-06_070809_COM1_before_restore.PRM"), "earlier");
    const IniDocument saved(backup);
    for (int point = 0; point < MaxPoints; ++point) {
        EXPECT_TRUE(saved.HasKey(TagFile::PointSectionName(point), "ScaledValue")) << point;
    }
    EXPECT_EQ(saved.ReadFloat("POINT00011", "ScaledValue", 0.0), 2048.0);
    EXPECT_EQ(saved.ReadFloat("POINT00010", "ScaledValue", 0.0), 120.0);
}

TEST_F(Restore, BackupSwitchedOffStartsTheRestoreWithoutOne) {
    StartWithGoodComms();
    Core().SetBackupBeforeRestore(false);
    StartRestore(WriteCalibration("cal.PRM", {{11, "1000"}}));
    EXPECT_TRUE(display_.Has("DebugInfo", "No backup before the restore: not asked for"));
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreRunning})));
    EXPECT_FALSE(std::filesystem::exists(Folder() / "Backups"));
}

TEST_F(Restore, VerificationNamesEachValueTheControllerDidNotTakeOver) {
    SimOptions options;
    options.ignoreWritesTo = 0x0A50;  // the Pan neutral value
    StartWithGoodComms(options);
    StartRestore(WriteCalibration("cal.PRM", {{11, "1000"}, {21, "1100"}}));
    ASSERT_GE(RunUntil([&] { return State().Verification.active; }, 10000), 0);
    Core().ServiceEvent("FileSave_Selected", Prm("saved.PRM").string());
    EXPECT_FALSE(std::filesystem::exists(Prm("saved.PRM")));

    ASSERT_TRUE(RunUntilRestoreEnds(5000));
    EXPECT_TRUE(display_.Has("ShowNotification", "Restore NOT verified"));
    EXPECT_EQ(
        display_.Values("MessageBox"),
        (std::vector<std::string>{
            std::string(RestoreUnderWayMessage),
            "Restore NOT verified:\nPan neutral value (point 11): file 1000, controller 2048"}));
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreRunning, RestoreIdle})));
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Tilt).neutral, 1100);
}

TEST_F(Restore, VerificationWaitsUntilTheRestoresWritesAreAnswered) {
    // A controller that never answers the write of the Pan neutral value: reads of that value
    // still get replies, but none of them was sent after the write.
    ControllerModel model;
    FakeSerialLine line;
    line.responder = [&](FakeSerialLine& l, const std::uint8_t* frame, int length) {
        if (length > 5 && frame[1] == 'M' && (frame[2] | frame[3] << 8) == 0x0A50) return;
        model.Feed(frame, static_cast<std::size_t>(length));
        SimReply reply;
        while (model.PopReply(reply)) l.Arrive(reply.bytes.data(), reply.length);
    };
    StartCore(line);
    Core().ServiceEvent("CommsSelect", "0");
    ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
    StartRestore(WriteCalibration("cal.PRM", {{11, "1000"}}));
    ASSERT_TRUE(RunUntilRestoreEnds(15000));
    const std::vector<std::string> boxes = display_.Values("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].starts_with(
        "Restore NOT verified:\nPan neutral value (point 11): not read back within 5 s"))
        << boxes[0];
}

TEST_F(Restore, VerificationEndsWhenCommsAreLost) {
    StartWithGoodComms();
    StartRestore(WriteCalibration("cal.PRM"));
    ASSERT_GE(RunUntil([&] { return State().Verification.active; }, 10000), 0);
    Sim().SetSilent(true);
    const int ms = RunUntil([&] { return !Core().RestoreUnderWay(); }, 6000);
    EXPECT_GE(ms, 1950);
    EXPECT_LE(ms, 2100);

    std::string expected = "Restore NOT verified:";
    for (const core::RestoreValue& value : core::RestoreValueTable) {
        core::AppendProblem(expected, value, "not read back, comms lost");
    }
    EXPECT_EQ(display_.Values("MessageBox"), (std::vector<std::string>{expected}));
    EXPECT_TRUE(display_.Has("ShowNotification", "Restore NOT verified"));
}

// The controller falls silent after the preview: nothing starts, as no backup of its values can
// be made, and once it answers again it holds what it held.
TEST_F(Restore, CommsLostBetweenPreviewAndRestoreStartsNothing) {
    StartWithGoodComms();
    Core().ServiceEvent("FileOpen_Selected", WriteCalibration("cal.PRM", {{11, "1000"}}).string());
    ASSERT_FALSE(display_.Values("RestorePreviewRow").empty());
    Sim().SetSilent(true);
    ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::PortOpen; }, 5000), 0);
    display_.Clear();

    Core().ServiceEvent("RestorePreview_Selected", event_texts::Restore);
    ASSERT_EQ(display_.Values("MessageBox").size(), 1u);
    EXPECT_TRUE(display_.Values("MessageBox")[0].starts_with("The restore did not start"));
    EXPECT_TRUE(display_.Values("RestoreState").empty());
    EXPECT_FALSE(Core().RestoreUnderWay());
    Sim().SetSilent(false);
    ASSERT_GE(RunUntil([&] { return State().Comms == CommsState::Good; }, 5000), 0);
    RunMs(1000);
    EXPECT_FALSE(std::filesystem::exists(Folder() / "Backups"));
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).neutral, 2048);
}

// Silent from step 3 on: the restore stops as a lost port stops it. Once the controller answers
// again, the axis left in Increment is back in Normal and the values the steps wrote meanwhile
// have not been sent.
TEST_F(Restore, CommsLostDuringTheStepsInterruptsTheRestore) {
    StartWithGoodComms();
    StartRestore(WriteCalibration("cal.PRM", {{11, "1000"}}));
    ASSERT_GE(RunUntil([&] { return State().RestoreStepNumber == 3; }, 5000), 0);
    Sim().SetSilent(true);
    ASSERT_GE(RunUntil([&] { return !Core().RestoreUnderWay(); }, 5000), 0);
    const std::vector<std::string> boxes = display_.Values("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].starts_with("Restore interrupted at step ")) << boxes[0];
    EXPECT_TRUE(boxes[0].ends_with(" of 17: comms lost")) << boxes[0];
    EXPECT_EQ(display_.Values("RestoreState"), (Texts({RestoreRunning, RestoreIdle})));

    Sim().SetSilent(false);
    ASSERT_GE(RunUntil([&] { return Core().AxesBackInNormal(); }, 5000), 0);
    RunMs(500);
    for (Axis axis : Axes) EXPECT_EQ(Sim().Model().AxisAt(axis).mode, 0) << static_cast<int>(axis);
    EXPECT_EQ(Sim().Model().AxisAt(Axis::Pan).neutral, 2048);
}

// A stop after step 2 (Pan in Increment) ends with every axis Normal on the controller.
TEST_F(Restore, StopAfterStepTwoPutsEveryAxisBackInNormal) {
    StartWithGoodComms();
    StartRestore(WriteCalibration("cal.PRM", {{11, "1000"}}));
    ASSERT_GE(RunUntil([&] { return Sim().Model().AxisAt(Axis::Pan).mode == 1; }, 5000), 0);
    ASSERT_EQ(State().RestoreStepNumber, 3u);
    Core().StopRestore();
    EXPECT_FALSE(Core().RestoreUnderWay());
    EXPECT_TRUE(display_.Has("MessageBox", "Restore interrupted at step 3 of 17: stopped"));
    ASSERT_GE(RunUntil([&] { return Core().AxesBackInNormal(); }, 2000), 0);
    for (Axis axis : Axes) EXPECT_EQ(Sim().Model().AxisAt(axis).mode, 0) << static_cast<int>(axis);
}

// Two cores of one unit name back up at the same moment of the same second, round after round:
// each backup gets a file of its own.
TEST_F(Restore, BackupsMadeAtTheSameMomentEachGetAFile) {
    struct Unit {
        RecordingDisplay display;
        PlainWindowPlacement window;
        FakeSerialLine line;
        FakePortCatalogue catalogue;
        ControllerModel model;
        std::unique_ptr<AppService> core;
    };
    std::array<Unit, 2> units;
    for (Unit& u : units) {
        u.line.responder = [&u](FakeSerialLine& l, const std::uint8_t* frame, int length) {
            u.model.Feed(frame, static_cast<std::size_t>(length));
            SimReply reply;
            while (u.model.PopReply(reply)) l.Arrive(reply.bytes.data(), reply.length);
        };
        u.core = std::make_unique<AppService>(u.display, u.window, u.line, u.catalogue, ExePath());
        u.core->CoreStart();
        u.core->SetLocalClock([] {
            std::tm time{};
            time.tm_mday = 1;
            time.tm_year = 126;
            return time;
        });
        u.core->ServiceEvent("CommsSelect", "0");
        for (int ms = 1; ms <= 5000 && u.core->State().Comms != CommsState::Good; ++ms) {
            u.core->CommsTick();
            if (ms % 10 == 0) u.core->SystemTick();
        }
        ASSERT_EQ(u.core->State().Comms, CommsState::Good);
    }
    const std::string file = WriteCalibration("cal.PRM").string();
    constexpr int Rounds = 10;
    for (int round = 0; round < Rounds; ++round) {
        std::latch start(2);
        const auto backup = [&](Unit& u) {
            u.core->ServiceEvent("FileOpen_Selected", file);
            start.arrive_and_wait();
            u.core->ServiceEvent("RestorePreview_Selected", event_texts::Restore);
            u.core->StopRestore();
        };
        std::thread other(backup, std::ref(units[0]));
        backup(units[1]);
        other.join();
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder() / "Backups")) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names.size(), 2u * Rounds);
    for (const std::string& name : names) {
        EXPECT_TRUE(name.starts_with("2026-01-01_000000_COM1_before_restore")) << name;
    }
}

}  // namespace
}  // namespace kestrova::test
