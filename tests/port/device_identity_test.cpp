#include "port/device_identity.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace kestrova {
namespace {

// Two names lead to one device when the system says they do, through any number of links;
// files and missing paths are never devices.
TEST(SameDeviceNode, ComparesTheDevicesTheNamesLeadTo) {
    const test::TempFolder folder("kestrova_identity");
    std::filesystem::create_symlink("/dev/null", folder / "null");
    std::filesystem::create_symlink(folder / "null", folder / "null-again");
    test::WriteText(folder / "file", "x");
    const struct {
        std::string a, b;
        bool same;
    } rows[] = {
        {"/dev/null", "/dev/null", true},
        {(folder / "null").string(), "/dev/null", true},
        {(folder / "null-again").string(), "/dev/null", true},
        {"/dev/null", "/dev/zero", false},
        {(folder / "file").string(), (folder / "file").string(), false},
        {(folder / "missing").string(), "/dev/null", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SameDeviceNode(row.a, row.b), row.same) << row.a << " / " << row.b;
    }
}

}  // namespace
}  // namespace kestrova
