#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/core_interfaces.h"
#include "soak/soak_logic.h"

namespace kestrova::soak {

// The dashboard as the soak needs it: the comms captions, the adjust values and ranges the
// operator looks at, and a few counts. Fixed-size state: nothing grows with the run.
class SoakDisplay final : public Display {
public:
    // nowMs is the session's clock, read whenever a caption arrives.
    explicit SoakDisplay(const std::int64_t& nowMs) : nowMs_(nowMs) {}

    void DisplayUpdate(std::string_view key, std::string_view value) override;

    CommsCaptionTracker tracker;
    std::array<AxisView, 3> views{};
    std::int64_t commands = 0;
    std::int64_t unprocessedEvents = 0;
    std::string firstUnprocessed;
    std::int64_t invalidPortShown = 0;

private:
    struct AxisKeys {
        std::string_view positive, negative, maximum;
    };
    static constexpr std::array<AxisKeys, 3> Keys{{
        {"Pan_PosAdjustValue", "Pan_NegAdjustValue", "Pan_PosAdjustValueMax"},
        {"TiltPosAdjustValue", "TiltNegAdjustValue", "TiltPosAdjustValueMax"},
        {"RollPosAdjustValue", "RollNegAdjustValue", "RollPosAdjustValueMax"},
    }};

    static void Store(std::string_view text, int& into, bool negated);

    const std::int64_t& nowMs_;
};

}  // namespace kestrova::soak
