#pragma once

#include <signal.h>

namespace kestrova::cli {

// SIGINT and SIGTERM as a request to stop, read from a signalfd between ticks: while the object
// lives the two signals are blocked, so no handler runs and a stop lands only where the program
// looks for it.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // True once either signal has arrived. Never waits.
    bool Requested();
    // The descriptor that becomes readable when a signal arrives, for a wait on other input.
    int Descriptor() const { return fd_; }

private:
    int fd_ = -1;
    sigset_t previousMask_{};
    bool requested_ = false;
};

}  // namespace kestrova::cli
