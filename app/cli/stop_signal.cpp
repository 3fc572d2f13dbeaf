#include "stop_signal.h"

#include <sys/signalfd.h>
#include <unistd.h>

namespace kestrova::cli {

StopSignal::StopSignal() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigprocmask(SIG_BLOCK, &mask, &previousMask_);
    fd_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignal::~StopSignal() {
    if (fd_ >= 0) close(fd_);
    sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
}

bool StopSignal::Requested() {
    if (requested_ || fd_ < 0) return requested_;
    signalfd_siginfo info{};
    requested_ = read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
    return requested_;
}

}  // namespace kestrova::cli
