// A parameter file chosen for a restore: read, checked before anything is written, and shown to
// the operator as a preview of what the restore would change.
#include <algorithm>
#include <string>

#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/app_service.h"
#include "core/ui_names.h"

namespace kestrova {
namespace {

constexpr std::string_view ScaledValueKey = "ScaledValue";

std::string Range(double low, double high) {
    return DoubleToText(low) + " to " + DoubleToText(high);
}

}  // namespace

// Reads the file into the calibration buffer and checks it. A refused file gets one message box
// naming every offending value; an accepted one waits for the operator's answer to its preview.
// A file that cannot be read, or a value that is no number, throws as the load does.
void AppService::OpenParameterFile(const std::filesystem::path& path) {
    state_.RestorePending = false;
    const IniDocument file(path);
    LoadParameterFile(file);
    const std::string refusal = RestoreFileRefusal(file);
    state_.RestorePending = refusal.empty();

    std::string text = "_HMI_Pan_Pos_Deadband_Setting >";
    text += DoubleToText(state_.CalibrationBuffer[core::PointsOf(Axis::Pan).posAdjust]);
    text += '<';
    Show(display_keys::DebugInfo, text);

    if (!refusal.empty()) {
        Show(display_keys::MessageBox, refusal);
        return;
    }
    SendPreviewRows();
}

// Empty when the file may be restored. A file without a value the restore writes is no
// parameter file at all (a wrong file picked by mistake, an empty one): it would restore zeros.
std::string AppService::RestoreFileRefusal(const IniDocument& file) const {
    const std::string path = Utf8Of(file.Path());
    for (const core::RestoreValue& value : core::RestoreValueTable) {
        const int point = core::ValuePoint(value);
        if (!file.HasKey(TagFile::PointSectionName(point), ScaledValueKey)) {
            return path + " is not a parameter file: it holds no value for point " +
                   IntToText(point) + " (" + std::string(value.name) + " value).";
        }
    }
    std::string problems;
    for (const core::RestoreValue& value : core::RestoreValueTable) {
        const std::string problem =
            ValueProblem(value, state_.CalibrationBuffer[core::ValuePoint(value)]);
        if (!problem.empty()) core::AppendProblem(problems, value, problem);
    }
    if (problems.empty()) return {};
    return path + " was not restored; nothing was written:" + problems;
}

// Why the file's value cannot be restored, or empty. Its raw value must fit the data type of the
// point it is written to (else the controller would receive its low bytes), an adjust value must
// lie within the range of the controller's mode, and the value must be one of the point's steps.
std::string AppService::ValueProblem(const core::RestoreValue& value, double fileValue) const {
    const int target = core::TargetPoint(value, LinkOpen());
    const PointRecord& p = points_.PointTable()[target];
    const std::optional<double> raw =
        PointDatabase::RawFromScaled(fileValue, p.ScaleMult, p.ScaleOffset);
    if (!raw) {
        return "the tag file gives point " + IntToText(target) +
               " a scale multiplier of 0, so no value can be sent to it";
    }
    const std::optional<RawRange> type = PointDatabase::TypeCodeRange(p.Pt_Flags);
    if (!type) {
        return "the tag file gives point " + IntToText(target) + " a data type that holds no value";
    }
    if (!(*raw >= static_cast<double>(type->min) && *raw <= static_cast<double>(type->max))) {
        // The type's limits in the engineering units of the file.
        const double a = static_cast<double>(type->min) * p.ScaleMult + p.ScaleOffset;
        const double b = static_cast<double>(type->max) * p.ScaleMult + p.ScaleOffset;
        return DoubleToText(fileValue) + " is outside " + Range(std::min(a, b), std::max(a, b));
    }
    if (value.kind != core::RestoreValueKind::Neutral) {
        const double low = state_.EnhancedMode ? 0.0 : LegacyAdjustLow;
        const double high =
            state_.EnhancedMode ? Scaled(core::PointsOf(value.axis).adjustMax) : LegacyAdjustHigh;
        if (!(fileValue >= low && fileValue <= high)) {
            return DoubleToText(fileValue) + " is outside " + Range(low, high);
        }
    }
    // Sent, it would be cut short to the step below, and read back as "verified".
    if (!PointDatabase::WholeRawFromScaled(fileValue, p.ScaleMult, p.ScaleOffset)) {
        return DoubleToText(fileValue) + " lies between two values point " + IntToText(target) +
               " can hold (its steps are " + DoubleToText(p.ScaleMult) + ")";
    }
    return {};
}

// "<name>|<controller value now>|<file value>" for each value the restore sets.
void AppService::SendPreviewRows() {
    for (const core::RestoreValue& value : core::RestoreValueTable) {
        const int point = core::ValuePoint(value);
        std::string row(value.name);
        row += '|';
        row += state_.Comms == CommsState::Good ? DoubleToText(Scaled(point))
                                                : std::string(display_values::NoComms);
        row += '|';
        row += DoubleToText(state_.CalibrationBuffer[point]);
        Show(display_keys::RestorePreviewRow, row);
    }
}

}  // namespace kestrova
