#include "common/errors.h"
#include "config_test_support.h"

namespace kestrova::testing {
namespace {

using ProjectConfigTest = ConfigTest;

constexpr const char* ProjectFile = "KESTROVA_001.CG0";

TEST_F(ProjectConfigTest, DefaultsAndTables) {
    KestrovaIni ini(points_, window_, Exe());
    ini.SetSettingsDefaults();
    ini.SetProjectDefaults();

    EXPECT_EQ(ini.Project, "");
    EXPECT_EQ(ini.ProjectDir, "");
    EXPECT_FALSE(ini.AutoSymbolUpdate);
    EXPECT_FALSE(ini.AutoPointUpdate);
    EXPECT_EQ(ini.MapDelimiter, "External Symbols in Data Memory (by name):");
    EXPECT_EQ(ini.ProjectVersion(), 0);
    const std::array<std::int32_t, 16> periods = {10,   50,   100,  300,  1000, 1000, 1000, 1000,
                                                  1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000};
    EXPECT_EQ(points_.ScanPeriods(), periods);
    EXPECT_TRUE(points_.PersistantMode());
    EXPECT_EQ(ini.MonitorTop, 100);
    EXPECT_EQ(ini.MonitorLeft, 100);
    EXPECT_FALSE(ini.InitialVisibility);
    EXPECT_EQ(ini.Title, "Point Monitor");
    EXPECT_EQ(ini.TextAdvice1 + ini.TextAdvice2 + ini.MimicBackground, "");

    EXPECT_EQ(ini.SigFig[0], "#####0");
    EXPECT_EQ(ini.SigFig[5], "0");
    EXPECT_EQ(ini.SigFig[11], "0.000000");
    EXPECT_EQ(ini.SigFig[12], "###0.0");
    EXPECT_EQ(ini.SigFig[14], "#0.000");
    EXPECT_EQ(ini.SigFig[15], "0");
    EXPECT_EQ(ini.MulText[0], "Healthy");
    EXPECT_EQ(ini.MulText[4], "Rem Aut");
    EXPECT_EQ(ini.MulText[6], "ok");
    EXPECT_EQ(ini.MulText[13], "Disabld");
    EXPECT_EQ(ini.MulText[28], "------<>");
    EXPECT_EQ(ini.MulText[29], "----<>--");
    EXPECT_EQ(ini.MulText[30], "--<>----");
    EXPECT_EQ(ini.MulText[31], "<>------");
    EXPECT_EQ(ini.MulText[33], "OFF");
    for (int n = 34; n < StateTextCount; ++n) EXPECT_EQ(ini.MulText[n], "N/D") << n;

    for (const MonitorEntry& entry : ini.Monitor) {
        EXPECT_EQ(entry.Type, 0);
        EXPECT_EQ(entry.Name, "N/D");
        EXPECT_EQ(entry.Point, -1);
        EXPECT_EQ(entry.Format, 0);
        EXPECT_EQ(entry.Units, "N/D");
        for (std::int32_t st : entry.St) EXPECT_EQ(st, -1);
    }
    for (const ControlEntry& entry : ini.Control) {
        EXPECT_EQ(entry.Point, -1);
        EXPECT_EQ(entry.Name, "Write");
        EXPECT_EQ(entry.Value, 1.0);
    }

    // The fills set only their listed entries.
    ini.SigFig[15] = "x";
    ini.MulText[34] = "y";
    ini.SigFig[3] = "z";
    ini.FillDisplayFormats();
    ini.FillStateTexts();
    EXPECT_EQ(ini.SigFig[15], "x");
    EXPECT_EQ(ini.MulText[34], "y");
    EXPECT_EQ(ini.SigFig[3], "##0");
}

TEST_F(ProjectConfigTest, NothingHappensWithoutASelectedApplication) {
    WriteFile("NoApplicationSelected.CG0", "[PIC]\r\nVersion=1201\r\n");
    KestrovaIni ini(points_, window_, Exe());
    ini.SetSettingsDefaults();
    ini.SetProjectDefaults();
    ini.ReadSettingsFile();
    EXPECT_FALSE(ini.ReadProjectFile());
    EXPECT_EQ(ini.ProjectVersion(), 0);
    EXPECT_EQ(points_.ScanPeriods()[1], 50);  // start-up defaults stay
    EXPECT_FALSE(ini.WriteProjectFile());
    EXPECT_EQ(ReadFile("NoApplicationSelected.CG0"), "[PIC]\r\nVersion=1201\r\n");
}

TEST_F(ProjectConfigTest, FileWithOnlyVersionReadsRuleDefaultsAndSavesEveryKeyButVersion) {
    WriteFile(ProjectFile, "[PIC]\r\nVersion=1201\r\n");
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    EXPECT_EQ(ini.ProjectFilePath(), dir_ / ProjectFile);
    EXPECT_TRUE(ini.ReadProjectFile());

    EXPECT_EQ(ini.ProjectVersion(), 1201);
    for (int n = 0; n < ScanTimerCount; ++n) EXPECT_EQ(points_.ScanPeriods()[n], (n + 1) * 10);
    EXPECT_TRUE(points_.PersistantMode());
    for (const MonitorEntry& entry : ini.Monitor) {
        EXPECT_EQ(entry.Point, -1);
        for (std::int32_t st : entry.St) EXPECT_EQ(st, 0);  // -1 is out of range
    }

    EXPECT_TRUE(ini.WriteProjectFile());
    const std::string text = ReadFile(ProjectFile);
    EXPECT_EQ(
        text.rfind("[PIC]\r\nVersion=1201\r\nProject=\r\nProjectDir=\r\nAutoSymbolUpdate=0\r\n"
                   "AutoPointUpdate=0\r\n"
                   "MapDelimiter=External Symbols in Data Memory (by name):\r\n"
                   "[Communications]\r\nTIMPSET0=10\r\nTIMPSET1=20\r\n",
                   0),
        0u)
        << text.substr(0, 400);
    EXPECT_NE(text.find("TIMPSET15=160\r\nPersistantMode=1\r\n[PointMonitor]\r\nTop=100\r\n"
                        "Left=100\r\nInitialVisibility=0\r\nTitle=Point Monitor\r\nTextAdvice1=\r\n"
                        "TextAdvice2=\r\nMimicBackground=\r\nSigFig000=#####0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("SigFig015=0\r\nMulText000=Healthy\r\n"), std::string::npos);
    EXPECT_NE(text.find("MulText033=OFF\r\nMulText034=N/D\r\n"), std::string::npos);
    EXPECT_NE(text.find("MulText127=N/D\r\nType000=0\r\nName000=N/D\r\nPoint000=-1\r\n"
                        "Format000=0\r\nUnits000=N/D\r\nSt0000=0\r\nSt1000=0\r\nSt2000=0\r\n"
                        "St3000=0\r\nSt4000=0\r\nType001=0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("St4063=0\r\n[PointControl]\r\nPoint000=-1\r\nName000=Write\r\n"
                        "Value000=1\r\nPoint001=-1\r\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("Point015=-1\r\nName015=Write\r\nValue015=1\r\n"));
    EXPECT_EQ(CountKey(text, "Version"), 1);
    for (int n = 0; n < StateTextCount; ++n) {
        EXPECT_EQ(CountKey(text, NumberedKey("MulText", n)), 1) << n;
    }
    // Every line is a key except the four section headers: 6 PIC keys (Version included),
    // 17 Communications, 7 + 16 + 128 + 64 * 10 PointMonitor, 16 * 3 PointControl.
    int keyLines = 0;
    int lines = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line); ++lines) {
        if (line.find('=') != std::string::npos) ++keyLines;
    }
    EXPECT_EQ(lines, 4 + 6 + 17 + 7 + 16 + 128 + 640 + 48);
    EXPECT_EQ(keyLines, lines - 4);
}

TEST_F(ProjectConfigTest, MissingFileGivesRuleDefaultsAndVersionZero) {
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    EXPECT_TRUE(ini.ReadProjectFile());
    EXPECT_FALSE(fs::exists(dir_ / ProjectFile));
    EXPECT_EQ(ini.ProjectVersion(), 0);
    EXPECT_EQ(points_.ScanPeriods()[3], 40);
    EXPECT_EQ(points_.ScanPeriods()[15], 160);
    EXPECT_EQ(ini.Monitor[63].St[4], 0);
    EXPECT_EQ(ini.Title, "Point Monitor");
}

TEST_F(ProjectConfigTest, RangeRulesAndNumberedKeys) {
    WriteFile(ProjectFile,
              "[PIC]\r\nVersion=1201\r\nAutoPointUpdate=5\r\n"
              "[Communications]\r\nTIMPSET3=7\r\nTIMPSET03=99\r\ntimpset10=0\r\nTIMPSET11=x\r\n"
              "PersistantMode=0\r\n"
              "[PointMonitor]\r\nFormat005=17\r\nFormat006=16\r\nFormat007=-1\r\nFormat008=15\r\n"
              "Format009=bad\r\nSt2005=128\r\nSt2006=-1\r\nSt2007=129\r\nSt3005=127\r\n"
              "St0063=1\r\nSt4000=33\r\nName012=Pan\r\nPoint5=3\r\n"
              "[PointControl]\r\nValue012=0.25\r\nValue013=1e3\r\nValue014=0,5\r\nPoint012=17\r\n"
              "Name012=Go\r\n");
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    ASSERT_TRUE(ini.ReadProjectFile());

    EXPECT_TRUE(ini.AutoPointUpdate);
    EXPECT_EQ(points_.ScanPeriods()[3], 7);  // TIMPSET03 is a different key
    EXPECT_EQ(points_.ScanPeriods()[10], 0);
    EXPECT_EQ(points_.ScanPeriods()[11], 120);  // not an integer: the rule default
    EXPECT_FALSE(points_.PersistantMode());

    EXPECT_EQ(ini.Monitor[5].Format, 0);   // 17: out of range
    EXPECT_EQ(ini.Monitor[6].Format, 16);  // one past the table: accepted
    EXPECT_EQ(ini.Monitor[7].Format, 0);
    EXPECT_EQ(ini.Monitor[8].Format, 15);
    EXPECT_EQ(ini.Monitor[9].Format, 0);
    EXPECT_EQ(ini.Monitor[5].St[2], 128);
    EXPECT_EQ(ini.Monitor[6].St[2], 0);
    EXPECT_EQ(ini.Monitor[7].St[2], 0);
    EXPECT_EQ(ini.Monitor[5].St[3], 127);
    EXPECT_EQ(ini.Monitor[63].St[0], 1);
    EXPECT_EQ(ini.Monitor[0].St[4], 33);
    EXPECT_EQ(ini.Monitor[12].Name, "Pan");
    EXPECT_EQ(ini.Monitor[5].Point, -1);   // "Point5" is not "Point005"
    EXPECT_EQ(ini.Monitor[12].Point, -1);  // PointControl's key is another section's

    EXPECT_EQ(ini.Control[12].Value, 0.25);
    EXPECT_EQ(ini.Control[13].Value, 1000.0);
    EXPECT_EQ(ini.Control[14].Value, 0.5);
    EXPECT_EQ(ini.Control[12].Point, 17);
    EXPECT_EQ(ini.Control[12].Name, "Go");
    EXPECT_EQ(ini.Control[11].Value, 1.0);

    EXPECT_EQ(NumberedKey("St3", 5), "St3005");
    EXPECT_EQ(NumberedKey("Value", 12), "Value012");
    EXPECT_EQ(NumberedKey("MulText", 127), "MulText127");

    // Written back as read, replaced values in place of the old ones.
    ini.WriteProjectFile();
    const std::string text = ReadFile(ProjectFile);
    EXPECT_NE(text.find("TIMPSET3=7\r\nTIMPSET03=99\r\ntimpset10=0\r\nTIMPSET11=120\r\n"
                        "PersistantMode=0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Format005=0\r\nFormat006=16\r\nFormat007=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("St2005=128\r\nSt2006=0\r\nSt2007=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("Point5=3\r\n"), std::string::npos);  // unknown key kept
    EXPECT_NE(text.find("Value012=0.25\r\nValue013=1000\r\nValue014=0.5\r\n"), std::string::npos);
}

TEST_F(ProjectConfigTest, RoundTripKeepsEveryValue) {
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    ini.Project = "Wheel";
    ini.ProjectDir = "C:\\Projects\\Wheel";
    ini.AutoSymbolUpdate = true;
    ini.MapDelimiter = "Symbols:";
    points_.SetScanPeriod(0, 0);
    points_.SetScanPeriod(15, 12345);
    points_.SetPersistantMode(false);
    ini.MonitorTop = -5;
    ini.InitialVisibility = true;
    ini.TextAdvice2 = "Advice two";
    ini.SigFig[15] = "0.0";
    ini.MulText[127] = "Last";
    ini.Monitor[63] = MonitorEntry{4, "Roll", 36, 16, "deg", {1, 2, 3, 127, 128}};
    ini.Control[15] = ControlEntry{39, "Reset", -66000.0};
    ini.Control[0].Value = 0.1;
    ASSERT_TRUE(ini.WriteProjectFile());

    PointDatabase points;
    PlainWindowPlacement window;
    KestrovaIni again(points, window, Exe());
    StartUp(again);
    ASSERT_TRUE(again.ReadProjectFile());
    EXPECT_EQ(again.Project, "Wheel");
    EXPECT_EQ(again.ProjectDir, "C:\\Projects\\Wheel");
    EXPECT_TRUE(again.AutoSymbolUpdate);
    EXPECT_EQ(again.MapDelimiter, "Symbols:");
    EXPECT_EQ(points.ScanPeriods(), points_.ScanPeriods());
    EXPECT_FALSE(points.PersistantMode());
    EXPECT_EQ(again.MonitorTop, -5);
    EXPECT_TRUE(again.InitialVisibility);
    EXPECT_EQ(again.TextAdvice2, "Advice two");
    EXPECT_EQ(again.SigFig, ini.SigFig);
    EXPECT_EQ(again.MulText, ini.MulText);
    EXPECT_EQ(again.Monitor[63].Name, "Roll");
    EXPECT_EQ(again.Monitor[63].Point, 36);
    EXPECT_EQ(again.Monitor[63].Format, 16);
    EXPECT_EQ(again.Monitor[63].St, ini.Monitor[63].St);
    EXPECT_EQ(again.Monitor[0].St, (std::array<std::int32_t, 5>{0, 0, 0, 0, 0}));
    EXPECT_EQ(again.Control[15].Point, 39);
    EXPECT_EQ(again.Control[15].Name, "Reset");
    EXPECT_EQ(again.Control[15].Value, -66000.0);
    EXPECT_EQ(again.Control[0].Value, 0.1);
    EXPECT_EQ(again.ProjectVersion(), 0);  // never written
}

TEST_F(ProjectConfigTest, OtherCasedNamesAndUnknownContentSurviveASave) {
    WriteFile(ProjectFile,
              "[pic]\r\nVERSION=1201\r\nproject=Old\r\nOwner=me\r\n\r\n"
              "[pointmonitor]\r\nsigfig000=0.0\r\nMULTEXT001=Broken\r\n\r\n"
              "[Notes]\r\nLine=kept\r\n");
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    ASSERT_TRUE(ini.ReadProjectFile());
    EXPECT_EQ(ini.Project, "Old");
    EXPECT_EQ(ini.SigFig[0], "0.0");
    EXPECT_EQ(ini.MulText[1], "Broken");
    EXPECT_EQ(ini.ProjectVersion(), 1201);

    ini.Project = "New";
    ASSERT_TRUE(ini.WriteProjectFile());
    const std::string text = ReadFile(ProjectFile);
    EXPECT_EQ(text.rfind("[pic]\r\nVERSION=1201\r\nproject=New\r\nOwner=me\r\nProjectDir=\r\n", 0),
              0u)
        << text.substr(0, 200);
    EXPECT_NE(text.find("[pointmonitor]\r\nsigfig000=0.0\r\nMULTEXT001=Broken\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("[Notes]\r\nLine=kept\r\n"), std::string::npos);
    EXPECT_EQ(CountKey(text, "SigFig000"), 0);
    EXPECT_EQ(CountKey(text, "MulText001"), 0);
    EXPECT_EQ(CountKey(text, "Version"), 0);
}

TEST_F(ProjectConfigTest, PartLoadedConfigurationIsNeverWrittenBack) {
    const std::string content =
        "[PIC]\r\nVersion=1201\r\nProject=Keep\r\n"
        "[PointMonitor]\r\nTitle=Mine\r\nName010=Tilt\r\n"
        "[PointControl]\r\nValue003=1.5\r\nValue004=abc\r\nValue005=2.5\r\nName015=Keep\r\n";
    WriteFile(ProjectFile, content);
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    EXPECT_FALSE(ini.ProjectLoadFailed());
    try {
        ini.ReadProjectFile();
        ADD_FAILURE() << "a bad Value text must end the load";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid floating point value");
    }
    EXPECT_TRUE(ini.ProjectLoadFailed());
    EXPECT_EQ(ini.ProjectVersion(), 1201);  // read before the failure
    EXPECT_EQ(ini.Monitor[10].Name, "Tilt");
    EXPECT_EQ(ini.Control[3].Value, 1.5);
    EXPECT_EQ(ini.Control[4].Value, 1.0);  // the load stopped here
    EXPECT_EQ(ini.Control[5].Value, 1.0);
    EXPECT_EQ(ini.Control[15].Name, "Write");

    EXPECT_FALSE(ini.WriteProjectFile());
    EXPECT_EQ(ReadFile(ProjectFile), content);

    // Once the file reads completely, saving works again.
    WriteFile(ProjectFile, "[PIC]\r\nVersion=1201\r\n[PointControl]\r\nValue004=4\r\n");
    EXPECT_TRUE(ini.ReadProjectFile());
    EXPECT_FALSE(ini.ProjectLoadFailed());
    EXPECT_EQ(ini.Control[4].Value, 4.0);
    EXPECT_TRUE(ini.WriteProjectFile());
    EXPECT_NE(ReadFile(ProjectFile).find("Value004=4\r\n"), std::string::npos);
}

TEST_F(ProjectConfigTest, ProjectPathFromNameAndDirectory) {
    KestrovaIni ini(points_, window_, Exe());
    ini.SetSettingsDefaults();
    ini.Name = "KESTROVA_001";
    ini.Directory = dir_.string() + "/";
    EXPECT_EQ(ini.ProjectFilePath(), dir_ / ProjectFile);
    ini.Name = "Plant.old";
    ini.Directory = "/srv/cfg";
    EXPECT_EQ(ini.ProjectFilePath(), fs::path("/srv/cfg/Plant.CG0"));

    // A folder that does not exist: the save fails with a file error.
    ini.Directory = (dir_ / "missing").string();
    ini.SetProjectDefaults();
    EXPECT_TRUE(ini.ReadProjectFile());
    EXPECT_THROW(ini.WriteProjectFile(), FileError);
}

}  // namespace
}  // namespace kestrova::testing
