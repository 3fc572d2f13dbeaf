// After the last restore step with the link open: each calibration value is read back from the
// controller and compared with the file, so a restore the controller did not take over is not
// reported as done.
//
// Exchanges go one at a time. Once no write request is left, the restore's writes have all been
// answered, and a good exchange counted for a value after that moment is a read sent after the
// last write: its reply shows what the controller holds now.
#include <string>

#include "common/number_text.h"
#include "core/app_service.h"
#include "core/ui_names.h"

namespace kestrova {
namespace {

constexpr std::string_view Verified = "Restore verified";
constexpr std::string_view NotVerified = "Restore NOT verified";

}  // namespace

void AppService::StartVerification() {
    if (!LinkOpen()) {
        Show(display_keys::DebugInfo,
             "Restore not verified: the link is closed, no value can be read back");
        Show(display_keys::RestoreState, display_values::RestoreIdle);
        return;
    }
    state_.Verification = RestoreVerification{.active = true, .ticksLeft = RestoreVerifyLoad};
    Show(display_keys::DebugInfo, "Restore verification: reading the values back");
}

bool AppService::AnyWritePending() const {
    for (int point = 0; point < MaxPoints; ++point) {
        if (points_.PointWriteBusy(point)) return true;
    }
    return false;
}

// One call per supervisor run while the verification is under way.
void AppService::VerifyRestore() {
    RestoreVerification& v = state_.Verification;
    const auto& table = points_.PointTable();
    if (!v.writesSettled && !AnyWritePending()) {
        v.writesSettled = true;
        for (std::size_t i = 0; i < core::RestoreValueCount; ++i) {
            v.settledCounts[i] = table[core::ValuePoint(core::RestoreValueTable[i])].Msg_Count;
        }
        return;
    }
    bool allRead = v.writesSettled;
    for (std::size_t i = 0; allRead && i < core::RestoreValueCount; ++i) {
        allRead =
            table[core::ValuePoint(core::RestoreValueTable[i])].Msg_Count != v.settledCounts[i];
    }
    if (allRead) {
        FinishVerification({});
    } else if (v.ticksLeft == 0) {
        FinishVerification("not read back within 5 s");
    }
}

// Compares each value read back with the one the restore sent, as raw values: the file's value
// turned into the raw value of the point it was written to, against the raw value the
// controller reports. Then the verdict goes to the banner, and a failure to a message box.
void AppService::FinishVerification(std::string_view unreadReason) {
    const RestoreVerification v = state_.Verification;
    state_.Verification = {};
    const auto& table = points_.PointTable();

    std::string problems;
    for (std::size_t i = 0; i < core::RestoreValueCount; ++i) {
        const core::RestoreValue& value = core::RestoreValueTable[i];
        const int point = core::ValuePoint(value);
        const double fileValue = state_.CalibrationBuffer[point];
        const PointRecord& target = table[core::TargetPoint(value, true)];
        const std::optional<double> sent =
            PointDatabase::WholeRawFromScaled(fileValue, target.ScaleMult, target.ScaleOffset);
        std::string problem;
        if (!v.writesSettled || table[point].Msg_Count == v.settledCounts[i]) {
            problem = unreadReason;
        } else if (!sent || *sent != static_cast<double>(table[point].RawValue)) {
            problem =
                "file " + DoubleToText(fileValue) + ", controller " + DoubleToText(Scaled(point));
        }
        if (!problem.empty()) core::AppendProblem(problems, value, problem);
    }

    state_.NotifyPending = true;
    state_.NotifyHoldTicks = NotifyHoldLoad;
    Show(display_keys::RestoreState, display_values::RestoreIdle);
    if (problems.empty()) {
        Show(display_keys::DebugInfo, Verified);
        Show(display_keys::ShowNotification, Verified);
        return;
    }
    const std::string text = std::string(NotVerified) + ":" + problems;
    Show(display_keys::DebugInfo, text);
    Show(display_keys::ShowNotification, NotVerified);
    Show(display_keys::MessageBox, text);
}

}  // namespace kestrova
