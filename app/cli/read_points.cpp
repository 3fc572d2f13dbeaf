#include "read_points.h"

#include "unit_session.h"

namespace kestrova::cli {

ReadPoints::ReadPoints(const UnitSession& unit) {
    const auto& table = unit.Core().Points().PointTable();
    for (int point = 0; point < MaxPoints; ++point) counts_[point] = table[point].Msg_Count;
}

void ReadPoints::Follow(const UnitSession& unit) {
    const bool open = unit.Core().Port().LinkState() == PortLinkState::Open;
    const auto& table = unit.Core().Points().PointTable();
    for (int point = 0; point < MaxPoints; ++point) {
        const std::int32_t count = table[point].Msg_Count;
        if (!open) {
            read_[point] = false;
            known_[point] = false;
        } else if (count != counts_[point]) {
            read_[point] = true;
            anyReply_ = true;
        }
        counts_[point] = count;
        // Known from the first scaling of a value read on; a later reply waiting for the cycle's
        // scaling leaves the unit's previous value in place, still the unit's.
        if (read_[point] && !unit.Core().Points().PointNeedsScaling(point)) known_[point] = true;
    }
}

}  // namespace kestrova::cli
