// Ending a restore before its last step: the link went away, the controller stopped answering,
// or the operator asked for a stop. What the controller has taken stays; with the link still
// open the file's values not yet sent are withdrawn and every axis is put back in Normal.
#include <string>

#include "common/number_text.h"
#include "core/app_service.h"
#include "core/core_tables.h"
#include "core/restore_values.h"
#include "core/ui_names.h"

namespace kestrova {

void AppService::InterruptRestore(std::string_view why) {
    if (state_.RestoreStepNumber != 0) {
        std::string text = "Restore interrupted at step " + IntToText(state_.RestoreStepNumber) +
                           " of " + IntToText(RestoreLastStep);
        if (!why.empty()) text += ": " + std::string(why);
        state_.RestoreStepNumber = 0;
        if (LinkOpen()) WriteAxesNormal();
        Show(display_keys::DebugInfo, text);
        Show(display_keys::HideNotification, display_values::Unused);
        // The window gave up the axes for the restore; it takes them back with the mode.
        Show(display_keys::ModeSelect,
             state_.EnhancedMode ? display_values::Enhanced : display_values::Legacy);
        Show(display_keys::RestoreState, display_values::RestoreIdle);
        Show(display_keys::MessageBox, text);
    }
    if (state_.Verification.active) {
        FinishVerification(why.empty() ? "not read back, the link closed"
                                       : "not read back, " + std::string(why));
    }
}

// A value still waiting would otherwise go out whenever replies resume, in point order and with
// its axis no longer in the mode that applies it: both its request and a write already placed in
// this cycle's blocks are withdrawn; one already on its way is answered as usual.
// The mode writes go over any Increment or Decrement still waiting to be sent; the write errors
// are cleared first so that AxesBackInNormal sees only these writes' answers.
void AppService::WriteAxesNormal() {
    for (const core::RestoreValue& value : core::RestoreValueTable) {
        const int point = core::TargetPoint(value, true);
        points_.ClearPointWriteRequest(point);
        protocol_.WithdrawQueuedWrites(point);
    }
    for (const core::AxisPoints& p : core::AxisPointTable) {
        points_.ClearPointWriteError(p.mode);
        WriteValue(p.mode, core::ModeNormal);
    }
}

// The steps end at once; the read-back after the last step (every axis already back in Normal)
// is dropped unfinished.
void AppService::StopRestore() {
    if (state_.RestoreStepNumber != 0) {
        InterruptRestore("stopped");
    } else if (state_.Verification.active) {
        state_.Verification = {};
        Show(display_keys::RestoreState, display_values::RestoreIdle);
    }
}

bool AppService::AxesBackInNormal() const {
    for (const core::AxisPoints& p : core::AxisPointTable) {
        const PointRecord& record = points_.PointTable()[p.mode];
        if (points_.PointWriteBusy(p.mode) || (record.Msg_Flags & MsgWriteError) != 0 ||
            record.ScaledValue != core::ModeNormal) {
            return false;
        }
    }
    return true;
}

}  // namespace kestrova
