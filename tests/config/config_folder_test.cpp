#include "config/config_folder.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "support/temp_folder.h"

namespace kestrova::testing {
namespace {

namespace fs = std::filesystem;
using test::ModeOf;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

const FolderWritableProbe Writable = [](const fs::path&) { return true; };
const FolderWritableProbe ReadOnly = [](const fs::path&) { return false; };

TEST(ConfigFolderChoice, FollowsTheLayoutTheEnvironmentAndTheProbe) {
    const TempFolder root("kestrova-layout");
    const fs::path build = root / "build/bin";  // no shared data beside it
    const fs::path usrBin = root / "usr/bin";   // the installed layout
    const fs::path shared = root / "usr/share/kestrova-interface";
    fs::create_directories(build);
    fs::create_directories(usrBin);
    fs::create_directories(shared);
    const fs::path home = root / "home";
    const fs::path user = home / ".config/kestrova-interface";
    const fs::path xdg = root / "xdg";
    const fs::path xdgUser = xdg / "kestrova-interface";

    struct Row {
        const char* what;
        fs::path exeFolder;
        FolderEnvironment env;
        const FolderWritableProbe* probe;
        ConfigFolder expected;
    };
    const Row rows[] = {
        {"writable build folder", build, {"", home}, &Writable, {build, {}, {}}},
        {"read-only copied folder", build, {"", home}, &ReadOnly, {user, build, home}},
        {"installed, writable by root", usrBin, {"", home}, &Writable, {user, shared, home}},
        {"installed, read-only", usrBin, {"", home}, &ReadOnly, {user, shared, home}},
        {"absolute XDG home", build, {xdg.string(), home}, &ReadOnly, {xdgUser, build, home}},
        {"relative XDG home ignored", build, {"xdg", home}, &ReadOnly, {user, build, home}},
        {"no HOME: the files stay put", usrBin, {"", ""}, &ReadOnly, {usrBin, {}, {}}},
        {"XDG home, no HOME", build, {xdg.string(), ""}, &ReadOnly, {xdgUser, build, xdgUser}},
    };
    for (const Row& row : rows) {
        const ConfigFolder chosen = ChooseConfigFolder(row.exeFolder, row.env, *row.probe);
        EXPECT_EQ(chosen.folder, row.expected.folder) << row.what;
        EXPECT_EQ(chosen.defaults, row.expected.defaults) << row.what;
        EXPECT_EQ(chosen.dialogFolder, row.expected.dialogFolder) << row.what;
    }
}

// Started with neither HOME nor XDG_CONFIG_HOME, the installed program still uses the user's
// folder: the home comes from the password database.
TEST(ConfigFolderChoice, WithoutHomeThePasswordDatabaseGivesIt) {
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    const std::string passwordHome = user->pw_dir;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        ::unsetenv(name);
    }
    const FolderEnvironment environment = ProcessEnvironment();
    for (const auto& [name, value] : saved) {
        if (value) ::setenv(name, value->c_str(), 1);
    }
    EXPECT_EQ(environment.home, passwordHome);
    EXPECT_EQ(environment.xdgConfigHome, "");
}

TEST(ConfigFolderChoice, ProbeSeesAReadOnlyFolder) {
    const TempFolder folder("kestrova-probe");
    EXPECT_TRUE(FolderWritable(folder.Path()));
    EXPECT_FALSE(FolderWritable(folder / "missing"));
    // Root may write into a folder without write permission; only a read-only mount stops it.
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    fs::permissions(folder.Path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(FolderWritable(folder.Path()));
}

class DefaultsCopy : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(defaults_);
        for (std::string_view name : ConfigurationFileNames) {
            WriteText(defaults_ / name, "default " + std::string(name));
            fs::permissions(defaults_ / name, fs::perms::owner_read | fs::perms::group_read);
        }
    }

    const TempFolder root_{"kestrova-defaults"};
    const fs::path defaults_ = root_ / "share";
    const ConfigFolder config_{root_ / "user/.config/kestrova-interface", defaults_, {}};
};

TEST_F(DefaultsCopy, FirstStartCopiesEveryFileWritable) {
    CopyMissingDefaults(config_);
    for (std::string_view name : ConfigurationFileNames) {
        const fs::path copy = config_.folder / name;
        EXPECT_EQ(ReadText(copy), "default " + std::string(name));
        EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_write, fs::perms::none);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(config_.folder), fs::directory_iterator()), 3);
}

TEST_F(DefaultsCopy, KeepsTheUsersFilesAndSkipsMissingDefaults) {
    fs::create_directories(config_.folder);
    WriteText(config_.folder / "Kestrova_Interface.INI", "mine");
    fs::remove(defaults_ / "KESTROVA_001.TG1");
    CopyMissingDefaults(config_);
    EXPECT_EQ(ReadText(config_.folder / "Kestrova_Interface.INI"), "mine");
    EXPECT_EQ(ReadText(config_.folder / "KESTROVA_001.CG0"), "default KESTROVA_001.CG0");
    EXPECT_FALSE(fs::exists(config_.folder / "KESTROVA_001.TG1"));
}

TEST_F(DefaultsCopy, FilesBesideTheExecutableAreLeftAlone) {
    CopyMissingDefaults({config_.folder, {}, {}});
    EXPECT_FALSE(fs::exists(config_.folder));
}

TEST_F(DefaultsCopy, AFolderThatCannotBeMadeIsAFileError) {
    WriteText(root_ / "user", "a file where the folder should be");
    EXPECT_THROW(CopyMissingDefaults(config_), FileError);
}

// Hostile file system: the user's folder may hold what another process put there.

TEST_F(DefaultsCopy, ALinkAtAnOldTemporaryNameChangesNoOutsideFile) {
    fs::create_directories(config_.folder);
    const fs::path outside = root_ / "outside";
    WriteText(outside, "private");
    fs::permissions(outside, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(outside, config_.folder / "KESTROVA_001.CG0.new");

    CopyMissingDefaults(config_);
    EXPECT_EQ(ReadText(outside), "private");
    EXPECT_EQ(ModeOf(outside), 0600u);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(config_.folder / "KESTROVA_001.CG0")));
    EXPECT_EQ(ReadText(config_.folder / "KESTROVA_001.CG0"), "default KESTROVA_001.CG0");
}

TEST_F(DefaultsCopy, CopiesFollowTheUmask) {
    for (const auto& [mask, mode] : {std::pair<mode_t, mode_t>{077, 0600}, {022, 0644}}) {
        fs::remove_all(config_.folder);
        const test::ScopedUmask umask(mask);
        CopyMissingDefaults(config_);
        for (std::string_view name : ConfigurationFileNames) {
            EXPECT_EQ(ModeOf(config_.folder / name), mode) << name << " umask " << mask;
        }
    }
}

TEST_F(DefaultsCopy, ManyFirstStartsAtOnceAllSucceed) {
    constexpr int Rounds = 20, Starts = 8;
    std::atomic<int> failures{0};
    for (int round = 0; round < Rounds; ++round) {
        fs::remove_all(config_.folder);
        std::latch go(Starts);
        std::vector<std::thread> starts;
        for (int i = 0; i < Starts; ++i) {
            starts.emplace_back([&] {
                go.arrive_and_wait();
                try {
                    CopyMissingDefaults(config_);
                } catch (const FileError&) {
                    ++failures;
                }
            });
        }
        for (std::thread& start : starts) start.join();
        for (std::string_view name : ConfigurationFileNames) {
            EXPECT_EQ(ReadText(config_.folder / name), "default " + std::string(name));
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(config_.folder), fs::directory_iterator()),
                  3);  // no temporary file left behind
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace kestrova::testing
