#pragma once

#include <chrono>
#include <string_view>

#include "exit_code.h"
#include "tick_loop.h"
#include "unit_session.h"

namespace kestrova::cli {

// How long a unit may take from the port's opening to "Comms Good" with every polled value read.
inline constexpr std::chrono::seconds ReadyLimit{15};

// "Comms Good", and every polled point read since the port opened.
bool UnitReady(const UnitSession& unit);

// Runs the ticks until the unit is ready, then one supervisor run more, so the core's view of the
// controller (its mode among it) follows the values just read. Throws CommandError: link failure
// with the reason after ReadyLimit, interrupted on a stop. command names the command in errors.
void WaitUntilReady(TickLoop& loop, UnitSession& unit, std::string_view command);

// The error of a command stopped by a signal.
CommandError Interruption(std::string_view command, const UnitSession& unit, std::string_view what);

}  // namespace kestrova::cli
