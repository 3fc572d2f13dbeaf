#include <utility>

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
constexpr std::string_view RestoreWaitsForComms =
    "The restore did not start: the controller is not answering, so its values cannot be backed "
    "up. Wait for \"Comms Good\", then open the parameter file again.";

}  // namespace

double AppService::ClampValue(double value, double minimum, double maximum) {
    if (value > maximum) return maximum;
    if (value < minimum) return minimum;
    return value;
}

void AppService::SaveParameterFile(const std::filesystem::path& path) {
    // Every point is saved, not only the calibration points.
    for (int point = 0; point < MaxPoints; ++point) state_.CalibrationBuffer[point] = Scaled(point);
    WriteParameterValues(path, state_.CalibrationBuffer);
}

void AppService::WriteParameterValues(const std::filesystem::path& path,
                                      const std::array<double, MaxPoints>& values) {
    // Parameter files go to folders others may write to: a symbolic link at the name is replaced,
    // never read, so no file it leads to finds its way into the saved one.
    IniDocument file(path, IniDocument::Link::Ignore);
    for (int point = 0; point < MaxPoints; ++point) {
        file.WriteFloat(TagFile::PointSectionName(point), ScaledValueKey, values[point]);
    }
    file.Save();  // FileError "Cannot create file <path>"; the old file stays as it was
}

void AppService::LoadParameterFile(const std::filesystem::path& path) {
    LoadParameterFile(IniDocument(path));
}

void AppService::LoadParameterFile(const IniDocument& file) {
    // A missing file, section or key reads as 0. A value that is no number throws
    // ConversionError; the entries before it already hold their new values.
    for (int point = 0; point < MaxPoints; ++point) {
        // "-0" is 0, so it previews and compares as unchanged against a 0.
        state_.CalibrationBuffer[point] =
            file.ReadFloat(TagFile::PointSectionName(point), ScaledValueKey, 0.0) + 0.0;
    }
}

// The operator's answer to the preview of a file that passed its checks. "Restore" backs the
// controller's values up and starts the steps at the next supervisor run; a backup that cannot
// be written starts nothing, and the operator opens the file again to retry. With the link open
// but the controller not answering (yet, or any more) nothing starts either: the point table
// holds no values of the controller's to back up, and the steps' writes would only queue.
void AppService::AnswerRestorePreview(bool restore) {
    if (!std::exchange(state_.RestorePending, false)) {
        Show(display_keys::DebugInfo, "No parameter file waits for a restore");
        return;
    }
    if (!restore) {
        Show(display_keys::DebugInfo, "Restore cancelled: nothing written");
        return;
    }
    if (LinkOpen() && state_.Comms != CommsState::Good) {
        Show(display_keys::MessageBox, RestoreWaitsForComms);
        return;
    }
    const BackupOutcome backup = BackupBeforeRestore();
    if (!backup.written) {
        Show(display_keys::MessageBox, backup.text);
        return;
    }
    // Under way before the window hears of it, so a file event it sends meanwhile is refused.
    state_.RestoreStepNumber = 1;
    Show(display_keys::DebugInfo, backup.text);
    ++state_.RestoresStarted;
    Show(display_keys::RestoreState, display_values::RestoreRunning);
}

// One call per supervisor run while a restore is under way: waits out the delay, then runs the
// current step and moves to the next. Step 17 (or any number above it) ends the steps, and the
// verification follows.
void AppService::RestoreStep() {
    if (state_.RestoreStepNumber == 0) return;
    if (state_.RestoreDelay != 0) return;
    state_.RestoreDelay = RestoreDelayLoad;

    const std::uint32_t step = state_.RestoreStepNumber;
    RunRestoreStep(step);
    // The step's display commands may have run events or ticks that ended the restore (a lost
    // device); it then stays ended.
    if (state_.RestoreStepNumber != step) return;
    if (step < RestoreLastStep) {
        state_.RestoreStepNumber = step + 1;
        return;
    }
    state_.RestoreStepNumber = 0;
    StartVerification();
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
        Show(display_keys::ShowNotification, display_values::Restoring);
        return;
    }

    if (step >= RestoreLastStep) {
        state_.EnhancedMode = true;
        Show(display_keys::ModeSelect, display_values::Enhanced);
        Show(display_keys::HideNotification, display_values::Unused);
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
