#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace kestrova {

// Where a time stamp comes from: milliseconds since 1970-01-01 00:00 UTC. The program reads the
// system's clock; tests give their own.
using WallClock = std::function<std::int64_t()>;

inline std::int64_t SystemWallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// ISO 8601 in UTC with milliseconds: 2024-05-01T12:34:56.789Z.
std::string IsoTimeMs(std::int64_t timeMs);

}  // namespace kestrova
