#include "soak/timeline.h"

#include <cerrno>
#include <cstdio>

#include <algorithm>

namespace kestrova::soak {
namespace {

timespec Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

std::int64_t Nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void AddNanoseconds(timespec& t, std::int64_t ns) {
    std::int64_t total = Nanoseconds(t) + ns;
    t.tv_sec = static_cast<time_t>(total / 1'000'000'000);
    t.tv_nsec = static_cast<long>(total % 1'000'000'000);
}

}  // namespace

void Timeline::Start() {
    start_ = Now();
    deadline_ = start_;
    woke_ = start_;
}

void Timeline::WaitForNextTick() {
    AddNanoseconds(deadline_, 1'000'000);
    if (Nanoseconds(deadline_) < Nanoseconds(woke_)) {
        ++resyncs_;
        deadline_ = woke_;
        AddNanoseconds(deadline_, 1'000'000);
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline_, nullptr) == EINTR) {
    }
    woke_ = Now();
    const std::int64_t latenessUs = (Nanoseconds(woke_) - Nanoseconds(deadline_)) / 1000;
    worstLatenessUs_ = std::max(worstLatenessUs_, latenessUs);
    if (latenessUs > 1000) ++lateTicks_;
}

double Timeline::ElapsedSeconds() const {
    return static_cast<double>(Nanoseconds(Now()) - Nanoseconds(start_)) / 1e9;
}

std::string SecondsText(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

}  // namespace kestrova::soak
