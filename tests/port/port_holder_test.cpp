// The search for a busy device's holder, over a /proc of our own making.
#include "port/port_holder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <string>

#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// Process numbers near the top of the range, so that none is this test's own.
constexpr int OtherPids = 4190000;
constexpr int HolderPid = 4194007;

// A process of the fake /proc with its name and descriptors leading to the targets.
void AddProcess(const fs::path& proc, int pid, const std::string& name, const fs::path& target,
                int descriptors) {
    const fs::path folder = proc / std::to_string(pid);
    fs::create_directories(folder / "fd");
    test::WriteText(folder / "comm", name + "\n");
    for (int fd = 0; fd < descriptors; ++fd) {
        fs::create_symlink(target, folder / "fd" / std::to_string(fd));
    }
}

// A fake /proc beside a device node of its own.
class PortHolder : public ::testing::Test {
protected:
    PortHolder() {
        test::WriteText(device, "");
        fs::create_directories(proc);
    }
    test::TempFolder folder{"port_holder"};
    const fs::path proc = folder / "proc";
    const fs::path device = folder / "ttyUSB7";
};

TEST_F(PortHolder, TheSearchKeepsToItsBudgetAmongManyDescriptors) {
    test::WriteText(proc / "locks", "");
    constexpr int Processes = 20;
    constexpr int Descriptors = 50;  // 1000 descriptors on something else
    for (int pid = OtherPids; pid < OtherPids + Processes; ++pid) {
        AddProcess(proc, pid, "other", "/dev/null", Descriptors);
    }
    // A descriptor on the device through a stable link still names the device's node.
    fs::create_symlink(device, folder / "by-id");
    AddProcess(proc, HolderPid, "minicom", device, 1);
    const std::size_t all = Processes * (Descriptors + 1) + 2 + 1;

    // Time enough for a loaded machine: here only the entries may end the search.
    const HolderSearchBudget ample{std::chrono::seconds(20), 20000};
    const HolderSearch found = FindPortHolder((folder / "by-id").string(), proc, ample);
    ASSERT_TRUE(found.holder.has_value());
    EXPECT_EQ(found.holder->name, "minicom");
    EXPECT_EQ(found.holder->pid, HolderPid);
    EXPECT_FALSE(found.holder->self);
    EXPECT_FALSE(found.exhausted);
    EXPECT_LE(found.entries, all);

    struct Row {
        HolderSearchBudget budget;
        std::size_t entriesAtMost;
    };
    const Row rows[] = {
        {{std::chrono::milliseconds(1000), 500}, 501},
        {{std::chrono::milliseconds(0), 20000}, 1},
    };
    fs::remove_all(
        proc /
        std::to_string(HolderPid));  // nobody holds it: only the budget ends the search early
    for (const Row& row : rows) {
        const HolderSearch search = FindPortHolder(device.string(), proc, row.budget);
        EXPECT_FALSE(search.holder.has_value());
        EXPECT_TRUE(search.exhausted);
        EXPECT_LE(search.entries, row.entriesAtMost);
    }
    const HolderSearch whole = FindPortHolder(device.string(), proc, ample);
    EXPECT_FALSE(whole.exhausted);
    EXPECT_EQ(whole.entries, Processes * (Descriptors + 1));
}

// The lock's owner is the holder, whoever else has the device open; waiters are not.
TEST_F(PortHolder, TheLockNamesTheHolder) {
    struct stat node {};
    ASSERT_EQ(::stat(device.c_str(), &node), 0);
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", ::major(node.st_dev), ::minor(node.st_dev),
                  static_cast<unsigned long long>(node.st_ino));
    test::WriteText(proc / "locks",
                    std::string("1: FLOCK  ADVISORY  WRITE 4194009 00:00:1 0 EOF\n") +
                        "2: -> FLOCK  ADVISORY  WRITE 4194008 " + file + " 0 EOF\n" +
                        "2: FLOCK  ADVISORY  WRITE 4194009 " + file + " 0 EOF\n");
    AddProcess(proc, 4194008, "modem-manager", device, 1);
    AddProcess(proc, 4194009, "picocom", device, 1);

    const HolderSearch search =
        FindPortHolder(device.string(), proc, {std::chrono::seconds(20), 20000});
    ASSERT_TRUE(search.holder.has_value());
    EXPECT_EQ(search.holder->name, "picocom");
    EXPECT_EQ(search.holder->pid, 4194009);
}

}  // namespace
}  // namespace kestrova
