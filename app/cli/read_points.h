#pragma once

#include <array>
#include <cstdint>

#include "points/point_database.h"

namespace kestrova::cli {

class UnitSession;

// Which points have had a good reply since the unit's port opened, so that only values read from
// the unit are shown as the unit's. Following the unit after every round of ticks, it forgets
// every point while the port is not open: values read before a loss are not the unit's now.
class ReadPoints {
public:
    // Starts from the reply counts of the port just opened.
    explicit ReadPoints(const UnitSession& unit);

    void Follow(const UnitSession& unit);
    // A good reply came for the point since the port opened, and its value has been scaled.
    bool Read(int point) const { return known_[point]; }
    // Whether any good reply came since the port first opened, a loss notwithstanding.
    bool AnyReply() const { return anyReply_; }

private:
    std::array<std::int32_t, MaxPoints> counts_{};
    std::array<bool, MaxPoints> read_{};
    std::array<bool, MaxPoints> known_{};
    bool anyReply_ = false;
};

}  // namespace kestrova::cli
