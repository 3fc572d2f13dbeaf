#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "core/app_service.h"

namespace kestrova::cli {

// The link's figures over the last interval. The runtime counts good exchanges today (each
// point's Msg_Count), so the good replies are filled; the other figures stay unknown until the
// protocol counts exchanges, time-outs, checksum errors and error replies itself.
struct LinkFigures {
    double goodRepliesPerSecond = 0.0;
    std::optional<double> exchangesPerSecond;
    std::optional<double> goodRepliesPercent;
    std::optional<std::int64_t> timeouts;
    std::optional<std::int64_t> checksumErrors;
    std::optional<std::int64_t> errorReplies;
};

// Takes the figures of one core, interval by interval.
class LinkFigureSource {
public:
    explicit LinkFigureSource(const AppService& core);
    // The figures since the last call (since construction at first); seconds is the interval.
    LinkFigures Take(double seconds);

private:
    const AppService& core_;
    std::array<std::int32_t, MaxPoints> lastCounts_{};
};

}  // namespace kestrova::cli
