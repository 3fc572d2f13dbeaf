// The kestrova program in runs of a test's own: interrupted, failing before any exchange, ports.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <regex>
#include <thread>

#include "cli_test_support.h"
#include "common/axis.h"

namespace kestrova::test {
namespace {

TEST(KestrovaAlone, EveryCommandStoppedBySigintExitsWith130) {
    SimulatedUnits units({SimOptions{}, Silent(), Silent()});
    ConfigFolder config;
    const std::string dir = config.Path().string();
    const std::string file = WriteCalibration(config, "1000").string();
    KestrovaRun monitor({"--config-dir", dir, "monitor", "--port", units.Device(0)});
    KestrovaRun backup({"--config-dir", dir, "backup", "--port", units.Device(1)});
    KestrovaRun diff({"--config-dir", dir, "diff", "--port", units.Device(2), file});
    for (int i = 0; i < 100 && monitor.Out().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (KestrovaRun* run : {&monitor, &backup, &diff}) {
        run->Signal(SIGINT);
        EXPECT_EQ(run->Wait(), 130) << run->Err();
    }
    EXPECT_TRUE(monitor.Err().ends_with(": stopped\n")) << monitor.Err();
}

TEST(KestrovaAlone, FailuresBeforeAnyExchangeExitWithTheirCode) {
    ConfigFolder config;
    const std::string dir = config.Path().string();
    struct Row {
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    for (const Row& row : std::vector<Row>{
             {{"--config-dir", dir, "backup", "--port", "/nonexistent/ttyX"},
              3,
              "kestrova: backup ttyX: /nonexistent/ttyX: no such device"},
             {{"--config-dir", dir, "backup", "--port", "COM41"},
              2,
              "kestrova: --port COM41: expected COM1 to COM40, 1 to 40 or a device path\n"},
             {{"--config-dir", dir, "backup", "-o", "x.PRM", "--port", "1", "--port", "2"},
              2,
              "kestrova: backup: -o FILE names the file of one port only\n"},
             {{"--config-dir", dir, "backup", "--port", "COM1", "--port", "1"},
              2,
              "kestrova: --port COM1, --port 1: the same port twice\n"},
             {{"--config-dir", dir, "backup", "--out-dir", "/dev/null/x", "--port", "1"},
              4,
              "kestrova: backup --out-dir /dev/null/x: cannot create the folder: Not a "
              "directory\n"},
             {{"--config-dir", dir, "diff", "--port", "1", "/nonexistent.PRM"},
              4,
              "kestrova: diff /nonexistent.PRM: no such file\n"},
             {{"restore"}, 2, ""},
         }) {
        const RunResult run = RunKestrova(row.args);
        EXPECT_EQ(run.code, row.code) << row.args.back() << run.err;
        EXPECT_TRUE(run.err.starts_with(row.err)) << run.err;
    }
    const RunResult full = RunKestrova({"--config-dir", dir, "ports"}, "/dev/full");
    EXPECT_EQ(full.code, 4);
    EXPECT_EQ(full.err, "kestrova: ports standard output: No space left on device\n");
}

// The stop puts every axis back in Normal, acknowledged, before the port closes.
TEST(KestrovaAlone, InterruptedRestoreSaysAfterWhichStepItStopped) {
    SimulatedUnits units({SimOptions{}});
    ConfigFolder config;
    const std::filesystem::path file = WriteCalibration(config, "1000");
    KestrovaRun run({"--config-dir", config.Path().string(), "restore", "--no-backup", "--port",
                     units.Device(0), file.string()});
    for (int i = 0; i < 100 && run.Err().find("step 2 of 17") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 130);
    const std::regex stopped(R"([\s\S]*kestrova: restore [0-9]+: stopped after step ([0-9]+) )"
                             R"(of 17; every axis is back in Normal \(acknowledged by the )"
                             R"(unit\); the unit holds part of the file\n)");
    std::smatch match;
    const std::string err = run.Err();
    ASSERT_TRUE(std::regex_match(err, match, stopped)) << err;
    EXPECT_GE(std::stoi(match[1]), 2);
    EXPECT_LT(std::stoi(match[1]), 17);
    EXPECT_FALSE(std::filesystem::exists(config / "Backups"));
    units.Stop();
    for (Axis axis : Axes) EXPECT_EQ(units.Model(0).AxisAt(axis).mode, 0) << static_cast<int>(axis);
}

TEST(KestrovaAlone, PortsListsEveryComNumberAndWhatItOpens) {
    SimulatedUnits units({SimOptions{}});
    ConfigFolder config;
    IniDocument settings(config / "Kestrova_Interface.INI");
    settings.WriteString("Ports", "COM5", units.Device(0));
    settings.WriteString("Ports", "COM6", "rfc2217://serial-1.lab:2001");
    settings.Save();
    const RunResult run = RunKestrova({"--config-dir", config.Path().string(), "ports", "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 42u);
    EXPECT_EQ(lines[5],
              "  {\"port\": \"COM5\", \"device\": \"" + units.Device(0) +
                  "\", \"node\": null, \"present\": true, \"network\": false, \"usb\": null},");
    EXPECT_EQ(lines[6],
              "  {\"port\": \"COM6\", \"device\": \"rfc2217://serial-1.lab:2001\", \"node\": null, "
              "\"present\": false, \"network\": true, \"usb\": null},");
    EXPECT_EQ(
        lines[40],
        "  {\"port\": \"COM40\", \"device\": \"/dev/ttyS39\", \"node\": null, \"present\": false, "
        "\"network\": false, \"usb\": null}");
    const RunResult text = RunKestrova({"--config-dir", config.Path().string(), "ports"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(Lines(text.out)[5], "COM6   rfc2217://serial-1.lab:2001  network");
}

}  // namespace
}  // namespace kestrova::test
