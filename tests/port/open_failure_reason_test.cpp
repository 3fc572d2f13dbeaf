#include "port/open_failure_reason.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "port/posix_serial_line.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

TEST(OpenFailureReason, EachFailureNamesItsProblem) {
    test::TempFolder folder("open_failure");
    const std::string file = (folder / "device").string();
    test::WriteText(file, "");
    struct Case {
        OpenFailure failure;
        OpenProblem problem;
        const char* text;  // after "<path>: "
    };
    const Case cases[] = {
        {OpenFailureFromErrno(ENOTTY), OpenProblem::NoDevice, "not a serial device"},
        {OpenFailureFromErrno(EBUSY), OpenProblem::InUse, "in use by another program"},
        {OpenFailureFromErrno(EWOULDBLOCK), OpenProblem::InUse, "in use by another program"},
        {OpenFailureFromErrno(EIO), OpenProblem::NotResponding,
         "I/O error, the device does not respond"},
        {OpenFailure::BaudRateNotSupported, OpenProblem::SettingsRefused,
         "the device refuses the line settings (Baud Rate Not Supported)"},
        {OpenFailure::ByteSizeInvalid, OpenProblem::SettingsRefused,
         "the device refuses the line settings (Byte Size Invalid)"},
        {OpenFailureFromErrno(EINVAL), OpenProblem::SettingsRefused,
         "the device refuses the line settings (Default Parameters In Error)"},
        {OpenFailureFromErrno(ENOMEM), OpenProblem::Other, "Function Cannot Allocate Queues"},
        {OpenFailureFromErrno(EROFS), OpenProblem::Other, "Read-only file system"},
    };
    for (const Case& c : cases) {
        const OpenFailureReason reason = ExplainOpenFailure(c.failure, file);
        EXPECT_EQ(reason.problem, c.problem) << c.text;
        EXPECT_EQ(reason.text, file + ": " + c.text);
        EXPECT_EQ(reason.OperatorCanFix(), c.problem == OpenProblem::InUse);
    }
    const OpenFailureReason missing =
        ExplainOpenFailure(OpenFailureFromErrno(ENOENT), (folder / "none").string());
    EXPECT_EQ(missing.problem, OpenProblem::NoDevice);
    EXPECT_EQ(missing.text, (folder / "none").string() + ": no such device");
    EXPECT_EQ(ExplainOpenFailure(OpenFailure::DeviceInvalid, "tcp://host").text,
              "tcp://host: not a network address (rfc2217://HOST:PORT or tcp://HOST:PORT)");
}

// The group is named as the fix only where its permission bits let it read and write.
TEST(OpenFailureReason, PermissionDeniedNamesTheGroupOnlyWhereItGivesAccess) {
    test::TempFolder folder("open_failure");
    const std::string file = (folder / "device").string();
    test::WriteText(file, "");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    const std::string group = owner != nullptr ? owner->gr_name : std::to_string(st.st_gid);
    const passwd* user = ::getpwuid(st.st_uid);
    const std::string name = user != nullptr ? user->pw_name : std::to_string(st.st_uid);
    const std::string joinGroup = "; the device belongs to group " + group +
                                  " - add your user to group " + group + ": sudo usermod -aG " +
                                  group + " $USER, then log in again";
    const std::string ownerOnly = "; only its owner (" + name + ") may open it";

    struct Row {
        mode_t mode;
        const std::string& advice;
    };
    const Row rows[] = {
        {0660, joinGroup}, {0670, joinGroup}, {0600, ownerOnly},
        {0640, ownerOnly}, {0620, ownerOnly}, {0606, ownerOnly},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(::chmod(file.c_str(), row.mode), 0);
        for (int err : {EACCES, EPERM}) {
            const OpenFailureReason reason = ExplainOpenFailure(OpenFailureFromErrno(err), file);
            EXPECT_EQ(reason.problem, OpenProblem::PermissionDenied);
            EXPECT_TRUE(reason.OperatorCanFix());
            EXPECT_EQ(reason.text, file + ": permission denied" + row.advice)
                << std::oct << row.mode;
        }
    }
}

TEST(OpenFailureReason, InUseNamesTheProgramHoldingTheDeviceOrThisOne) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);

    // The child holds the slave (inherited) under a name of its own until released.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::prctl(PR_SET_NAME, "kestrova-holder");
        ::close(release[1]);
        char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        (void)!::read(release[0], &byte, 1);
        ::_exit(0);
    }
    ::close(release[0]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    const OpenFailureReason reason = ExplainOpenFailure(OpenFailure::AlreadyOpen, name);
    EXPECT_EQ(reason.problem, OpenProblem::InUse);
    EXPECT_EQ(reason.text, std::string(name) + ": in use by another program: kestrova-holder " +
                               "(process " + std::to_string(child) + ")");

    // The lock tells the holder among several openers: here, this very process.
    const std::string self = std::string(name) + ": already open in this program";
    ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ExplainOpenFailure(OpenFailure::AlreadyOpen, name).text, self);

    ::close(release[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::flock(slave, LOCK_UN);
    EXPECT_EQ(ExplainOpenFailure(OpenFailure::AlreadyOpen, name).text, self);
    for (int fd : {ready[0], ready[1], master, slave}) ::close(fd);
}

}  // namespace
}  // namespace kestrova
