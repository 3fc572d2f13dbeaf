// Files on Windows: the atomic save and the new-file rules of common/file_create, the folders of
// the configuration.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "common/file_create.h"
#include "config/config_folder.h"
#include "config/kestrova_ini.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

TEST(Win32Files, ReplaceWritesBytesUnchangedOverTheOldFile) {
    TempFolder folder;
    WriteText(folder / "a.INI", "old");
    ASSERT_TRUE(ReplaceFileContent(folder / "a.INI", "[A]\r\nKey=1\n"));
    EXPECT_EQ(ReadText(folder / "a.INI"), "[A]\r\nKey=1\n");  // no text-mode translation
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
}

TEST(Win32Files, ReplaceLeavesAReadOnlyFileAlone) {
    TempFolder folder;
    WriteText(folder / "a.INI", "kept");
    fs::permissions(folder / "a.INI",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(ReplaceFileContent(folder / "a.INI", "new"));
    EXPECT_EQ(ReadText(folder / "a.INI"), "kept");
    fs::permissions(folder / "a.INI", fs::perms::owner_write, fs::perm_options::add);
}

TEST(Win32Files, NewFilesNeverReplaceOne) {
    TempFolder folder;
    ASSERT_TRUE(CreateNewFile(folder / "b.PRM"));
    errno = 0;
    EXPECT_FALSE(CreateNewFile(folder / "b.PRM"));
    EXPECT_EQ(errno, EEXIST);

    WriteText(folder / "source", "values");
    EXPECT_EQ(PlaceCopy(folder / "source", folder / "b.PRM"), TemporaryFile::Placed::AlreadyThere);
    EXPECT_EQ(PlaceCopy(folder / "source", folder / "c.PRM"), TemporaryFile::Placed::Done);
    EXPECT_EQ(ReadText(folder / "c.PRM"), "values");

    TemporaryFile temporary(folder.Path());
    ASSERT_TRUE(temporary.Valid());
    EXPECT_EQ(temporary.PlaceNew(folder / "c.PRM"), TemporaryFile::Placed::AlreadyThere);
    EXPECT_EQ(ReadText(folder / "c.PRM"), "values");
}

TEST(Win32Files, ReadingWholeFiles) {
    TempFolder folder;
    std::string content;
    EXPECT_EQ(ReadRegularFile(folder / "none", true, 100, content), FileRead::Missing);
    WriteText(folder / "big", std::string(101, 'x'));
    EXPECT_EQ(ReadRegularFile(folder / "big", true, 100, content), FileRead::TooLarge);
    EXPECT_EQ(ReadRegularFile(folder.Path(), true, 100, content), FileRead::Failed);
    WriteText(folder / "small", "a\r\nb");
    ASSERT_EQ(ReadRegularFile(folder / "small", true, 100, content), FileRead::Done);
    EXPECT_EQ(content, "a\r\nb");
}

TEST(Win32Files, Utf8NamesReachTheFileSystem) {
    TempFolder folder;
    const fs::path name = folder.Path() / fs::path(u8"\u00e9t\u00e9_\u0416.PRM");
    ASSERT_TRUE(ReplaceFileContent(name, "x"));
    EXPECT_TRUE(fs::exists(folder.Path() / fs::path(L"\u00e9t\u00e9_\u0416.PRM")));
}

TEST(Win32Files, TemporaryFoldersAreNew) {
    TempFolder folder;
    const fs::path first = MakeTemporaryFolder(folder.Path(), "t.");
    const fs::path second = MakeTemporaryFolder(folder.Path(), "t.");
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
    EXPECT_TRUE(fs::is_directory(second));
}

TEST(Win32Files, ConfigurationFolders) {
    TempFolder folder;
    EXPECT_TRUE(FolderWritable(folder.Path()));
    EXPECT_FALSE(FolderWritable(folder / "missing"));
    EXPECT_EQ(UserConfigFolder({"C:\\Users\\op\\AppData\\Roaming", "C:\\Users\\op"}),
              fs::path("C:\\Users\\op\\AppData\\Roaming\\Kestrova Interface"));
    EXPECT_TRUE(UserConfigFolder({"", "C:\\Users\\op"}).empty());
    EXPECT_EQ(ExecutablePath().extension(), ".exe");
    EXPECT_TRUE(ExecutablePath().is_absolute());
}

}  // namespace
}  // namespace kestrova
