#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/core_interfaces.h"

namespace kestrova {

struct StatisticsRow {
    std::string label;
    std::string value;
};

// The "Link Statistics" window's rows, label and value, from what the core reports. The rate of
// exchanges comes from the count's rise since the previous refresh.
class LinkStatisticsRows {
public:
    // statusText: what the window's comms status shows ("Comms Good", ...). nowMs: any steady
    // clock in milliseconds.
    std::vector<StatisticsRow> Refresh(const CoreMonitor& monitor, std::string_view statusText,
                                       std::int64_t nowMs);

private:
    bool havePrevious_ = false;
    std::uint64_t previousExchanges_ = 0;
    std::int64_t previousMs_ = 0;
    double rate_ = 0.0;
};

}  // namespace kestrova
