// Files over 16 MiB given as settings file, project configuration, tag file or parameter file:
// each loader refuses the file with a FileError that names it, changes none of its variables,
// and never writes over the file.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>

#include "common/errors.h"
#include "config/kestrova_ini.h"
#include "core_fixture.h"
#include "points/tag_file.h"
#include "support/internals_probe.h"

namespace kestrova::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view Head = "[Application]\r\nName=HOSTILE\r\nVersion=1201\r\n";

// A file one byte over the limit: a readable head, then zeros (sparse, so cheap to make).
void MakeOversized(const fs::path& path) {
    WriteText(path, Head);
    fs::resize_file(path, IniDocument::MaxFileSize + 1);
}

// The file is still the one made above.
void ExpectUntouched(const fs::path& path) {
    EXPECT_EQ(fs::file_size(path), IniDocument::MaxFileSize + 1);
    std::ifstream in(path, std::ios::binary);
    std::string head(Head.size(), '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(head, Head);
}

template <class Action>
void ExpectRefused(const fs::path& path, Action&& action) {
    try {
        action();
        ADD_FAILURE() << "no error for " << path;
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file " + path.string() + ": larger than 16 MiB");
    }
}

class OversizedFile : public CoreFixture {};

TEST_F(OversizedFile, SettingsAndProjectFilesAreRefusedAndChangeNothing) {
    PointDatabase points;
    PlainWindowPlacement window;
    KestrovaIni ini(points, window, ExePath());
    ini.SetSettingsDefaults();
    ini.SetProjectDefaults();
    ini.Name = "KESTROVA_001";
    ini.Serial.Port = 9;
    window.top = 11;
    window.maximized = true;
    ini.Title = "Mine";
    ini.Control[3].Value = 2.5;
    points.SetScanPeriod(0, 77);
    points.SetPersistantMode(false);

    MakeOversized(SettingsPath());
    ExpectRefused(SettingsPath(), [&] { ini.ReadSettingsFile(); });
    EXPECT_EQ(ini.Name, "KESTROVA_001");
    EXPECT_EQ(ini.Serial.Port, 9);
    EXPECT_EQ(ini.Serial.BAUD, 38400);
    EXPECT_EQ(window.top, 11);
    EXPECT_TRUE(window.maximized);
    EXPECT_EQ(ini.SettingsVersion(), 0);
    // Saving over it is refused too: the file is never replaced by one it was not read from.
    ExpectRefused(SettingsPath(), [&] { ini.WriteSettingsFile(); });
    ExpectUntouched(SettingsPath());

    MakeOversized(ProjectPath());
    ExpectRefused(ProjectPath(), [&] { ini.ReadProjectFile(); });
    EXPECT_EQ(ini.Title, "Mine");
    EXPECT_EQ(ini.Control[3].Value, 2.5);
    EXPECT_EQ(points.ScanPeriods()[0], 77);
    EXPECT_FALSE(points.PersistantMode());
    EXPECT_EQ(ini.ProjectVersion(), 0);
    EXPECT_TRUE(ini.ProjectLoadFailed());  // so the exit writes nothing over it
    EXPECT_FALSE(ini.WriteProjectFile());
    ExpectUntouched(ProjectPath());
}

TEST_F(OversizedFile, TagFileIsRefusedAndNeverWritten) {
    MakeOversized(TagPath());
    PointDatabase db;
    db.ClearPoint(7);
    db.SetPointName(7, "Seven");
    InternalsProbe::PointTable(db)[7].ScaledValue = 12.5;
    InternalsProbe::PointTable(db)[7].RawValue = 3;
    TagFile tags;
    tags.TagFileVersion = 5;

    // Opening alone touches no point.
    ExpectRefused(TagPath(), [&] { tags.OpenTagFile("KESTROVA_001", Folder()); });
    EXPECT_FALSE(tags.IsOpen());
    EXPECT_FALSE(tags.ReadTagFile(db));
    EXPECT_EQ(db.PointName(7), "Seven");
    EXPECT_EQ(db.PointTable()[7].ScaledValue, 12.5);
    EXPECT_EQ(tags.TagFileVersion, 5);

    // The start-up load clears the table first, as it always does, and then stops: the table
    // holds the cleared points, as for a missing file, and the version stays as it was.
    ExpectRefused(TagPath(), [&] { tags.LoadPoints(db, "KESTROVA_001", Folder()); });
    EXPECT_EQ(db.PointName(7), "");
    EXPECT_EQ(db.PointTable()[7].ScaleMult, 1.0);
    EXPECT_EQ(tags.TagFileVersion, 5);
    EXPECT_FALSE(tags.SavePoints(db, "KESTROVA_001"));
    ExpectUntouched(TagPath());
}

TEST_F(OversizedFile, ParameterFileIsRefusedAndStartsNoRestore) {
    StartCore();
    auto& table = InternalsProbe::PointTable(Points());
    for (int n = 0; n < MaxPoints; ++n) table[n].ScaledValue = n * 1.5;
    Core().SaveParameterFile(Folder() / "good.PRM");  // the buffer now holds n * 1.5
    const CoreState before = State();
    const fs::path big = Folder() / "big.PRM";
    MakeOversized(big);

    ExpectRefused(big, [&] { Core().LoadParameterFile(big); });
    display_.Clear();
    ExpectRefused(big, [&] { Core().ServiceEvent("FileOpen_Selected", big.string()); });
    EXPECT_EQ(State().CalibrationBuffer, before.CalibrationBuffer);
    EXPECT_EQ(State().RestoreStepNumber, 0u);
    EXPECT_EQ(State().RestoreDelay, before.RestoreDelay);
    EXPECT_EQ(State().NotifyPending, before.NotifyPending);
    EXPECT_TRUE(display_.calls.empty());  // not even the trace line of the event
    RunSystemTicks(50);
    EXPECT_EQ(State().RestoreStepNumber, 0u);
    EXPECT_EQ(display_.Count("ShowNotification", Restoring), 0u);

    // A save onto it is refused as well and leaves it as it is.
    ExpectRefused(big, [&] { Core().ServiceEvent("FileSave_Selected", big.string()); });
    ExpectUntouched(big);
}

TEST_F(OversizedFile, AtStartUpTheRefusalIsShownAndNothingIsWrittenAtExit) {
    MakeOversized(TagPath());
    const std::string settings = ReadText(SettingsPath());
    StartCore();
    EXPECT_NE(Core().StartupError().find("KESTROVA_001.TG1: Cannot open file " +
                                         TagPath().string() + ": larger than 16 MiB"),
              std::string_view::npos);
    EXPECT_FALSE(Core().CheckConfigVersions());
    Core().CoreStop();
    ExpectUntouched(TagPath());
    EXPECT_EQ(ReadText(SettingsPath()), settings);
}

}  // namespace
}  // namespace kestrova::test
