#pragma once

#include <memory>

namespace kestrova::cli {

// The operator's request to stop, looked for between ticks so that it lands only where the
// program looks for it. On Linux SIGINT and SIGTERM, blocked while the object lives and read from
// a signalfd (stop_signal_posix.cpp); on Windows Ctrl-C, Ctrl-Break and the console window
// closing, through a console control handler (stop_signal_win32.cpp). One object at a time.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // True once a stop has been asked for. Never waits.
    bool Requested();
    // Waits until the standard input has something to read or a stop is asked for (on Windows,
    // where a stop interrupts the read itself, it returns at once).
    void WaitForInput();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrova::cli
