#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/axis.h"
#include "common/number_text.h"
#include "core/core_tables.h"

// The nine calibration values a restore sets, in the order the operator sees them: for Pan, Tilt
// and Roll in turn the neutral value, the positive and the negative adjust value. The restore
// checks, previews, writes and verifies exactly these.
namespace kestrova::core {

enum class RestoreValueKind { Neutral, PositiveAdjust, NegativeAdjust };

struct RestoreValue {
    Axis axis;
    RestoreValueKind kind;
    std::string_view name;  // as the preview shows it; messages add " value"
};

inline constexpr std::size_t RestoreValueCount = 9;

inline constexpr std::array<RestoreValue, RestoreValueCount> RestoreValueTable{{
    {Axis::Pan, RestoreValueKind::Neutral, "Pan neutral"},
    {Axis::Pan, RestoreValueKind::PositiveAdjust, "Pan positive adjust"},
    {Axis::Pan, RestoreValueKind::NegativeAdjust, "Pan negative adjust"},
    {Axis::Tilt, RestoreValueKind::Neutral, "Tilt neutral"},
    {Axis::Tilt, RestoreValueKind::PositiveAdjust, "Tilt positive adjust"},
    {Axis::Tilt, RestoreValueKind::NegativeAdjust, "Tilt negative adjust"},
    {Axis::Roll, RestoreValueKind::Neutral, "Roll neutral"},
    {Axis::Roll, RestoreValueKind::PositiveAdjust, "Roll positive adjust"},
    {Axis::Roll, RestoreValueKind::NegativeAdjust, "Roll negative adjust"},
}};

// The point that holds the value: its entry in the parameter file and its reading from the
// controller.
constexpr int ValuePoint(const RestoreValue& value) {
    const AxisPoints& p = PointsOf(value.axis);
    switch (value.kind) {
        case RestoreValueKind::Neutral: return p.neutral;
        case RestoreValueKind::PositiveAdjust: return p.posAdjust;
        case RestoreValueKind::NegativeAdjust: return p.negAdjust;
    }
    return p.neutral;
}

// The point the restore writes the value to: with the link open the adjust values go to the
// axis's restore targets, which the controller applies in the matching mode.
constexpr int TargetPoint(const RestoreValue& value, bool linkOpen) {
    const AxisPoints& p = PointsOf(value.axis);
    switch (value.kind) {
        case RestoreValueKind::Neutral: return p.neutral;
        case RestoreValueKind::PositiveAdjust: return linkOpen ? p.posRestore : p.posAdjust;
        case RestoreValueKind::NegativeAdjust: return linkOpen ? p.negRestore : p.negAdjust;
    }
    return p.neutral;
}

// "Pan neutral value (point 11)": the value as messages name it.
inline std::string RestoreValueLabel(const RestoreValue& value) {
    return std::string(value.name) + " value (point " + IntToText(ValuePoint(value)) + ")";
}

// Adds "\n<label>: <problem>" to a message that lists values.
inline void AppendProblem(std::string& text, const RestoreValue& value, std::string_view problem) {
    text += '\n';
    text += RestoreValueLabel(value);
    text += ": ";
    text += problem;
}

}  // namespace kestrova::core
