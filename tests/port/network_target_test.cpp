#include "port/network_target.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(NetworkTarget, ParsesTheTwoSchemes) {
    struct Row {
        const char* text;
        bool valid;
        NetworkMode mode;
        const char* host;
        std::uint16_t port;
    };
    const Row rows[] = {
        {"rfc2217://serial-1.lab:2001", true, NetworkMode::Rfc2217, "serial-1.lab", 2001},
        {"tcp://192.168.1.20:4001", true, NetworkMode::RawTcp, "192.168.1.20", 4001},
        {"tcp://[fe80::1]:65535", true, NetworkMode::RawTcp, "fe80::1", 65535},
        {"tcp://host", false, {}, "", 0},
        {"tcp://host:0", false, {}, "", 0},
        {"tcp://host:65536", false, {}, "", 0},
        {"tcp://host:12x", false, {}, "", 0},
        {"tcp://:2001", false, {}, "", 0},
        {"tcp://[fe80::1:2001", false, {}, "", 0},
        {"tcp://a b:2001", false, {}, "", 0},
        {"udp://host:2001", false, {}, "", 0},
        {"/dev/ttyUSB0", false, {}, "", 0},
    };
    for (const Row& row : rows) {
        const auto target = ParseNetworkTarget(row.text);
        ASSERT_EQ(target.has_value(), row.valid) << row.text;
        if (!target) continue;
        EXPECT_EQ(target->mode, row.mode) << row.text;
        EXPECT_EQ(target->host, row.host) << row.text;
        EXPECT_EQ(target->port, row.port) << row.text;
    }
    EXPECT_TRUE(IsNetworkTarget("tcp://host"));
    EXPECT_FALSE(IsNetworkTarget("ttyS0"));
}

}  // namespace
}  // namespace kestrova
