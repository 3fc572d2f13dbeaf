#include "sim/pty_simulator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "support/temp_folder.h"

extern char** environ;

namespace kestrova {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes ReadVector{0x24, 0x6D, 0x50, 0x0A, 0x00, 0x00, 0x02, 0x00, 0x23, 0xD6, 0xF6};
const Bytes WriteVector{0x24, 0x4D, 0x50, 0x0A, 0x00, 0x00, 0x02,
                        0x00, 0xF4, 0x01, 0x23, 0x2F, 0x3D};
const Bytes WriteOk{0x2B, 0x24, 0x4F, 0x4B, 0x23, 0x4C, 0x08};
const Bytes Read500{0x2B, 0x24, 0xF4, 0x01, 0x23, 0x0B, 0x4D};

// The utility's side of the line: the device opened raw and non-blocking.
int OpenClient(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// Reads until want bytes arrived or the time is up; pump runs the simulator in between.
Bytes ReadReply(int fd, std::size_t want, int timeoutMs, const std::function<void()>& pump) {
    Bytes got;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want && Clock::now() < end) {
        if (pump) {
            pump();
        } else {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 5);
        }
        std::uint8_t buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
        }
    }
    return got;
}

bool Send(int fd, const Bytes& bytes) {
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

TEST(PtySimulator, ServesRequestsOnItsTerminal) {
    test::TempFolder dir("ksim");
    const std::string link = (dir / "com7").string();
    SimOptions options;
    options.linkPath = link;
    PtySimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.DevicePath());
    auto pump = [&] { sim.Poll(2); };

    int fd = OpenClient(link);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(Send(fd, WriteVector));
    EXPECT_EQ(ReadReply(fd, 7, 1000, pump), WriteOk);
    ASSERT_TRUE(Send(fd, ReadVector));
    EXPECT_EQ(ReadReply(fd, 7, 1000, pump), Read500);

    // A client that goes away and comes back finds the line still up.
    close(fd);
    for (int i = 0; i < 5; ++i) {
        sim.Poll(1);
    }
    fd = OpenClient(link);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(Send(fd, ReadVector));
    EXPECT_EQ(ReadReply(fd, 7, 1000, pump), Read500);

    // Silent: the request is swallowed; answering again, the next one gets its reply.
    sim.SetSilent(true);
    ASSERT_TRUE(Send(fd, ReadVector));
    EXPECT_TRUE(ReadReply(fd, 7, 100, pump).empty());
    sim.SetSilent(false);
    ASSERT_TRUE(Send(fd, ReadVector));
    EXPECT_EQ(ReadReply(fd, 7, 1000, pump), Read500);
    EXPECT_EQ(sim.RepliesSent(), 4u);
    close(fd);

    sim.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(PtySimulator, DelaysAndPacesReplies) {
    SimOptions options;
    options.delayMs = 40;
    options.baud = 1200;  // 8.33 ms a byte: a 7-byte reply spends 50 ms on the line
    PtySimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    const int fd = OpenClient(sim.DevicePath());
    ASSERT_GE(fd, 0);

    const auto start = Clock::now();
    ASSERT_TRUE(Send(fd, ReadVector));
    Bytes first = ReadReply(fd, 1, 1000, [&] { sim.Poll(1); });
    const auto firstAt = Clock::now();
    Bytes rest = ReadReply(fd, 6, 1000, [&] { sim.Poll(1); });
    const auto lastAt = Clock::now();
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(first.size(), 7u);
    EXPECT_EQ(first[0], 0x2B);
    const auto ms = [](auto d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    EXPECT_GE(ms(firstAt - start), 40);
    EXPECT_GE(ms(lastAt - firstAt), 45);  // six more bytes at 8.33 ms each
    EXPECT_LT(ms(lastAt - start), 500);
    close(fd);
}

TEST(PtySimulator, LateRepliesWaitAndTheReplyLogNamesEachIntactRead) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    SimOptions options;
    options.faults.late = 1.0;
    options.lateMs = 60;
    options.replyLog = log;
    PtySimulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    const int fd = OpenClient(sim.DevicePath());
    ASSERT_GE(fd, 0);
    const auto ms = [](auto d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };

    for (const Bytes& request : {WriteVector, ReadVector}) {
        const auto start = Clock::now();
        ASSERT_TRUE(Send(fd, request));
        EXPECT_EQ(ReadReply(fd, 7, 1000, [&] { sim.Poll(1); }),
                  request == WriteVector ? WriteOk : Read500);
        EXPECT_GE(ms(Clock::now() - start), 60);
    }
    close(fd);

    // The write's acknowledgement is no read; the read of 0x0A50 carried 500 (F4 01).
    std::rewind(log);
    char text[64] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, log);
    EXPECT_EQ(std::string(text, length), "read A50 F401\n");
    std::fclose(log);
}

TEST(PtySimulator, LinkHandling) {
    test::TempFolder dir("ksim");
    const std::string link = (dir / "stale").string();
    std::filesystem::create_symlink("/nonexistent/tty", link);
    {
        SimOptions options;
        options.linkPath = link;
        PtySimulator sim(options);
        std::string error;
        ASSERT_TRUE(sim.Start(error)) << error;
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.DevicePath());
    }
    // The destructor stops the simulator and removes its link.
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    // A regular file is never replaced.
    const std::string file = (dir / "file").string();
    std::ofstream(file) << "keep";
    SimOptions options;
    options.linkPath = file;
    PtySimulator sim(options);
    std::string error;
    EXPECT_FALSE(sim.Start(error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    EXPECT_FALSE(sim.Running());
    EXPECT_TRUE(std::filesystem::is_regular_file(file));

    // A link that another simulator has taken over since is left alone at stop.
    const std::string shared = (dir / "shared").string();
    SimOptions first;
    first.linkPath = shared;
    PtySimulator a(first);
    PtySimulator b(first);
    ASSERT_TRUE(a.Start(error)) << error;
    ASSERT_TRUE(b.Start(error)) << error;
    a.Stop();
    EXPECT_EQ(std::filesystem::read_symlink(shared).string(), b.DevicePath());
    b.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(shared));
}

// A pulled adapter, once: the link goes and the client sees a hang-up; a new terminal comes back
// behind the same link, with the controller's memory as it was.
TEST(PtySimulator, UnplugsAndComesBackOnceOnSchedule) {
    using std::chrono::milliseconds;
    test::TempFolder dir("ksim");
    const std::string link = (dir / "com7").string();
    SimOptions options;
    options.linkPath = link;
    options.unplugAfter = milliseconds(150);
    options.returnAfter = milliseconds(100);
    PtySimulator sim(options);
    std::string error;
    const auto start = Clock::now();
    ASSERT_TRUE(sim.Start(error)) << error;
    auto pump = [&] { sim.Poll(2); };
    auto pumpUntilPlugged = [&](bool plugged) {
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (sim.Plugged() != plugged && Clock::now() < end) pump();
        return sim.Plugged() == plugged;
    };

    const int before = OpenClient(link);
    ASSERT_GE(before, 0);
    ASSERT_TRUE(Send(before, WriteVector));
    EXPECT_EQ(ReadReply(before, 7, 1000, pump), WriteOk);

    ASSERT_TRUE(pumpUntilPlugged(false));
    EXPECT_GE(Clock::now() - start, milliseconds(150));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    pollfd hangUp{before, POLLIN, 0};
    ASSERT_EQ(poll(&hangUp, 1, 0), 1);
    EXPECT_NE(hangUp.revents & POLLHUP, 0);
    EXPECT_EQ(write(before, ReadVector.data(), ReadVector.size()), -1);
    EXPECT_EQ(errno, EIO);
    close(before);

    ASSERT_TRUE(pumpUntilPlugged(true));
    EXPECT_GE(Clock::now() - start, milliseconds(250));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.DevicePath());
    // Well past another unplug period the line is still up: it is pulled only once.
    for (const auto end = Clock::now() + milliseconds(300); Clock::now() < end;) pump();
    EXPECT_TRUE(sim.Plugged());
    const int after = OpenClient(link);
    ASSERT_GE(after, 0);
    ASSERT_TRUE(Send(after, ReadVector));
    EXPECT_EQ(ReadReply(after, 7, 1000, pump), Read500);
    close(after);
}

TEST(KestrovaSimProgram, AnswersOverItsLinkAndCleansUpOnSigterm) {
    test::TempFolder dir("ksim");
    const std::string link = (dir / "com3").string();
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string program = KESTROVA_SIM_PROGRAM;
    std::string linkOption = "--link";
    std::vector<char*> argv{program.data(), linkOption.data(), const_cast<char*>(link.c_str()),
                            nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    // First line of stdout: the device path.
    std::string line;
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == std::string::npos && Clock::now() < end) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char buffer[256];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            line.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(out[0]);
    ASSERT_NE(line.find('\n'), std::string::npos) << "no device path printed";
    line.erase(line.find('\n'));
    EXPECT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), line);

    const int fd = OpenClient(link);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(Send(fd, ReadVector));
    const Bytes first = ReadReply(fd, 7, 2000, nullptr);
    ASSERT_EQ(first.size(), 7u);
    EXPECT_EQ(first[0], 0x2B);  // the power-on neutral value, whatever it is
    ASSERT_TRUE(Send(fd, WriteVector));
    EXPECT_EQ(ReadReply(fd, 7, 2000, nullptr), WriteOk);
    ASSERT_TRUE(Send(fd, ReadVector));
    EXPECT_EQ(ReadReply(fd, 7, 2000, nullptr), Read500);
    close(fd);

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

}  // namespace
}  // namespace kestrova
