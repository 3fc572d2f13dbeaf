#include "soak/soak_display.h"

#include <cmath>

#include "common/number_text.h"
#include "core/ui_names.h"

namespace kestrova::soak {

void SoakDisplay::DisplayUpdate(std::string_view key, std::string_view value) {
    ++commands;
    if (key == "CommsStatus") {
        tracker.Caption(value, nowMs_);
        return;
    }
    if (key == "DebugInfo") {
        if (value.substr(0, 17) == "App Err Not procd") {
            if (unprocessedEvents++ == 0) firstUnprocessed.assign(value.substr(0, 120));
        }
        return;
    }
    if (key == display_keys::CommsSelect && value == display_values::NotValidPort) {
        ++invalidPortShown;
        return;
    }
    for (std::size_t axis = 0; axis < Keys.size(); ++axis) {
        const AxisKeys& k = Keys[axis];
        if (key == k.positive) {
            Store(value, views[axis].positive, false);
        } else if (key == k.negative) {
            Store(value, views[axis].negative, true);
        } else if (key == k.maximum) {
            Store(value, views[axis].maximum, false);
        }
    }
}

void SoakDisplay::Store(std::string_view text, int& into, bool negated) {
    const auto value = TryTextToDouble(text);
    if (!value || !std::isfinite(*value) || std::fabs(*value) > 1e6) return;
    into = static_cast<int>(std::lround(negated ? -*value : *value));
}

}  // namespace kestrova::soak
