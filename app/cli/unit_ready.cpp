#include "unit_ready.h"

#include <string>

#include "exit_code.h"

namespace kestrova::cli {
namespace {

// One run of the comms supervisor: every fifth system tick.
constexpr std::chrono::milliseconds SupervisorPeriod{50};

}  // namespace

bool UnitReady(const UnitSession& unit) { return unit.CommsGood() && unit.AllPolledPointsRead(); }

CommandError Interruption(std::string_view command, const UnitSession& unit,
                          std::string_view what) {
    return {ExitCode::Interrupted, std::string(command) + " " + unit.Name(), std::string(what)};
}

void WaitUntilReady(TickLoop& loop, UnitSession& unit, std::string_view command) {
    switch (loop.RunUntil([&unit] { return UnitReady(unit); }, ReadyLimit)) {
        case TickLoop::Outcome::Done: break;
        case TickLoop::Outcome::Stopped:
            throw Interruption(command, unit, "stopped while connecting; nothing was written");
        case TickLoop::Outcome::TimedOut:
            throw CommandError{ExitCode::LinkFailure, std::string(command) + " " + unit.Name(),
                               unit.NotReadyReason() + " within 15 s"};
    }
    if (loop.RunFor(SupervisorPeriod) == TickLoop::Outcome::Stopped) {
        throw Interruption(command, unit, "stopped while connecting; nothing was written");
    }
}

}  // namespace kestrova::cli
