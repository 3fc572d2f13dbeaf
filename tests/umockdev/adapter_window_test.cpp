// The window over an emulated FT232R: the real program under Xvfb, worked by the operator driver
// plugin, sees the adapter plugged in (its tooltip in the port list), talks to the simulator
// behind it, loses it when it is pulled out and takes it up again when it comes back.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/spawn.h"
#include "support/temp_folder.h"
#include "testbed.h"

namespace kestrova::test {
namespace {

namespace fs = std::filesystem;

// Waits until the log holds text; false when it does not within the limit.
bool LogShows(const fs::path& log, const std::string& text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ReadText(log).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The adapter plugged in on node, with kestrova-sim answering behind it.
pid_t PlugServed(Testbed& testbed, const std::string& description, const std::string& node,
                 const fs::path& log) {
    testbed.Plug(description);
    testbed.PassIoctlsThrough(description);
    const fs::path link = testbed.Emulated(node);
    const pid_t sim = Spawn({KESTROVA_SIM, "--link", link.string()}, log);
    for (int i = 0; i < 250 && fs::read_symlink(link).string().starts_with("/dev/pts/0"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return sim;
}

TEST(EmulatedAdapterWindow, ShowsThePluggedAdapterAndFollowsItOutAndBack) {
    const TempFolder folder("kestrova_umockdev_window");
    fs::copy_file(KESTROVA_WINDOW_PROGRAM, folder / "Kestrova_Interface");
    for (const char* name : {"KESTROVA_001.TG1", "KESTROVA_001.CG0", "Kestrova_Interface.INI"}) {
        fs::copy_file(fs::path(KESTROVA_DATA_DIR) / name, folder / name);
    }
    Testbed testbed;
    const std::string ft232r = Description("ft232r");

    const fs::path log = folder / "driver.log";
    const fs::path picture = folder / "dashboard.png";
    const pid_t ui =
        Spawn({"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1280x800x24",
               (folder / "Kestrova_Interface").string(), "-plugin",
               "kestrova-driver:" + picture.string()},
              log,
              {std::string("QT_PLUGIN_PATH=") + KESTROVA_PLUGIN_DIR, "QT_QPA_PLATFORM=xcb",
               "KESTROVA_DRIVER_PORT=3", "KESTROVA_DRIVER_REPLUG=1"});
    ASSERT_GT(ui, 0);
    ASSERT_TRUE(LogShows(log, "waiting for an adapter on COM 3", std::chrono::seconds(60)))
        << ReadText(log);

    pid_t sim = PlugServed(testbed, ft232r, "/dev/ttyUSB0", folder / "sim.log");
    EXPECT_TRUE(LogShows(log, "kestrova-driver: Comms Good", std::chrono::seconds(60)))
        << ReadText(log);

    kill(sim, SIGTERM);  // the simulator's terminal hangs up as the adapter goes
    WaitForExit(sim, std::chrono::seconds(10));
    testbed.Pull(ft232r);
    EXPECT_TRUE(LogShows(log, "kestrova-driver: Port Lost", std::chrono::seconds(30)))
        << ReadText(log);

    // Back, under the next node the kernel hands out; its by-id link is the same.
    sim = PlugServed(testbed, OnNode(ft232r, 0, 1), "/dev/ttyUSB1", folder / "sim2.log");
    const int status = WaitForExit(ui, std::chrono::seconds(90));
    kill(sim, SIGTERM);
    WaitForExit(sim, std::chrono::seconds(10));

    const std::string report = ReadText(log);
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find("kestrova-driver: COM 3 tooltip: <p>/dev/serial/by-id/"
                          "usb-FTDI_FT232R_USB_UART_A10KZP2Q-if00-port0 \u2014 FT232R USB UART "
                          "(FTDI), present</p>"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("kestrova-driver: Comms Good again"), std::string::npos) << report;
    EXPECT_NE(report.find("kestrova-driver: done"), std::string::npos) << report;
    EXPECT_EQ(report.find("FAILED"), std::string::npos) << report;
    EXPECT_TRUE(fs::exists(folder / "dashboard-tooltip.png"));
    if (const char* keep = std::getenv("KESTROVA_KEEP_PICTURE")) {
        fs::copy_file(folder / "dashboard-tooltip.png", keep, fs::copy_options::overwrite_existing);
    }
}

}  // namespace
}  // namespace kestrova::test
