#pragma once

#include <time.h>

#include <cstdint>
#include <string>

namespace kestrova::soak {

// Real 1 ms ticks on deadlines of the monotonic clock, kept as the window's precise timer keeps
// them, and how well they were kept.
class Timeline {
public:
    // The first deadline is now; the elapsed time counts from here.
    void Start();
    // Moves the deadline on by 1 ms and sleeps until it. When that deadline has passed already
    // (the machine was busy), the timeline starts again 1 ms after the late tick, as the window's
    // timer does: no burst of catch-up ticks, which would run the port driver's time limits,
    // counted in polls, in far less than their time.
    void WaitForNextTick();
    double ElapsedSeconds() const;

    std::int64_t LateTicks() const { return lateTicks_; }
    std::int64_t Resyncs() const { return resyncs_; }
    std::int64_t WorstLatenessUs() const { return worstLatenessUs_; }

private:
    timespec start_{};
    timespec deadline_{};
    timespec woke_{};             // when the last tick began
    std::int64_t lateTicks_ = 0;  // woke more than 1 ms after the deadline
    std::int64_t resyncs_ = 0;
    std::int64_t worstLatenessUs_ = 0;
};

// Milliseconds as "12.3 s".
std::string SecondsText(std::int64_t ms);

}  // namespace kestrova::soak
