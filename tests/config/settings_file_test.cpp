#include "common/errors.h"
#include "config_test_support.h"

namespace kestrova::testing {
namespace {

using SettingsFileTest = ConfigTest;

TEST_F(SettingsFileTest, DefaultsWithoutFile) {
    window_.top = 7;
    window_.left = 8;
    window_.maximized = true;
    KestrovaIni ini(points_, window_, Exe());
    ini.SetSettingsDefaults();
    EXPECT_TRUE(ini.ReadSettingsFile());

    EXPECT_EQ(ini.SettingsFilePath(), dir_ / "Kestrova_Interface.INI");
    EXPECT_FALSE(fs::exists(dir_ / "Kestrova_Interface.INI"));  // reading creates nothing

    EXPECT_EQ(window_.top, 100);
    EXPECT_EQ(window_.left, 100);
    EXPECT_FALSE(window_.maximized);

    EXPECT_EQ(ini.Name, "NoApplicationSelected");
    EXPECT_FALSE(ini.ApplicationSelected());
    EXPECT_EQ(ini.Directory, dir_.string());
    EXPECT_NE(ini.Directory.back(), '/');
    EXPECT_EQ(ini.DialogIn, "Kestrova_Interface.DXQ");
    EXPECT_EQ(ini.DialogOut, "Kestrova_Interface.DZU");
    EXPECT_EQ(ini.WinTimeSlice, "Default");
    EXPECT_EQ(ini.SettingsVersion(), 0);

    EXPECT_EQ(ini.RTDM, "Support");
    for (const std::string* option :
         {&ini.Modbus, &ini.DDEserver, &ini.Omron, &ini.Peerlink, &ini.DF1, &ini.Profibus,
          &ini.SiemensH1, &ini.USBmsd, &ini.USBcdc}) {
        EXPECT_EQ(*option, "No");
    }
    EXPECT_EQ(ini.Serial.Port, 7);
    EXPECT_EQ(ini.Serial.BAUD, 38400);
    EXPECT_EQ(ini.Serial.Data, 8);
    EXPECT_EQ(ini.Serial.Parity, 0);
    EXPECT_EQ(ini.Serial.Stop, 1);

    // Any other name selects an application, case matters.
    ini.Name = "noapplicationselected";
    EXPECT_TRUE(ini.ApplicationSelected());
}

TEST_F(SettingsFileTest, FileNamesFollowTheExecutable) {
    KestrovaIni ini(points_, window_, dir_ / "tool.bin");
    ini.SetSettingsDefaults();
    EXPECT_EQ(ini.SettingsFilePath(), dir_ / "tool.INI");
    EXPECT_EQ(ini.DialogIn, "tool.DXQ");
    EXPECT_EQ(ini.DialogOut, "tool.DZU");

    // A relative executable path still gives a folder to work in.
    KestrovaIni relative(points_, window_, "Kestrova_Interface");
    relative.SetSettingsDefaults();
    EXPECT_EQ(relative.Directory, fs::current_path().string());

    // The running program's own path, as the production owner passes it.
    EXPECT_EQ(ExecutablePath().filename(), "config_tests");
    EXPECT_TRUE(ExecutablePath().is_absolute());
}

TEST_F(SettingsFileTest, ReadsValuesWithAnyCaseAndKeepsDefaultsForBadOrMissingKeys) {
    WriteFile("Kestrova_Interface.INI",
              "[FORM]\r\ntop=12\r\nLEFT=-30\r\nInitMax=2\r\nCaption=ignored\r\n"
              "[application]\r\nname=KESTROVA_001\r\nWinTimeSlice=Fast\r\nVersion=1201\r\n"
              "[Communications]\r\nrtdm=No\r\nUSBcdc=Yes\r\nPort=3\r\nbaud=9600\r\n"
              "Data=eight\r\nParity=2\r\n");
    window_.caption = "Kestrova";
    KestrovaIni ini(points_, window_, Exe());
    ini.SetSettingsDefaults();
    ini.ReadSettingsFile();

    EXPECT_EQ(window_.top, 12);
    EXPECT_EQ(window_.left, -30);
    EXPECT_TRUE(window_.maximized);          // any non-zero integer
    EXPECT_EQ(window_.caption, "Kestrova");  // Caption is never read

    EXPECT_EQ(ini.Name, "KESTROVA_001");
    EXPECT_EQ(ini.WinTimeSlice, "Fast");
    EXPECT_EQ(ini.DialogIn, "Kestrova_Interface.DXQ");  // missing: default stays
    EXPECT_EQ(ini.SettingsVersion(), 1201);
    EXPECT_EQ(ini.RTDM, "No");
    EXPECT_EQ(ini.USBcdc, "Yes");
    EXPECT_EQ(ini.Modbus, "No");
    EXPECT_EQ(ini.Serial.Port, 3);
    EXPECT_EQ(ini.Serial.BAUD, 9600);
    EXPECT_EQ(ini.Serial.Data, 8);  // not an integer: default
    EXPECT_EQ(ini.Serial.Parity, 2);
    EXPECT_EQ(ini.Serial.Stop, 1);
}

TEST_F(SettingsFileTest, SaveWritesEveryKeyAndKeepsVersionPortsAndUnknownContent) {
    WriteFile("Kestrova_Interface.INI",
              "; settings\r\n[form]\r\nTOP=5\r\nExtraKey=keep me\r\n"
              "[Application]\r\nVersion=1201\r\nNAME=OTHER\r\nDirectory=C:\\X\r\n"
              "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n"
              "[Custom]\r\nAnything=at all\r\n");
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    EXPECT_EQ(ini.SettingsVersion(), 1201);

    window_.top = 40;
    window_.left = 50;
    window_.caption = "Kestrova Interface";
    window_.maximized = false;
    ini.Serial.Port = 3;
    ini.Serial.BAUD = 19200;
    EXPECT_TRUE(ini.WriteSettingsFile());

    const std::string text = ReadFile("Kestrova_Interface.INI");
    EXPECT_EQ(text.rfind("; settings\r\n[form]\r\nTOP=40\r\nExtraKey=keep me\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("Left=50\r\nCaption=Kestrova Interface\r\nInitMax=0\r\n"),
              std::string::npos);
    EXPECT_EQ(CountKey(text, "Top") + CountKey(text, "TOP"), 1);
    EXPECT_NE(text.find("Version=1201\r\nNAME=KESTROVA_001\r\nDirectory=" + dir_.string() +
                        "\r\n"
                        "DialogIn=Kestrova_Interface.DXQ\r\nDialogOut=Kestrova_Interface.DZU\r\n"
                        "WinTimeSlice=Default\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[Ports]\r\nCOM3=/dev/ttyUSB0\r\n[Custom]\r\nAnything=at all\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("[Communications]\r\nModbus=No\r\nDDEserver=No\r\nRTDM=Support\r\n"
                        "Omron=No\r\nPeerlink=No\r\nDF1=No\r\nProfibus=No\r\nSiemensH1=No\r\n"
                        "USBmsd=No\r\nUSBcdc=No\r\nPort=3\r\nBAUD=19200\r\nData=8\r\nParity=0\r\n"
                        "Stop=1\r\n"),
              std::string::npos)
        << text;

    // A fresh start reads back what was saved.
    PointDatabase points;
    PlainWindowPlacement window;
    KestrovaIni again(points, window, Exe());
    again.SetSettingsDefaults();
    again.ReadSettingsFile();
    EXPECT_EQ(window.top, 40);
    EXPECT_EQ(window.left, 50);
    EXPECT_FALSE(window.maximized);
    EXPECT_EQ(again.Name, "KESTROVA_001");
    EXPECT_EQ(again.Directory, dir_.string());
    EXPECT_EQ(again.Serial.BAUD, 19200);
    EXPECT_EQ(again.SettingsVersion(), 1201);
    EXPECT_EQ(again.Ports.DevicePath(3), "/dev/ttyUSB0");
}

TEST_F(SettingsFileTest, InitMaxFollowsTheWindowAtShutdown) {
    WriteFile("Kestrova_Interface.INI", "[Form]\r\nInitMax=1\r\n");
    KestrovaIni ini(points_, window_, Exe());
    StartUp(ini);
    EXPECT_TRUE(window_.maximized);

    ini.WriteSettingsFile();
    EXPECT_EQ(CountKey(ReadFile("Kestrova_Interface.INI"), "InitMax"), 1);
    EXPECT_NE(ReadFile("Kestrova_Interface.INI").find("InitMax=1"), std::string::npos);

    window_.maximized = false;
    ini.WriteSettingsFile();
    EXPECT_NE(ReadFile("Kestrova_Interface.INI").find("InitMax=0"), std::string::npos);
    // No Version key is ever created, nor a "Ports" section without entries.
    EXPECT_EQ(CountKey(ReadFile("Kestrova_Interface.INI"), "Version"), 0);
    EXPECT_EQ(ReadFile("Kestrova_Interface.INI").find("[Ports]"), std::string::npos);
}

TEST_F(SettingsFileTest, PortsMapComNumbersToDeviceFiles) {
    WriteFile("Kestrova_Interface.INI",
              "[Ports]\r\nCOM1=/dev/ttyUSB3\r\ncom2=pty/wheel\r\nCOM4=\r\nCOM255=/dev/last\r\n"
              "COM256=/dev/beyond\r\nCOM5=tcp://serial-1.lab:4001\r\n");
    KestrovaIni ini(points_, window_, Exe());
    ini.SetSettingsDefaults();
    EXPECT_EQ(ini.Ports.DevicePath(1), "/dev/ttyS0");  // before the file is read
    ini.ReadSettingsFile();

    EXPECT_EQ(ini.Ports.DevicePath(1), "/dev/ttyUSB3");
    EXPECT_EQ(ini.Ports.DevicePath(2), (dir_ / "pty/wheel").string());
    EXPECT_EQ(ini.Ports.DevicePath(3), "/dev/ttyS2");
    EXPECT_EQ(ini.Ports.DevicePath(4), "/dev/ttyS3");               // empty value: no mapping
    EXPECT_EQ(ini.Ports.DevicePath(5), "tcp://serial-1.lab:4001");  // no file: kept as written
    EXPECT_EQ(ini.Ports.DevicePath(7), "/dev/ttyS6");
    EXPECT_EQ(ini.Ports.DevicePath(255), "/dev/last");
    EXPECT_EQ(ini.Ports.DevicePath(256), "/dev/ttyS255");

    // The map is rebuilt by every read: a removed key falls back again.
    WriteFile("Kestrova_Interface.INI", "[Ports]\r\nCOM2=/dev/ttyACM0\r\n");
    ini.ReadSettingsFile();
    EXPECT_EQ(ini.Ports.DevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ini.Ports.DevicePath(2), "/dev/ttyACM0");
}

TEST_F(SettingsFileTest, PortTimingKeysSetWhatTheyHoldAndLeaveTheRestToTheDevice) {
    WriteFile("Kestrova_Interface.INI",
              "[Ports]\r\nCOM3=/dev/ttyUSB0\r\nCOM3.ReplyAllowanceMs=40\r\n"
              "COM3.LateReplyMs=99999\r\nCOM4.LateReplyMs=400\r\nCOM5.ReplyAllowanceMs=soon\r\n"
              "COM6.LateReplyMs=-5\r\n");
    KestrovaIni ini(points_, window_, Exe());
    ini.SetSettingsDefaults();
    ini.ReadSettingsFile();
    struct Row {
        int port;
        std::optional<std::int32_t> allowance, horizon;
    };
    for (const Row& row :
         {Row{3, 40, 10000}, Row{4, std::nullopt, 400}, Row{5, std::nullopt, std::nullopt},
          Row{6, std::nullopt, 0}, Row{7, std::nullopt, std::nullopt}}) {
        SCOPED_TRACE(row.port);
        EXPECT_EQ(ini.Ports.Timing(row.port).replyAllowanceMs, row.allowance);
        EXPECT_EQ(ini.Ports.Timing(row.port).lateReplyHorizonMs, row.horizon);
    }
    EXPECT_EQ(ini.Ports.DevicePath(4), "/dev/ttyS3");  // a timing key maps no device
}

TEST_F(SettingsFileTest, UnwritableFileThrowsFileError) {
    KestrovaIni ini(points_, window_, dir_ / "missing_folder" / "Kestrova_Interface");
    ini.SetSettingsDefaults();
    ini.ReadSettingsFile();
    EXPECT_THROW(ini.WriteSettingsFile(), FileError);
}

}  // namespace
}  // namespace kestrova::testing
