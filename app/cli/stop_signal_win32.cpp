#include <windows.h>

#include <atomic>

#include "stop_signal.h"

namespace kestrova::cli {
namespace {

// How long a closing console waits for the program to put the unit back in a safe state: Windows
// ends the process when the handler returns, and after 5 s in any case.
constexpr DWORD CloseWaitMs = 4500;

// A console control handler takes no context: it reaches the one live StopSignal through this.
std::atomic<StopSignal*> live{nullptr};

}  // namespace

struct StopSignal::State {
    std::atomic<bool> requested{false};
    HANDLE finished = nullptr;  // set when the object goes, so a closing console can end

    static BOOL WINAPI Handler(DWORD event) {
        StopSignal* stop = live.load();
        if (stop == nullptr) return FALSE;
        stop->state_->requested = true;
        // The console's close, logoff and shutdown end the process once this returns: wait for
        // the program to finish its stop first.
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
            event == CTRL_SHUTDOWN_EVENT) {
            ::WaitForSingleObject(stop->state_->finished, CloseWaitMs);
        }
        return TRUE;
    }
};

StopSignal::StopSignal() : state_(std::make_unique<State>()) {
    state_->finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    live = this;
    ::SetConsoleCtrlHandler(State::Handler, TRUE);
}

StopSignal::~StopSignal() {
    ::SetConsoleCtrlHandler(State::Handler, FALSE);
    live = nullptr;
    if (state_->finished != nullptr) {
        ::SetEvent(state_->finished);
        ::CloseHandle(state_->finished);
    }
}

bool StopSignal::Requested() { return state_->requested; }

void StopSignal::WaitForInput() {}

}  // namespace kestrova::cli
