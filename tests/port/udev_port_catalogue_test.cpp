#include "port/udev_port_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace kestrova {
namespace {

// Build machines have few or no serial devices and may run without udev: whatever is there is
// listed in order with a usable path, and asking for changes never waits.
TEST(UdevPortCatalogue, ScansWhatIsPresentAndNeverWaitsForChanges) {
    UdevPortCatalogue catalogue;
    const std::vector<PortInfo> ports = catalogue.Scan();
    for (const PortInfo& port : ports) {
        EXPECT_EQ(port.node.rfind("/dev/", 0), 0u) << port.node;
        EXPECT_FALSE(port.stablePath.empty()) << port.node;
        EXPECT_EQ(port.node.find("/dev/pts/"), std::string::npos) << port.node;
    }
    EXPECT_TRUE(
        std::is_sorted(ports.begin(), ports.end(),
                       [](const PortInfo& a, const PortInfo& b) { return a.node < b.node; }));

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) catalogue.Changed();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace kestrova
