#include "common/wall_clock.h"

#include <cstdio>
#include <ctime>

namespace kestrova {

std::string IsoTimeMs(std::int64_t timeMs) {
    // Floor division, so times before 1970 keep a millisecond part between 0 and 999.
    std::int64_t seconds = timeMs / 1000;
    std::int64_t millis = timeMs % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    return text;
}

}  // namespace kestrova
