// The kestrova program against simulated units on pseudo-terminals: what each command writes,
// prints and exits with. The runs that wait on the link (two seconds to "Comms Good", a restore's
// seven) start together when the suite starts, each against units of its own, so the suite takes
// about as long as its longest run; each test then checks its own run.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <regex>
#include <set>

#include "cli_test_support.h"
#include "common/axis.h"
#include "points/point_database.h"

namespace kestrova::test {
namespace {

constexpr std::uint32_t PanNeutralAddress = 0x0A50;

void SetPanNeutral(ControllerModel& model, std::int16_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value & 0xFF),
                                   static_cast<std::uint8_t>((value >> 8) & 0xFF)};
    ASSERT_EQ(model.WriteMemory(PanNeutralAddress, bytes, 2), SimError::None);
}

// The runs of the suite, started together.
struct Runs {
    Runs() {
        std::vector<std::string> args{"--config-dir", backupConfig.Path().string(), "backup",
                                      "--out-dir", backupOut.Path().string()};
        for (std::size_t i = 0; i < 4; ++i)
            args.insert(args.end(), {"--port", backupUnits.Device(i)});
        backup.emplace(args);
        restoreFile = WriteCalibration(takes, "1000");
        taken.emplace(std::vector<std::string>{"--config-dir", takes.Path().string(), "restore",
                                               "--port", restoreUnits.Device(0),
                                               restoreFile.string()});
        ignored.emplace(std::vector<std::string>{"--config-dir", ignores.Path().string(), "restore",
                                                 "--port", restoreUnits.Device(1),
                                                 restoreFile.string()});
        refusedFile = WriteCalibration(refusing, "1000", "500");
        refused.emplace(std::vector<std::string>{"--config-dir", refusing.Path().string(),
                                                 "restore", "--port", refusedUnit.Device(0),
                                                 refusedFile.string()});
        WriteDiffFiles();
        same.emplace(std::vector<std::string>{"--config-dir", diffConfig.Path().string(), "diff",
                                              "--port", diffUnits.Device(0),
                                              (diffConfig / "same.PRM").string()});
        other.emplace(std::vector<std::string>{"--config-dir", diffConfig.Path().string(), "diff",
                                               "--port", diffUnits.Device(1),
                                               (diffConfig / "other.PRM").string()});
        monitor.emplace(std::vector<std::string>{
            "--config-dir", monitorConfig.Path().string(), "monitor", "--port",
            monitorUnit.Device(0), "--seconds", "3", "--csv", (monitorConfig / "m.csv").string()});
        sameName.emplace(std::vector<std::string>{
            "--config-dir", sameNameConfig.Path().string(), "backup", "--out-dir",
            (sameNameConfig / "new/folder").string(), "--port",
            (sameNameConfig / "a/unit").string(), "--port", (sameNameConfig / "b/unit").string()});
        const std::string silentConfig = monitorConfig.Path().string();
        silentMonitor.emplace(std::vector<std::string>{"--config-dir", silentConfig, "monitor",
                                                       "--port", silentUnits.Device(0), "--json",
                                                       "--seconds", "5"});
        lostMonitor.emplace(std::vector<std::string>{"--config-dir", silentConfig, "monitor",
                                                     "--port", lostUnit.Device(0), "--json",
                                                     "--seconds", "5"});
        WriteText(monitorConfig / "kept.csv", "kept");
        std::filesystem::create_symlink(monitorConfig / "kept.csv", monitorConfig / "link.csv");
        symlinkCsv.emplace(std::vector<std::string>{"--config-dir", silentConfig, "monitor",
                                                    "--port", silentUnits.Device(1), "--csv",
                                                    (monitorConfig / "link.csv").string()});
        fullCsv.emplace(std::vector<std::string>{"--config-dir", silentConfig, "monitor", "--port",
                                                 silentUnits.Device(2), "--csv", "/dev/full"});
        fullOut.emplace(std::vector<std::string>{"--config-dir", silentConfig, "monitor", "--port",
                                                 silentUnits.Device(3)},
                        "/dev/full");
    }

    static SimOptions UnpluggedAfter(std::chrono::milliseconds time) {
        SimOptions options;
        options.unplugAfter = time;
        return options;
    }

    static SimOptions LinkedAt(const std::filesystem::path& path) {
        std::filesystem::create_directories(path.parent_path());
        SimOptions options;
        options.linkPath = path.string();
        return options;
    }

    static SimOptions IgnoringPanNeutral() {
        SimOptions options;
        options.ignoreWritesTo = PanNeutralAddress;
        return options;
    }

    // The simulator's start values with the Pan neutral value the units are given; "other"
    // differs in the Tilt neutral value.
    void WriteDiffFiles() {
        IniDocument file(diffConfig / "same.PRM");
        for (const auto& [point, value] :
             std::vector<std::pair<int, std::string_view>>{{10, "120"},
                                                           {11, "1000"},
                                                           {13, "90"},
                                                           {20, "60"},
                                                           {21, "2010"},
                                                           {23, "60"},
                                                           {30, "150"},
                                                           {31, "2090"},
                                                           {33, "30"}}) {
            file.WriteString(TagFile::PointSectionName(point), "ScaledValue", value);
        }
        file.Save();
        std::filesystem::copy_file(diffConfig / "same.PRM", diffConfig / "other.PRM");
        IniDocument changed(diffConfig / "other.PRM");
        changed.WriteString("POINT00021", "ScaledValue", "2011");
        changed.Save();
    }

    ConfigFolder backupConfig;
    TempFolder backupOut;
    SimulatedUnits backupUnits{std::vector<SimOptions>(4), [](std::size_t i, ControllerModel& m) {
                                   SetPanNeutral(m, static_cast<std::int16_t>(1000 + 100 * i));
                               }};
    std::optional<KestrovaRun> backup;

    ConfigFolder takes;
    ConfigFolder ignores;
    SimulatedUnits restoreUnits{{SimOptions{}, IgnoringPanNeutral()}};
    std::filesystem::path restoreFile;
    std::optional<KestrovaRun> taken;
    std::optional<KestrovaRun> ignored;

    ConfigFolder refusing;
    SimulatedUnits refusedUnit{{SimOptions{}}};
    std::filesystem::path refusedFile;
    std::optional<KestrovaRun> refused;

    ConfigFolder diffConfig;
    SimulatedUnits diffUnits{{SimOptions{}, SimOptions{}},
                             [](std::size_t, ControllerModel& m) { SetPanNeutral(m, 1000); }};
    std::optional<KestrovaRun> same;
    std::optional<KestrovaRun> other;

    ConfigFolder monitorConfig;
    SimulatedUnits monitorUnit{{SimOptions{}}};
    std::optional<KestrovaRun> monitor;

    ConfigFolder sameNameConfig;
    SimulatedUnits sameNameUnits{
        {LinkedAt(sameNameConfig / "a/unit"), LinkedAt(sameNameConfig / "b/unit")}};
    std::optional<KestrovaRun> sameName;

    SimulatedUnits silentUnits{std::vector<SimOptions>(4, Silent())};
    std::optional<KestrovaRun> silentMonitor;
    std::optional<KestrovaRun> symlinkCsv;
    std::optional<KestrovaRun> fullCsv;
    std::optional<KestrovaRun> fullOut;

    SimulatedUnits lostUnit{{UnpluggedAfter(std::chrono::milliseconds(2500))}};
    std::optional<KestrovaRun> lostMonitor;
};

class Kestrova : public ::testing::Test {
protected:
    static void SetUpTestSuite() { runs_ = new Runs(); }
    static void TearDownTestSuite() {
        delete runs_;
        runs_ = nullptr;
    }
    static Runs& R() { return *runs_; }

private:
    static Runs* runs_;
};

Runs* Kestrova::runs_ = nullptr;

TEST_F(Kestrova, BackupOfFourUnitsAtOnceHoldsEachUnitsMemory) {
    KestrovaRun& run = *R().backup;
    SimulatedUnits& units = R().backupUnits;
    const TempFolder& out = R().backupOut;
    const int code = run.Wait();
    units.Stop();
    ASSERT_EQ(code, 0) << run.Err();
    const std::string runOut = run.Out();
    // The memory map as the tag file gives it; the outputs and the heartbeat move all the time,
    // and point 2 is a link test whose reply is not stored.
    PointDatabase tags;
    TagFile tagFile;
    tagFile.LoadPoints(tags, "KESTROVA_001", KESTROVA_DATA_DIR);
    const std::regex name(R"(([0-9]+)_COM[0-9]+_1305_\d{4}-\d\d-\d\d_\d{6}\.PRM)");
    ASSERT_EQ(Lines(runOut).size(), 4u) << runOut;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string line = Lines(runOut)[i];
        const std::filesystem::path file = line.substr(line.find(": ") + 2);
        std::smatch match;
        const std::string fileName = file.filename().string();
        ASSERT_TRUE(std::regex_match(fileName, match, name)) << fileName;
        EXPECT_EQ(file.parent_path(), out.Path());
        EXPECT_EQ(match[1], std::filesystem::path(units.Device(i)).filename().string());
        const IniDocument saved(file);
        for (int point = 0; point < MaxPoints; ++point) {
            const std::string section = TagFile::PointSectionName(point);
            ASSERT_TRUE(saved.HasKey(section, "ScaledValue")) << file << " " << point;
            const PointRecord& tag = tags.PointTable()[point];
            const bool polled = (tag.Pt_Flags & (PtNetRead | PtNetReadWrite)) != 0;
            if (!polled || point == 2 || point == 5 || point % 10 == 6) continue;
            const std::int32_t memory = PointDatabase::DecodeTypedValue(
                units.Model(i).Memory().data() + tag.Address, tag.Pt_Flags);
            EXPECT_EQ(saved.ReadFloat(section, "ScaledValue", -1.0), memory)
                << file << " point " << point;
        }
        EXPECT_EQ(saved.ReadFloat("POINT00011", "ScaledValue", 0.0), 1000.0 + 100.0 * i);
    }
}

TEST_F(Kestrova, RestoreIsVerifiedOrNamesWhatTheUnitDidNotTakeOver) {
    KestrovaRun& taken = *R().taken;
    KestrovaRun& ignored = *R().ignored;
    SimulatedUnits& units = R().restoreUnits;
    EXPECT_EQ(taken.Wait(), 0) << taken.Err();
    EXPECT_EQ(ignored.Wait(), 5) << ignored.Err();
    units.Stop();

    EXPECT_EQ(units.Model(0).AxisAt(Axis::Pan).neutral, 1000);
    EXPECT_NE(taken.Out().find("* Pan neutral            2048         1000"), std::string::npos)
        << taken.Out();
    EXPECT_NE(taken.Out().find("Restore verified"), std::string::npos);
    EXPECT_NE(taken.Err().find("restore: step 17 of 17\n"), std::string::npos) << taken.Err();
    // The backup before the restore, beside the settings file, named after the unit.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(R().takes / "Backups"), {}), 1);
    const std::regex backupName(R"(\d{4}-\d\d-\d\d_\d{6}_)" +
                                std::filesystem::path(units.Device(0)).filename().string() +
                                "_before_restore\\.PRM");
    for (const auto& entry : std::filesystem::directory_iterator(R().takes / "Backups")) {
        EXPECT_TRUE(std::regex_match(entry.path().filename().string(), backupName)) << entry;
    }

    EXPECT_EQ(units.Model(1).AxisAt(Axis::Pan).neutral, 2048);
    EXPECT_NE(ignored.Err().find("kestrova: restore " +
                                 std::filesystem::path(units.Device(1)).filename().string() +
                                 ": Restore NOT verified:; Pan neutral value (point 11): file "
                                 "1000, controller 2048\n"),
              std::string::npos)
        << ignored.Err();
}

TEST_F(Kestrova, RestoreRefusesAnOutOfRangeFileAndWritesNothing) {
    KestrovaRun& run = *R().refused;
    const std::string file = R().refusedFile.string();
    EXPECT_EQ(run.Wait(), 4);
    R().refusedUnit.Stop();
    EXPECT_EQ(run.Err(), "kestrova: restore " + file + ": " + file +
                             " was not restored; nothing was written:; Pan positive adjust value "
                             "(point 10): 500 is outside 0 to 200\n");
    EXPECT_EQ(R().refusedUnit.Model(0).AxisAt(Axis::Pan).neutral, 2048);
    EXPECT_FALSE(std::filesystem::exists(R().refusing / "Backups"));
}

TEST_F(Kestrova, DiffExitsWithOneWhenAValueDiffersAndZeroWhenNone) {
    KestrovaRun& same = *R().same;
    KestrovaRun& other = *R().other;
    EXPECT_EQ(same.Wait(), 0) << same.Err() << same.Out();
    EXPECT_EQ(other.Wait(), 1) << other.Err();
    EXPECT_EQ(Lines(same.Out()).size(), 9u);
    EXPECT_EQ(same.Out().find('*'), std::string::npos);
    const std::vector<std::string> lines = Lines(other.Out());
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[3], "* Tilt neutral           unit 2010       file 2011");
    EXPECT_EQ(other.Out().find('*'), other.Out().rfind('*'));
}

TEST_F(Kestrova, MonitorWritesACsvHeaderInWordsAndARowEachSecond) {
    KestrovaRun& run = *R().monitor;
    ASSERT_EQ(run.Wait(), 0) << run.Err();
    const std::vector<std::string> lines = Lines(ReadText(R().monitorConfig / "m.csv"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "time,link,exchanges per second,good replies %,time-outs,"
              "checksum errors,error replies,"
              "Pan mode,Pan neutral,Pan positive adjust,Pan negative adjust,Pan output,"
              "Tilt mode,Tilt neutral,Tilt positive adjust,Tilt negative adjust,Tilt output,"
              "Roll mode,Roll neutral,Roll positive adjust,Roll negative adjust,Roll output");
    const std::regex row(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d,[A-Za-z ]+,\d+,[\d.]*,\d+,\d+,\d+,)"
        R"(Normal,2048,120,90,\d+,Normal,2010,60,60,\d+,Normal,2090,150,30,\d+)");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], row)) << lines[i];
    }
    EXPECT_NE(lines[3].find(",Comms Good,"), std::string::npos) << lines[3];
    EXPECT_EQ(Lines(run.Out()).size(), 3u);
}

TEST_F(Kestrova, BackupOfDevicesOfTheSameNameWritesAFileEachIntoANewFolder) {
    KestrovaRun& run = *R().sameName;
    ASSERT_EQ(run.Wait(), 0) << run.Err();
    const std::regex name(R"(unit_COM([12])_1305_\d{4}-\d\d-\d\d_\d{6}\.PRM)");
    std::set<std::string> numbers;
    for (const auto& entry :
         std::filesystem::directory_iterator(R().sameNameConfig / "new/folder")) {
        const std::string file = entry.path().filename().string();
        std::smatch match;
        EXPECT_TRUE(std::regex_match(file, match, name)) << file;
        numbers.insert(match[1]);
    }
    EXPECT_EQ(numbers.size(), 2u) << run.Out();
}

TEST_F(Kestrova, MonitorShowsNothingOfASilentUnitAndExitsWithNoReplies) {
    KestrovaRun& run = *R().silentMonitor;
    EXPECT_EQ(run.Wait(), 3);
    EXPECT_TRUE(run.Err().ends_with(": no replies\n")) << run.Err();
    const std::vector<std::string> lines = Lines(run.Out());
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines) {
        EXPECT_NE(line.find("\"Pan mode\": null, \"Pan neutral\": null, \"Pan positive adjust\": "
                            "null, \"Pan negative adjust\": null, \"Pan output\": null"),
                  std::string::npos)
            << line;
        EXPECT_EQ(line.find("2048"), std::string::npos) << line;
    }
}

TEST_F(Kestrova, MonitorForgetsTheUnitsValuesWhenItsPortIsLost) {
    KestrovaRun& run = *R().lostMonitor;
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    const std::vector<std::string> lines = Lines(run.Out());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines.front().find("\"Pan neutral\": 2048,"), std::string::npos) << lines.front();
    EXPECT_NE(lines.back().find("\"link\": \"No Comms\""), std::string::npos) << lines.back();
    EXPECT_NE(lines.back().find("\"Pan neutral\": null,"), std::string::npos) << lines.back();
}

TEST_F(Kestrova, MonitorFailsOnOutputItCannotWriteAndKeepsFilesUntilThePortOpens) {
    const TempFolder& folder = R().monitorConfig;
    const RunResult noPort =
        RunKestrova({"--config-dir", folder.Path().string(), "monitor", "--port",
                     "/nonexistent/ttyX", "--csv", (folder / "kept.csv").string()});
    EXPECT_EQ(noPort.code, 3);
    KestrovaRun& symlink = *R().symlinkCsv;
    EXPECT_EQ(symlink.Wait(), 4);
    EXPECT_EQ(symlink.Err(), "kestrova: monitor " + (folder / "link.csv").string() +
                                 ": Too many levels of symbolic links\n");
    EXPECT_EQ(ReadText(folder / "kept.csv"), "kept");
    KestrovaRun& fullCsv = *R().fullCsv;
    EXPECT_EQ(fullCsv.Wait(), 4);
    EXPECT_EQ(fullCsv.Err(), "kestrova: monitor /dev/full: No space left on device\n");
    KestrovaRun& fullOut = *R().fullOut;
    EXPECT_EQ(fullOut.Wait(), 4);
    EXPECT_EQ(fullOut.Err(), "kestrova: monitor standard output: No space left on device\n");
}

}  // namespace
}  // namespace kestrova::test
