// Start-up, the system tick's rhythm, the version check and shutdown with its file writes.
#include "core_fixture.h"

#include "common/errors.h"
#include "support/internals_probe.h"

namespace kestrova::test {
namespace {

class CoreLifecycle : public CoreFixture {
protected:
    std::vector<std::string> ConfigTexts() {
        return {ReadText(SettingsPath()), ReadText(ProjectPath()), ReadText(TagPath())};
    }
    static std::size_t FileCount(const std::filesystem::path& folder) {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
        return n;
    }
    // Swaps a file for a folder of the same name, so that it cannot be written over.
    static void Block(const std::filesystem::path& file) {
        std::filesystem::remove(file);
        std::filesystem::create_directory(file);
    }
};

TEST_F(CoreLifecycle, StartupRunsItsStepsInOrder) {
    SetKey(TagPath(), "POINT00002", "RawValue", "77");
    SetKey(TagPath(), "POINT00009", "ScaledValue", "55");
    StartCore();

    // The port list's tooltips come last, one per entry.
    ASSERT_EQ(display_.calls.size(), 6u + 40u);
    EXPECT_EQ(display_.calls[6].key, "CommsSelectHint");
    EXPECT_TRUE(display_.calls[6].value.starts_with("1 " + Core().Ini().Ports.DevicePath(1)));
    EXPECT_EQ(display_.Without("CommsSelectHint"),
              (std::vector<DisplayCall>{{"DebugInfo", "Oncreate INI"},
                                        {"DebugInfo", Folder().string()},
                                        {"DebugInfo", "KESTROVA_001"},
                                        {"DebugInfo", "CORE_INIT: Pan_AxisMode"},
                                        {"CommsStatus", CommsNone},
                                        {"CommsStatus", NoCommsCaption}}));
    EXPECT_EQ(Core().StartupError(), "");
    EXPECT_EQ(State().SoftwareVersion, 1201);
    EXPECT_TRUE(State().ConfigVersionsOk);
    EXPECT_EQ(State().Comms, CommsState::None);
    EXPECT_EQ(Points().PointTable()[2].RawValue, 1201);
    EXPECT_EQ(Scaled(9), 0.0);
    EXPECT_EQ(Scaled(11), 2048.0);  // the tag file was loaded
    for (double cached : State().DisplayCache) EXPECT_EQ(cached, DisplayCacheUnset);
    EXPECT_EQ(Core().Port().LinkState(), PortLinkState::Closed);
    EXPECT_EQ(Core().Port().CurrentPort(), 1);  // from the settings file; not opened
    EXPECT_TRUE(line_.events.empty());
    EXPECT_EQ(Core().Ini().Name, "KESTROVA_001");
    EXPECT_EQ(Core().Ini().Directory, Folder().string());
}

TEST_F(CoreLifecycle, StartupShowsTheSettingsNameButLoadsThisProgramsFiles) {
    SetKey(SettingsPath(), "Application", "Name", "OTHER");
    SetKey(SettingsPath(), "Application", "Directory", "/nowhere");
    StartCore();
    EXPECT_EQ(display_.calls[2], (DisplayCall{"DebugInfo", "OTHER"}));
    EXPECT_EQ(display_.calls[3], (DisplayCall{"DebugInfo", "CORE_INIT: Pan_AxisMode"}));
    EXPECT_TRUE(Core().CheckConfigVersions());

    // Without a name in the settings file the default is shown.
    std::filesystem::remove(SettingsPath());
    display_.Clear();
    StartCore();
    EXPECT_EQ(display_.calls[2], (DisplayCall{"DebugInfo", "NoApplicationSelected"}));
    EXPECT_EQ(display_.calls[3], (DisplayCall{"DebugInfo", "CORE_INIT: Pan_AxisMode"}));
    EXPECT_FALSE(Core().CheckConfigVersions());
}

TEST_F(CoreLifecycle, SystemTickRunsTimersCountdownsAndSupervisor) {
    StartCore();
    const std::uint32_t classZeroRead = MsgReadRequest;
    InternalsProbe::PointTable(Points())[6].Msg_Flags = 0;
    InternalsProbe::PointTable(Points())[12].Msg_Flags = 0;

    // First tick: the supervisor runs and every scan timer falls due.
    Core().SystemTick();
    EXPECT_EQ(State().BlinkCounter, 9);
    EXPECT_EQ(Points().PointTable()[6].Msg_Flags & classZeroRead, classZeroRead);   // class 0
    EXPECT_EQ(Points().PointTable()[12].Msg_Flags & classZeroRead, classZeroRead);  // class 2
    EXPECT_TRUE(display_.Has("Pan_NeutralValue", "2048"));

    // The supervisor runs again on ticks 6 and 11.
    for (int tick = 2; tick <= 5; ++tick) Core().SystemTick();
    EXPECT_EQ(State().BlinkCounter, 9);
    Core().SystemTick();
    EXPECT_EQ(State().BlinkCounter, 8);
    for (int tick = 7; tick <= 11; ++tick) Core().SystemTick();
    EXPECT_EQ(State().BlinkCounter, 7);

    // Scan timer 0 has the period 10: due again on tick 12, not before.
    InternalsProbe::PointTable(Points())[6].Msg_Flags = 0;
    EXPECT_EQ(Points().PointTable()[6].Msg_Flags & classZeroRead, 0u);
    Core().SystemTick();  // tick 12
    EXPECT_EQ(Points().PointTable()[6].Msg_Flags & classZeroRead, classZeroRead);

    // Countdowns run down to 0 and stay there.
    Core().ServiceEvent("FileSave_Selected", (Folder() / "a.PRM").string());
    EXPECT_EQ(State().NotifyHoldTicks, 80);
    for (int tick = 0; tick < 30; ++tick) Core().SystemTick();
    EXPECT_EQ(State().NotifyHoldTicks, 50);
    for (int tick = 0; tick < 60; ++tick) Core().SystemTick();
    EXPECT_EQ(State().NotifyHoldTicks, 0);
    EXPECT_EQ(State().RestoreDelay, 0);
    EXPECT_EQ(State().ConnectSettleTicks, 0);
    EXPECT_EQ(State().ReplyWatchdog, 0);
}

TEST_F(CoreLifecycle, SupervisorRunCutShortByADisplayErrorRunsAgainAtTheNextTick) {
    StartCore();
    display_.hook = [](std::string_view key, std::string_view) {
        if (key == "Pan_NeutralValue") throw ConversionError("'x' is not a valid integer value");
    };
    EXPECT_THROW(Core().SystemTick(), ConversionError);
    display_.hook = nullptr;
    display_.Clear();
    Core().SystemTick();
    EXPECT_TRUE(display_.Has("TiltNeutralValue", "2048"));  // the rest of the push, at once
    EXPECT_EQ(State().SupervisorDivider, 4);
}

TEST_F(CoreLifecycle, StopWritesTheThreeFilesWhenVersionsAgree) {
    StartCore();
    Points().WritePoint(20, 42.0);
    window_.caption = "Kestrova Interface";
    Core().CoreStop();

    EXPECT_NE(ReadText(SettingsPath()).find("Caption=Kestrova Interface"), std::string::npos);
    EXPECT_NE(ReadText(SettingsPath()).find("Version=1201"), std::string::npos);
    EXPECT_NE(ReadText(ProjectPath()).find("[PointMonitor]"), std::string::npos);
    const IniDocument tags(TagPath());
    EXPECT_EQ(tags.ReadString("POINT00020", "ScaledValue", ""), "42");
    EXPECT_EQ(tags.ReadInteger("TITLE", "Version", 0), 1201);
}

TEST_F(CoreLifecycle, StopTriesEveryFileAndReportsEachFailure) {
    StartCore();
    Block(ProjectPath());
    Points().WritePoint(20, 42.0);
    try {
        Core().CoreStop();
        ADD_FAILURE() << "no FileError";
    } catch (const FileError& error) {
        // The project configuration is read back before it is written; a folder in its place
        // already fails the read.
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + ProjectPath().string());
    }
    // The files before and after the failing one were still written.
    EXPECT_EQ(IniDocument(TagPath()).ReadString("POINT00020", "ScaledValue", ""), "42");
    EXPECT_NE(ReadText(SettingsPath()).find("[Form]"), std::string::npos);

    // All three failing: one error naming them in the order they are written.
    std::filesystem::remove(ProjectPath());
    std::filesystem::copy_file(std::filesystem::path(KESTROVA_DATA_DIR) / "KESTROVA_001.CG0",
                               ProjectPath());
    StartCore();
    Block(ProjectPath());
    Block(TagPath());
    Block(SettingsPath());
    try {
        Core().SaveConfigurationFiles();
        ADD_FAILURE() << "no FileError";
    } catch (const FileError& error) {
        const std::string message = error.what();
        const std::size_t tag = message.find("Cannot create file " + TagPath().string());
        const std::size_t project = message.find("\nCannot open file " + ProjectPath().string());
        const std::size_t settings = message.find("\nCannot open file " + SettingsPath().string());
        EXPECT_EQ(tag, 0u) << message;
        EXPECT_NE(project, std::string::npos) << message;
        EXPECT_NE(settings, std::string::npos) << message;
        EXPECT_LT(project, settings) << message;
    }
}

TEST_F(CoreLifecycle, VersionMismatchLeavesEveryFileAlone) {
    SetKey(SettingsPath(), "Application", "Version", "1200");
    const std::vector<std::string> before = ConfigTexts();
    StartCore();
    EXPECT_FALSE(Core().CheckConfigVersions());
    EXPECT_FALSE(State().ConfigVersionsOk);
    Points().WritePoint(20, 42.0);
    Core().CoreStop();
    EXPECT_EQ(ConfigTexts(), before);

    // A missing project configuration is not created either.
    SetKey(SettingsPath(), "Application", "Version", "1201");
    std::filesystem::remove(ProjectPath());
    const std::string settings = ReadText(SettingsPath());
    const std::string tags = ReadText(TagPath());
    StartCore();
    EXPECT_FALSE(Core().CheckConfigVersions());
    Core().CoreStop();
    EXPECT_FALSE(std::filesystem::exists(ProjectPath()));
    EXPECT_EQ(ReadText(SettingsPath()), settings);
    EXPECT_EQ(ReadText(TagPath()), tags);
    EXPECT_EQ(FileCount(Folder()), 2u);
}

TEST_F(CoreLifecycle, BadNumberInTagFileIsKeptAndTheFileNotWrittenBack) {
    SetKey(TagPath(), "POINT00020", "ScaleMult", "abc");
    const std::string tags = ReadText(TagPath());
    StartCore();

    EXPECT_EQ(Core().StartupError(), "KESTROVA_001.TG1: 'abc' is not a valid floating point value");
    // The rest of the start-up ran.
    EXPECT_TRUE(display_.Has("CommsStatus", NoCommsCaption));
    EXPECT_EQ(Points().PointTable()[2].RawValue, 1201);
    EXPECT_EQ(Scaled(11), 2048.0);  // points before the bad one were loaded
    EXPECT_EQ(Scaled(21), 0.0);     // points after it keep their cleared values
    Core().SystemTick();
    EXPECT_TRUE(display_.Has("Pan_NeutralValue", "2048"));

    // At exit the part-loaded table is not written over the file; the others are written.
    EXPECT_TRUE(Core().CheckConfigVersions());
    Core().CoreStop();
    EXPECT_EQ(ReadText(TagPath()), tags);
    EXPECT_NE(ReadText(SettingsPath()).find("[Form]"), std::string::npos);
}

TEST_F(CoreLifecycle, BadNumberInProjectFileIsKeptAndTheFileNotWrittenBack) {
    SetKey(ProjectPath(), "PointControl", "Value000", "x1");
    SetKey(TagPath(), "POINT00020", "ScaleMult", "1..5");
    const std::string project = ReadText(ProjectPath());
    const std::string tags = ReadText(TagPath());
    StartCore();
    EXPECT_EQ(Core().StartupError(),
              "KESTROVA_001.CG0: 'x1' is not a valid floating point value\n"
              "KESTROVA_001.TG1: '1..5' is not a valid floating point value");
    EXPECT_EQ(display_.calls[3], (DisplayCall{"DebugInfo", "CORE_INIT: Pan_AxisMode"}));
    Core().CoreStop();
    EXPECT_EQ(ReadText(ProjectPath()), project);
    EXPECT_EQ(ReadText(TagPath()), tags);
    EXPECT_NE(ReadText(SettingsPath()).find("[Form]"), std::string::npos);
}

TEST_F(CoreLifecycle, UnreadableSettingsFileIsKeptAsStartupErrorAndNothingIsWritten) {
    std::filesystem::remove(SettingsPath());
    Block(SettingsPath());
    const std::string project = ReadText(ProjectPath());
    const std::string tags = ReadText(TagPath());
    StartCore();
    EXPECT_EQ(Core().StartupError(),
              "Kestrova_Interface.INI: Cannot open file " + SettingsPath().string());
    EXPECT_TRUE(display_.Has("CommsStatus", NoCommsCaption));  // the rest of the start-up ran
    EXPECT_EQ(Scaled(11), 2048.0);
    EXPECT_FALSE(Core().CheckConfigVersions());
    Core().CoreStop();
    EXPECT_EQ(ReadText(ProjectPath()), project);
    EXPECT_EQ(ReadText(TagPath()), tags);
}

TEST_F(CoreLifecycle, StopClosesAnOpenLinkBeforeWritingAnyFile) {
    StartConnected();
    RunMs(2000);
    // Mid-exchange marks that must not reach the tag file.
    InternalsProbe::PointTable(Points())[30].Msg_Flags |= MsgReadError;
    InternalsProbe::PointTable(Points())[31].Read_Idx = 5;

    bool settingsWrittenAtClose = true;
    std::string tagsAtClose;
    line_.beforeCall = [&](LineCall call) {
        if (call != LineCall::Close) return;
        settingsWrittenAtClose = ReadText(SettingsPath()).find("[Form]") != std::string::npos;
        tagsAtClose = ReadText(TagPath());
    };
    const std::string tagsBefore = ReadText(TagPath());
    Core().CoreStop();

    EXPECT_EQ(line_.events.back(), "close");
    EXPECT_FALSE(settingsWrittenAtClose);
    EXPECT_EQ(tagsAtClose, tagsBefore);
    EXPECT_EQ(Core().Port().LinkState(), PortLinkState::Closed);

    const IniDocument saved(TagPath());
    for (int point = 0; point < MaxPoints; ++point) {
        const std::string section = TagFile::PointSectionName(point);
        EXPECT_EQ(saved.ReadInteger(section, "Read_Idx", 0), -1) << point;
        EXPECT_EQ(saved.ReadInteger(section, "Write_Idx", 0), -1) << point;
        EXPECT_EQ(saved.ReadInteger(section, "Msg_Flags", 0) & 0x30000, 0) << point;
    }
    // The values read from the controller were saved.
    EXPECT_EQ(saved.ReadString("POINT00009", "ScaledValue", ""), "1305");
}

}  // namespace
}  // namespace kestrova::test
