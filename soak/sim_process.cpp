#include "soak/sim_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrova::soak {

namespace {

std::string Describe(int status) {
    if (WIFEXITED(status)) return "exited with code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("ended by signal ") + strsignal(WTERMSIG(status));
    return "ended";
}

std::int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

SimProcess::~SimProcess() {
    if (pid_ > 0) Stop(2000);
    CloseOutput();
}

void SimProcess::CloseOutput() {
    if (output_ >= 0) ::close(output_);
    output_ = -1;
}

bool SimProcess::Start(const std::string& program, const std::vector<std::string>& args,
                       int timeoutMs, std::string& error) {
    if (pid_ > 0) {
        error = "simulator already running";
        return false;
    }
    devicePath_.clear();
    unexpectedEnd_.clear();
    CloseOutput();

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    // The argument vector is built before the fork: the child only calls what is safe there.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        // Stops with this process, even when it crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(pipeFds[1], STDOUT_FILENO);  // dup2 clears close-on-exec on the copy
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    pid_ = pid;
    output_ = pipeFds[0];

    // The first line on its stdout is the device path: the link is in place from then on.
    const std::int64_t deadline = MonotonicMs() + timeoutMs;
    std::string line;
    while (true) {
        const std::int64_t left = deadline - MonotonicMs();
        if (left <= 0) {
            error = "no device path from the simulator within " + std::to_string(timeoutMs) + " ms";
            break;
        }
        pollfd p{output_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char c = 0;
        const ssize_t n = ::read(output_, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "the simulator ended before printing its device path";
            break;
        }
        if (c == '\n') {
            devicePath_ = line;
            return true;
        }
        line += c;
    }
    Kill();
    return false;
}

std::size_t SimProcess::ReadOutput(char* buffer, std::size_t size) {
    if (output_ < 0) return 0;
    pollfd p{output_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) return 0;
    const ssize_t n = ::read(output_, buffer, size);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool SimProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        unexpectedEnd_ = Describe(status);
        pid_ = -1;
        CloseOutput();
        return false;
    }
    return true;
}

void SimProcess::Kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    CloseOutput();
}

int SimProcess::Stop(int timeoutMs) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    const std::int64_t deadline = MonotonicMs() + timeoutMs;
    int status = 0;
    while (true) {
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (r < 0 && errno != EINTR) {
            pid_ = -1;
            CloseOutput();
            return -1;
        }
        if (MonotonicMs() >= deadline) {
            Kill();
            return -1;
        }
        timespec pause{0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
    pid_ = -1;
    CloseOutput();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kestrova::soak
