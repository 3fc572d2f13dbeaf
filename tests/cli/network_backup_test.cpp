// kestrova against units on network serial servers: four ser2net accepters at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kestrova_run.h"
#include "support/ser2net_server.h"
#include "support/temp_folder.h"

namespace kestrova::test {
namespace {

TEST(KestrovaNetwork, BacksUpFourUnitsThroughFourAcceptersAtOnce) {
    if (!Ser2netServer::Available()) GTEST_SKIP() << "ser2net is not installed";
    SimulatedUnits units{std::vector<SimOptions>(4)};
    const ConfigFolder config;
    const TempFolder servers("kestrova_ser2net");
    const TempFolder out("kestrova_net_backup");
    std::vector<std::unique_ptr<Ser2netServer>> running;
    std::vector<std::string> args{"--config-dir", config.Path().string(), "backup", "--out-dir",
                                  out.Path().string()};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::filesystem::path folder = servers / std::to_string(i);
        std::filesystem::create_directories(folder);
        running.push_back(std::make_unique<Ser2netServer>(folder, units.Device(i)));
        ASSERT_TRUE(running.back()->Start());
        // Two units through RFC 2217, two through raw TCP.
        args.push_back("--port");
        args.push_back(i % 2 == 0 ? running.back()->Rfc2217Url() : running.back()->RawUrl());
    }
    const RunResult run = RunKestrova(args);
    EXPECT_EQ(run.code, 0) << run.err;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out.Path())) {
        if (entry.path().extension() == ".PRM") ++files;
    }
    EXPECT_EQ(files, 4) << run.out;
}

}  // namespace
}  // namespace kestrova::test
