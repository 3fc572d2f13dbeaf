#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>

#include "stop_signal.h"

namespace kestrova::cli {

struct StopSignal::State {
    int fd = -1;
    sigset_t previousMask{};
    bool requested = false;
};

StopSignal::StopSignal() : state_(std::make_unique<State>()) {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigprocmask(SIG_BLOCK, &mask, &state_->previousMask);
    state_->fd = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignal::~StopSignal() {
    if (state_->fd >= 0) close(state_->fd);
    sigprocmask(SIG_SETMASK, &state_->previousMask, nullptr);
}

bool StopSignal::Requested() {
    if (state_->requested || state_->fd < 0) return state_->requested;
    signalfd_siginfo info{};
    state_->requested = read(state_->fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
    return state_->requested;
}

void StopSignal::WaitForInput() {
    std::array<pollfd, 2> fds{{{STDIN_FILENO, POLLIN, 0}, {state_->fd, POLLIN, 0}}};
    while (poll(fds.data(), fds.size(), -1) < 0) {
    }
}

}  // namespace kestrova::cli
