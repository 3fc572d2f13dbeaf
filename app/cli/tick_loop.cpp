#include "tick_loop.h"

#include <algorithm>

#include "unit_session.h"

namespace kestrova::cli {
namespace {

constexpr std::int64_t CommsPeriodNs = 1'000'000;
constexpr std::int64_t SystemPeriodNs = 10'000'000;

// The next due time after a tick that was due at due: one period on, or one period from now when
// that is already past (the missed ticks are dropped).
std::int64_t NextDue(std::int64_t due, std::int64_t period, std::int64_t now) {
    due += period;
    return due <= now ? now + period : due;
}

}  // namespace

std::int64_t TickLoop::NowNs() { return TickClock::NowNs(); }

TickLoop::TickLoop(std::vector<UnitSession*> units, StopSignal& stop)
    : units_(std::move(units)), stop_(stop), nextCommsNs_(NowNs()), nextSystemNs_(NowNs()) {}

void TickLoop::RunDueTicks() {
    const bool commsWanted = std::any_of(units_.begin(), units_.end(), [](UnitSession* unit) {
        return unit->Core().CommsTickWanted();
    });
    clock_.SleepUntil(commsWanted ? std::min(nextCommsNs_, nextSystemNs_) : nextSystemNs_);

    const std::int64_t now = NowNs();
    if (commsWanted && now >= nextCommsNs_) {
        for (UnitSession* unit : units_) {
            if (unit->Core().CommsTickWanted()) unit->Core().CommsTick();
        }
        nextCommsNs_ = NextDue(nextCommsNs_, CommsPeriodNs, now);
    }
    if (now >= nextSystemNs_) {
        for (UnitSession* unit : units_) unit->Core().SystemTick();
        nextSystemNs_ = NextDue(nextSystemNs_, SystemPeriodNs, now);
    }
}

TickLoop::Outcome TickLoop::RunUntil(const std::function<bool()>& check,
                                     std::chrono::milliseconds limit) {
    return Run(check, limit, true);
}

TickLoop::Outcome TickLoop::RunDespiteStop(const std::function<bool()>& check,
                                           std::chrono::milliseconds limit) {
    return Run(check, limit, false);
}

TickLoop::Outcome TickLoop::Run(const std::function<bool()>& check, std::chrono::milliseconds limit,
                                bool stopEnds) {
    const std::int64_t end = NowNs() + std::chrono::nanoseconds(limit).count();
    while (true) {
        if (stopEnds && stop_.Requested()) return Outcome::Stopped;
        if (check()) return Outcome::Done;
        if (NowNs() >= end) return Outcome::TimedOut;
        RunDueTicks();
    }
}

TickLoop::Outcome TickLoop::RunFor(std::chrono::milliseconds time) {
    const Outcome outcome = RunUntil([] { return false; }, time);
    return outcome == Outcome::Stopped ? Outcome::Stopped : Outcome::Done;
}

}  // namespace kestrova::cli
