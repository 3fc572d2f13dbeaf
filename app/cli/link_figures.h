#pragma once

#include <cstdint>
#include <optional>

#include "core/app_service.h"
#include "protocol/link_counters.h"

namespace kestrova::cli {

// The link's figures for one monitor line: the rate and the share of good replies over the last
// interval, the failure counts since the monitor started.
struct LinkFigures {
    double exchangesPerSecond = 0.0;
    std::optional<double> goodRepliesPercent;  // none without an exchange in the interval
    std::uint64_t timeouts = 0;
    std::uint64_t checksumErrors = 0;
    std::uint64_t errorReplies = 0;
};

// Takes the figures of one core's link counters, interval by interval.
class LinkFigureSource {
public:
    explicit LinkFigureSource(const AppService& core);
    // The figures since the last call (since construction at first); seconds is the interval.
    LinkFigures Take(double seconds);

private:
    const AppService& core_;
    LinkCounters start_;
    LinkCounters last_;
};

}  // namespace kestrova::cli
