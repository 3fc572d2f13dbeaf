#include "common/ini_document.h"
#include "core/app_service.h"
#include "core/core_tables.h"
#include "core/ui_names.h"

// Parameter files: one section per point ("POINT00000" to "POINT00039", the tag file's section
// names), each with the single key ScaledValue holding the point's engineering value. A save
// keeps everything else an existing file holds; a load leaves the file untouched.
namespace kestrova {
namespace {

constexpr std::string_view ScaledValueKey = "ScaledValue";

// What one step of an axis does, for steps 2 to 16: five steps per axis.
enum class AxisStep { Increment, NeutralAndPositive, Decrement, Negative, Normal };
constexpr int StepsPerAxis = 5;
constexpr std::uint32_t FirstAxisStep = 2;

}  // namespace

double AppService::ClampValue(double value, double minimum, double maximum) {
    if (value > maximum) return maximum;
    if (value < minimum) return minimum;
    return value;
}

void AppService::SaveParameterFile(const std::filesystem::path& path) {
    // Every point is saved, not only the calibration points.
    for (int point = 0; point < MaxPoints; ++point) state_.CalibrationBuffer[point] = Scaled(point);

    IniDocument file(path);
    for (int point = 0; point < MaxPoints; ++point) {
        file.WriteFloat(TagFile::PointSectionName(point), ScaledValueKey,
                        state_.CalibrationBuffer[point]);
    }
    file.Save();  // FileError "Cannot create file <path>"; the old file stays as it was
}

void AppService::LoadParameterFile(const std::filesystem::path& path) {
    // A missing file, section or key reads as 0. A value that is no number throws
    // ConversionError; the entries before it already hold their new values.
    const IniDocument file(path);
    for (int point = 0; point < MaxPoints; ++point) {
        state_.CalibrationBuffer[point] =
            file.ReadFloat(TagFile::PointSectionName(point), ScaledValueKey, 0.0);
    }
}

// One call per supervisor run while a restore is under way: waits out the delay, then runs the
// current step and moves to the next. Step 17 (or any number above it) ends the restore.
void AppService::RestoreStep() {
    if (state_.RestoreStepNumber == 0) return;
    if (state_.RestoreDelay != 0) return;
    state_.RestoreDelay = RestoreDelayLoad;

    const std::uint32_t step = state_.RestoreStepNumber;
    RunRestoreStep(step);
    // A restore started again from inside one of the step's display commands keeps its new
    // step number.
    if (state_.RestoreStepNumber == step) {
        state_.RestoreStepNumber = step >= RestoreLastStep ? 0 : step + 1;
    }
}

// Each axis in turn: Increment, its neutral and positive adjust values, Decrement, its negative
// adjust value, Normal. With the link open the adjust values go unchanged to the axis's restore
// targets, which the controller applies in the matching mode; with the link closed they go into
// the adjust value points, limited to 0 .. the axis's adjust maximum.
void AppService::RunRestoreStep(std::uint32_t step) {
    const auto& buffer = state_.CalibrationBuffer;

    if (step == 1) {
        for (const core::AxisPoints& p : core::AxisPointTable) {
            WriteValue(p.mode, core::ModeNormal);
        }
        Show(display_keys::ShowNotification, "Restoring...");
        return;
    }

    if (step >= RestoreLastStep) {
        state_.EnhancedMode = true;
        Show(display_keys::ModeSelect, "ENHANCED");
        Show(display_keys::HideNotification, "nothing");
        return;
    }

    const auto index = static_cast<int>(step - FirstAxisStep);
    const core::AxisPoints& p = core::AxisPointTable[index / StepsPerAxis];
    switch (static_cast<AxisStep>(index % StepsPerAxis)) {
        case AxisStep::Increment: WriteValue(p.mode, core::ModeIncrement); break;
        case AxisStep::NeutralAndPositive:
            WriteValue(p.neutral, buffer[p.neutral]);
            if (LinkOpen()) {
                WriteValue(p.posRestore, buffer[p.posAdjust]);
            } else {
                WriteValue(p.posAdjust, ClampValue(buffer[p.posAdjust], 0.0, Scaled(p.adjustMax)));
            }
            break;
        case AxisStep::Decrement: WriteValue(p.mode, core::ModeDecrement); break;
        case AxisStep::Negative:
            if (LinkOpen()) {
                WriteValue(p.negRestore, buffer[p.negAdjust]);
            } else {
                WriteValue(p.negAdjust, ClampValue(buffer[p.negAdjust], 0.0, Scaled(p.adjustMax)));
            }
            break;
        case AxisStep::Normal: WriteValue(p.mode, core::ModeNormal); break;
    }
}

}  // namespace kestrova
