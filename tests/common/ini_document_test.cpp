#include "common/ini_document.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "common/errors.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

class IniDocumentTest : public ::testing::Test {
protected:
    fs::path File(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        test::WriteText(path, content);
        return path;
    }
    test::TempFolder folder_{"ini_test"};
    const fs::path dir_ = folder_.Path();
};

TEST_F(IniDocumentTest, ReadsWithCaseInsensitiveTrimmedNamesAndDefaults) {
    const auto path = File("a.ini",
                           "[Form]\nTop = 12 \r\n  left=abc\nFlag=2\nZero=0\nScale=0,5\nEmpty=\n"
                           "[Other]\nTop=99\n");
    const IniDocument ini(path);
    EXPECT_EQ(ini.ReadInteger("form", "TOP", 5), 12);
    EXPECT_EQ(ini.ReadInteger("Form", "Left", 5), 5);  // not an integer: the default
    EXPECT_EQ(ini.ReadString("FORM", "left", ""), "abc");
    EXPECT_TRUE(ini.ReadBool("Form", "Flag", false));
    EXPECT_FALSE(ini.ReadBool("Form", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("Form", "Left", true));  // not an integer: the default
    EXPECT_EQ(ini.ReadFloat("Form", "Scale", 1.0), 0.5);
    EXPECT_EQ(ini.ReadFloat("Form", "Missing", -66000.0), -66000.0);
    EXPECT_THROW(ini.ReadFloat("Form", "Empty", 1.0), ConversionError);
    EXPECT_EQ(ini.ReadString("Nowhere", "Top", "d"), "d");

    const IniDocument missing(dir_ / "missing.ini");
    EXPECT_EQ(missing.ReadInteger("Form", "Top", 100), 100);
}

TEST_F(IniDocumentTest, UnreadableOrOversizedFilesRaiseFileError) {
    const fs::path folder = dir_ / "folder.ini";
    fs::create_directory(folder);
    try {
        IniDocument ini(folder);
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + folder.string());
    }

    const fs::path big = dir_ / "big.ini";
    {
        std::ofstream out(big, std::ios::binary);
        const std::string line = "[S]\nk=" + std::string(1000, 'x') + "\n";
        for (std::uintmax_t written = 0; written <= IniDocument::MaxFileSize;
             written += line.size()) {
            out << line;
        }
    }
    try {
        IniDocument ini(big);
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file " + big.string() + ": larger than 16 MiB");
    }
}

TEST_F(IniDocumentTest, WritesKeepUnknownLinesSpellingAndOrder) {
    const auto path = File("b.ini",
                           "; operator note\n[Form]\nTOP=1\nUnknown = keep me \n\n[Extra]\n"
                           "junk line without equals\nx=1\n");
    IniDocument ini(path);
    ini.WriteInteger("form", "top", 42);      // replaced in place, spelling kept
    ini.WriteString("Form", "Caption", "K");  // new key at the end of its section
    ini.WriteBool("New", "Flag", true);       // new section at the end
    ini.WriteFloat("New", "Value", -0.25);
    ini.Save();
    EXPECT_EQ(test::ReadText(path),
              "; operator note\r\n[Form]\r\nTOP=42\r\nUnknown = keep me \r\nCaption=K\r\n\r\n"
              "[Extra]\r\njunk line without equals\r\nx=1\r\n[New]\r\nFlag=1\r\nValue=-0.25\r\n");

    const IniDocument again(path);
    EXPECT_EQ(again.ReadInteger("FORM", "Top", 0), 42);
    EXPECT_EQ(again.ReadString("extra", "X", ""), "1");
}

TEST_F(IniDocumentTest, DuplicateSectionsAndKeysUseTheFirst) {
    const auto path = File("c.ini", "[S]\nk=1\nk=2\n[s]\nk=3\nj=4\n");
    IniDocument ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "k", 0), 1);
    EXPECT_EQ(ini.ReadInteger("S", "j", 0), 4);  // found in the second [s]
    ini.WriteInteger("S", "k", 9);
    ini.Save();
    EXPECT_EQ(test::ReadText(path), "[S]\r\nk=9\r\nk=2\r\n[s]\r\nk=3\r\nj=4\r\n");
}

TEST_F(IniDocumentTest, FailedSaveRaisesFileErrorAndLeavesOldFileIntact) {
    const auto path = File("d.ini", "[S]\nk=1\n");
    IniDocument ini(path);
    ini.WriteString("S", "k", std::string(4096, 'x'));

    // A file size limit makes the write itself fail part-way, for root too.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    try {
        ini.Save();
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + path.string());
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(test::ReadText(path), "[S]\nk=1\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    if (::geteuid() != 0) {  // root may write into a read-only folder
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(ini.Save(), FileError);
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(test::ReadText(path), "[S]\nk=1\n");
    }
}

TEST_F(IniDocumentTest, SaveIntoMissingFolderFailsAndLeavesNoTemporaryFile) {
    IniDocument ini(dir_ / "nofolder" / "e.ini");
    ini.WriteInteger("S", "k", 1);
    EXPECT_THROW(ini.Save(), FileError);

    const auto path = File("f.ini", "[S]\nk=1\n");
    ::chmod(path.c_str(), 0444);
    IniDocument readOnly(path);
    readOnly.WriteInteger("S", "k", 2);
    EXPECT_THROW(readOnly.Save(), FileError);  // root too, who may write any file
    EXPECT_EQ(test::ReadText(path), "[S]\nk=1\n");
    ::chmod(path.c_str(), 0644);
    IniDocument ok(path);
    ok.WriteInteger("S", "k", 3);
    ok.Save();
    EXPECT_EQ(test::ReadText(path), "[S]\r\nk=3\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // permissions kept across the rename
}

}  // namespace
}  // namespace kestrova
