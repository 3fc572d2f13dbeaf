#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "stop_signal.h"
#include "tick_clock.h"

namespace kestrova::cli {

class UnitSession;

// Drives every unit of the run on the window's timing, in this one thread: the 1 ms comms tick
// while any unit's link is open and the 10 ms system tick, on the monotonic clock. Between ticks
// the thread sleeps until the next one is due; ticks missed while the process was held up are
// dropped, as the window's timers drop them, so the core never runs ticks back to back.
class TickLoop {
public:
    enum class Outcome { Done, Stopped, TimedOut };

    TickLoop(std::vector<UnitSession*> units, StopSignal& stop);

    // Runs the ticks until check() returns true (it is called after every round of ticks and
    // may act on the units), a stop is asked for, or limit has passed.
    Outcome RunUntil(const std::function<bool()>& check, std::chrono::milliseconds limit);
    // As RunUntil, but a stop asked for (before or meanwhile) does not end it: for the work a
    // stop itself calls for, such as putting the unit back in a safe state.
    Outcome RunDespiteStop(const std::function<bool()>& check, std::chrono::milliseconds limit);
    // Runs the ticks for the given time; Stopped when a stop was asked for meanwhile.
    Outcome RunFor(std::chrono::milliseconds time);

    // The monotonic clock, in nanoseconds.
    static std::int64_t NowNs();

private:
    void RunDueTicks();
    Outcome Run(const std::function<bool()>& check, std::chrono::milliseconds limit, bool stopEnds);

    std::vector<UnitSession*> units_;
    StopSignal& stop_;
    TickClock clock_;
    std::int64_t nextCommsNs_;
    std::int64_t nextSystemNs_;
};

}  // namespace kestrova::cli
