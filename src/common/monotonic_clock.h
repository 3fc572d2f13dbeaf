#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace kestrova {

// Where elapsed time comes from: microseconds on a clock that never steps (its zero is
// arbitrary). The program reads the system's monotonic clock; tests give their own.
using MonotonicClock = std::function<std::int64_t()>;

inline std::int64_t SteadyClockMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace kestrova
