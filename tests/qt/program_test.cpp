// The real program from end to end: Kestrova_Interface and its three configuration files in a
// fresh folder, kestrova-sim on the port that COM 1 maps to, and the operator driver plugin
// picking COM 1, waiting for "Comms Good" and choosing File > Exit.
#include <gtest/gtest.h>

#include <QImage>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/spawn.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using kestrova::test::ReadText;
using kestrova::test::Spawn;
using kestrova::test::TempFolder;
using kestrova::test::WaitForExit;
using kestrova::test::WriteText;

// The program and copies of the shipped configuration files in a fresh folder, COM 1 mapped to
// the simulator's link there, the tag file with an older update stamp (and, if asked, another
// version), so that its stamp after the run shows whether it was written.
::testing::AssertionResult Install(const fs::path& folder, const std::string& tagVersion = "1201") {
    fs::copy_file(KESTROVA_PROGRAM, folder / "Kestrova_Interface");
    for (const char* name : {"KESTROVA_001.TG1", "KESTROVA_001.CG0", "Kestrova_Interface.INI"}) {
        fs::copy_file(fs::path(KESTROVA_DATA_DIR) / name, folder / name);
    }
    // The shipped settings leave every COM number on its real port; COM 1 of this folder is
    // the simulator's link.
    const std::string settings = ReadText(folder / "Kestrova_Interface.INI");
    if (settings.find("[Ports]") != std::string::npos) {
        return ::testing::AssertionFailure() << "the shipped settings file has a [Ports] section";
    }
    WriteText(folder / "Kestrova_Interface.INI",
              settings + "\r\n[Ports]\r\nCOM1=kestrova-sim.link\r\n");
    std::string tags = ReadText(folder / "KESTROVA_001.TG1");
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"Update=2017-03-29", "Update=2000-01-01"},
          {"Version=1201", "Version=" + tagVersion}}) {
        const std::size_t at = tags.find(from);
        if (at == std::string::npos) return ::testing::AssertionFailure() << "no " << from;
        tags.replace(at, from.size(), to);
    }
    WriteText(folder / "KESTROVA_001.TG1", tags);
    return ::testing::AssertionSuccess();
}

TEST(Program, PicksComOneReachesCommsGoodAndSavesItsFilesAtExit) {
    const TempFolder folder("kestrova-program");
    ASSERT_FALSE(folder.Path().empty());
    const fs::path program = folder.Path() / "Kestrova_Interface";
    ASSERT_TRUE(Install(folder.Path()));
    ASSERT_NE(ReadText(folder.Path() / "Kestrova_Interface.INI").find("COM1=kestrova-sim.link"),
              std::string::npos);

    const fs::path link = folder.Path() / "kestrova-sim.link";
    const pid_t sim = Spawn({KESTROVA_SIM, "--link", link.string()}, folder.Path() / "sim.log");
    ASSERT_GT(sim, 0);
    for (int i = 0; i < 250 && !fs::is_symlink(link); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fs::is_symlink(link)) << ReadText(folder.Path() / "sim.log");

    const fs::path picture = folder.Path() / "dashboard.png";
    const fs::path log = folder.Path() / "driver.log";
    const pid_t ui = Spawn({program.string(), "-plugin", "kestrova-driver:" + picture.string()},
                           log, {std::string("QT_PLUGIN_PATH=") + KESTROVA_PLUGIN_DIR});
    ASSERT_GT(ui, 0);
    const int status = WaitForExit(ui, std::chrono::seconds(90));
    kill(sim, SIGTERM);
    WaitForExit(sim, std::chrono::seconds(10));

    const std::string report = ReadText(log);
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find("kestrova-driver: picked COM 1"), std::string::npos) << report;
    EXPECT_NE(report.find("kestrova-driver: Comms Good"), std::string::npos) << report;
    EXPECT_NE(report.find("kestrova-driver: done"), std::string::npos) << report;
    EXPECT_EQ(report.find("FAILED"), std::string::npos) << report;

    // The settings file takes the window's caption and state back at exit.
    const std::string settings = ReadText(folder.Path() / "Kestrova_Interface.INI");
    EXPECT_NE(settings.find("Caption=Tessaline Kestrova Wheels Software"), std::string::npos)
        << settings;
    EXPECT_NE(settings.find("COM1=kestrova-sim.link"), std::string::npos) << settings;

    const std::string saved = ReadText(folder.Path() / "KESTROVA_001.TG1");
    EXPECT_NE(saved.find("Update=2017-03-29"), std::string::npos);
    EXPECT_EQ(saved.find("Update=2000-01-01"), std::string::npos);

    // The window's client area: 1000 by 600 outside, less the frame the platform draws.
    const QImage image(QString::fromStdString(picture.string()));
    EXPECT_GE(image.width(), 980);
    EXPECT_LE(image.width(), 1000);
    EXPECT_GE(image.height(), 560);
    EXPECT_LE(image.height(), 600);
}

TEST(Program, AWrongTagFileVersionIsReportedAndNothingIsWritten) {
    const TempFolder folder("kestrova-program");
    ASSERT_FALSE(folder.Path().empty());
    ASSERT_TRUE(Install(folder.Path(), "1200"));
    std::vector<std::string> before;
    for (const char* name : {"KESTROVA_001.TG1", "KESTROVA_001.CG0", "Kestrova_Interface.INI"}) {
        before.push_back(ReadText(folder.Path() / name));
    }

    const fs::path log = folder.Path() / "driver.log";
    const pid_t ui = Spawn({(folder.Path() / "Kestrova_Interface").string(), "-plugin",
                            "kestrova-driver:config-error"},
                           log, {std::string("QT_PLUGIN_PATH=") + KESTROVA_PLUGIN_DIR});
    ASSERT_GT(ui, 0);
    const int status = WaitForExit(ui, std::chrono::seconds(60));
    const std::string report = ReadText(log);
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find("kestrova-driver: shows KESTROVA_001.TG1 is incorrect"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("INI is incorrect"), std::string::npos) << report;
    EXPECT_EQ(report.find("CG0 is incorrect"), std::string::npos) << report;
    EXPECT_NE(report.find("kestrova-driver: done"), std::string::npos) << report;

    std::size_t i = 0;
    for (const char* name : {"KESTROVA_001.TG1", "KESTROVA_001.CG0", "Kestrova_Interface.INI"}) {
        EXPECT_EQ(ReadText(folder.Path() / name), before[i++]) << name << " was written";
    }
}

}  // namespace
