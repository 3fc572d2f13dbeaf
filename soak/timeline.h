#pragma once

#include <time.h>

#include <cstdint>
#include <string>

namespace kestrova::soak {

// Real 1 ms ticks on absolute deadlines of the monotonic clock, and how well they were kept.
class Timeline {
public:
    // Further behind than this, the timeline restarts from now.
    static constexpr std::int64_t LateResyncMs = 100;

    // The first deadline is now; the elapsed time counts from here.
    void Start();
    // Moves the deadline on by 1 ms and sleeps until it. When the run is already far behind (the
    // machine was busy), the timeline starts again from now instead of firing a burst of ticks.
    void WaitForNextTick();
    double ElapsedSeconds() const;

    std::int64_t LateTicks() const { return lateTicks_; }
    std::int64_t Resyncs() const { return resyncs_; }
    std::int64_t WorstLatenessUs() const { return worstLatenessUs_; }

private:
    timespec start_{};
    timespec deadline_{};
    std::int64_t lateTicks_ = 0;  // woke more than 1 ms after the deadline
    std::int64_t resyncs_ = 0;
    std::int64_t worstLatenessUs_ = 0;
};

// Milliseconds as "12.3 s".
std::string SecondsText(std::int64_t ms);

}  // namespace kestrova::soak
