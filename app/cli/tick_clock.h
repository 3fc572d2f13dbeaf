#pragma once

#include <cstdint>

namespace kestrova::cli {

// The tick loop's time: a clock that never steps, and sleeps until an instant on it with a
// millisecond's precision or better. On Linux clock_nanosleep on the monotonic clock
// (tick_clock_posix.cpp); on Windows the performance counter and a waitable timer, with the
// system timer at 1 ms while the object lives (tick_clock_win32.cpp).
class TickClock {
public:
    TickClock();
    ~TickClock();
    TickClock(const TickClock&) = delete;
    TickClock& operator=(const TickClock&) = delete;

    // Nanoseconds since an arbitrary zero.
    static std::int64_t NowNs();
    // Returns at ns or soon after (at once when that has passed).
    void SleepUntil(std::int64_t ns);

private:
    [[maybe_unused]] void* timer_ = nullptr;  // the waitable timer on Windows
};

}  // namespace kestrova::cli
