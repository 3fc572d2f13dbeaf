#include <time.h>

#include <cerrno>

#include "tick_clock.h"

namespace kestrova::cli {
namespace {

constexpr std::int64_t NsPerSecond = 1'000'000'000;

}  // namespace

TickClock::TickClock() = default;

TickClock::~TickClock() = default;

std::int64_t TickClock::NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * NsPerSecond + now.tv_nsec;
}

void TickClock::SleepUntil(std::int64_t ns) {
    const timespec wake{static_cast<time_t>(ns / NsPerSecond), static_cast<long>(ns % NsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
    }
}

}  // namespace kestrova::cli
