// Saving into folders other users may write to: what another process put at a name (a symbolic
// link to a private file, a dangling link, a FIFO) is never read, written, truncated or given
// the mode of; new files follow the umask.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/errors.h"
#include "common/file_create.h"
#include "common/ini_document.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using test::ModeOf;
using test::ReadText;

class HostileFolder : public ::testing::Test {
protected:
    // Another user's private file, outside the folder the program saves into.
    HostileFolder() {
        test::WriteText(outside_, "[Secret]\nkey=private\n");
        fs::permissions(outside_, fs::perms::owner_read | fs::perms::owner_write);
    }
    void ExpectOutsideUntouched() const {
        EXPECT_EQ(ReadText(outside_), "[Secret]\nkey=private\n");
        EXPECT_EQ(ModeOf(outside_), 0600u);
    }
    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    test::TempFolder folder_{"hostile_folder"};
    test::TempFolder elsewhere_{"hostile_outside"};
    const fs::path dir_ = folder_.Path();
    const fs::path outside_ = elsewhere_ / "private";
    const test::ScopedUmask umask_{022};
};

TEST_F(HostileFolder, ALinkAtTheSavedNameIsReplacedItselfAndNeverRead) {
    struct Row {
        const char* what;
        bool dangling;
        IniDocument::Link link;
        const char* saved;
    };
    const Row rows[] = {
        {"link to a private file, saved as a new file", false, IniDocument::Link::Ignore,
         "[S]\r\nk=1\r\n"},
        {"dangling link", true, IniDocument::Link::Ignore, "[S]\r\nk=1\r\n"},
        // The user's own configuration file may be a link; it is read, but the saved file takes
        // the place of the link and not the mode of the file behind it.
        {"link followed when read", false, IniDocument::Link::Follow,
         "[Secret]\r\nkey=private\r\n[S]\r\nk=1\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        folder_.Clear();
        const fs::path target = dir_ / "saved.PRM";
        const fs::path linkTo = row.dangling ? elsewhere_ / "missing" : outside_;
        fs::create_symlink(linkTo, target);

        IniDocument document(target, row.link);
        document.WriteInteger("S", "k", 1);
        document.Save();

        ExpectOutsideUntouched();
        EXPECT_FALSE(fs::exists(elsewhere_ / "missing"));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
        EXPECT_EQ(ReadText(target), row.saved);
        EXPECT_EQ(ModeOf(target), 0644u);
        EXPECT_EQ(FilesInFolder(), 1u);  // no temporary file left
    }
}

TEST_F(HostileFolder, NewFilesFollowTheUmaskAndFilesKeepTheirMode) {
    struct Row {
        mode_t umask;
        mode_t existing;  // 0: no file there yet
        mode_t saved;
    };
    for (const Row row : {Row{077, 0, 0600}, Row{022, 0, 0644}, Row{002, 0, 0664},
                          Row{077, 0640, 0640}, Row{022, 0604, 0604}}) {
        SCOPED_TRACE(testing::Message() << std::oct << row.umask << " " << row.existing);
        folder_.Clear();
        const fs::path target = dir_ / "file.INI";
        if (row.existing != 0) {
            test::WriteText(target, "[S]\n");
            ::chmod(target.c_str(), row.existing);
        }
        const test::ScopedUmask umask(row.umask);
        IniDocument document(target);
        document.WriteInteger("S", "k", 1);
        document.Save();
        EXPECT_EQ(ModeOf(target), row.saved);
    }
}

TEST_F(HostileFolder, TheLongestFileNameCanBeSaved) {
    const fs::path target = dir_ / (std::string(251, 'n') + ".PRM");  // NAME_MAX, 255 bytes
    IniDocument document(target);
    document.WriteInteger("S", "k", 1);
    document.Save();
    EXPECT_EQ(ReadText(target), "[S]\r\nk=1\r\n");
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(HostileFolder, AnOutputFileIsNeverOpenedThroughALinkOrAFifo) {
    const fs::path target = dir_ / "out.csv";
    std::ofstream out;

    fs::create_symlink(outside_, target);
    EXPECT_FALSE(OpenOutput(out, target));
    fs::remove(target);
    fs::create_symlink(elsewhere_ / "missing", target);
    EXPECT_FALSE(OpenOutput(out, target));
    EXPECT_FALSE(fs::exists(elsewhere_ / "missing"));
    fs::remove(target);
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    EXPECT_FALSE(OpenOutput(out, target));  // refused at once, without a reader
    fs::remove(target);
    ExpectOutsideUntouched();

    // A new file follows the umask; an existing one is emptied and keeps its mode.
    ASSERT_TRUE(OpenOutput(out, target));
    out << "first";
    out.close();
    EXPECT_EQ(ModeOf(target), 0644u);
    ::chmod(target.c_str(), 0600);
    ASSERT_TRUE(OpenOutput(out, target));
    out << "new";
    out.close();
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_EQ(ModeOf(target), 0600u);
}

}  // namespace
}  // namespace kestrova
