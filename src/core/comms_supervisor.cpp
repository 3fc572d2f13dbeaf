#include <string>

#include "common/number_text.h"
#include "core/app_service.h"
#include "core/core_tables.h"
#include "core/ui_names.h"

namespace kestrova {
namespace {

using core::AxisPointTable;

constexpr std::string_view LegacyAdjustHighText = "15352";

// The negated value as the display shows it; a zero magnitude reads "0", not "-0".
double Negated(double value) { return 0.0 - value; }

bool IsAxisModePoint(int point) {
    for (const core::AxisPoints& p : AxisPointTable) {
        if (p.mode == point) return true;
    }
    return false;
}

// Display text of an axis mode value; empty for a value that is no mode.
std::string_view ModeText(double value) {
    if (value == core::ModeNormal) return display_values::Normal;
    if (value == core::ModeIncrement) return display_values::Increment;
    if (value == core::ModeDecrement) return display_values::Decrement;
    return {};
}

}  // namespace

// The periodic comms task, run on every fifth system tick: comms status, changed point values,
// the notification hold and the next restore step (or the restore's verification), in this order.
void AppService::CommsSupervisor() {
    if (state_.BlinkCounter != 0) {
        --state_.BlinkCounter;
    } else {
        state_.BlinkCounter = BlinkCounterLoad;
        state_.FlashPhase = !state_.FlashPhase;
    }

    if (const std::string_view notice = port_.TakeLineNotice(); !notice.empty()) {
        Show(display_keys::DebugInfo, notice);
    }
    const bool linkLost =
        port_.LinkState() != PortLinkState::Open && state_.LastLinkState == PortLinkState::Open;
    const CommsState commsBefore = state_.Comms;
    AdvanceCommsState(port_.LinkState());
    if (state_.Comms == CommsState::Good) lineFailure_.clear();
    if (linkLost) {
        LinkWentAway();
    } else if (commsBefore == CommsState::Good && state_.Comms == CommsState::PortOpen) {
        // The writes of later steps would only queue up and go out, out of order, whenever
        // replies come back.
        InterruptRestore("comms lost");
    }

    state_.PreviousFlashPhase = state_.FlashPhase;
    // Read again rather than kept from above: a port selection made from inside a display
    // command has already recorded the link it left.
    state_.LastLinkState = port_.LinkState();
    if (LinkOpen()) {
        NoteUnitValues();
    } else {
        ForgetUnitValues();
    }

    PushPointDisplays();

    if (state_.NotifyPending && state_.NotifyHoldTicks == 0) {
        // Cleared first: a save made from inside the command raises it again for its own banner.
        state_.NotifyPending = false;
        Show(display_keys::HideNotification, display_values::Unused);
    }

    if (state_.RestoreStepNumber != 0) {
        Show(display_keys::DebugInfo, "Rest Seq: " + IntToText(state_.RestoreStepNumber));
        RestoreStep();
    } else if (state_.Verification.active) {
        VerifyRestore();
    }
}

void AppService::AdvanceCommsState(PortLinkState linkState) {
    // Closed and OpenFailed both count as lost when the last run saw the link open.
    const bool linkLost =
        linkState != PortLinkState::Open && state_.LastLinkState == PortLinkState::Open;

    const auto flash = [this](std::string_view phaseOn, std::string_view phaseOff) {
        if (state_.FlashPhase != state_.PreviousFlashPhase) {
            Show(display_keys::CommsStatus, state_.FlashPhase ? phaseOn : phaseOff);
        }
    };

    switch (state_.Comms) {
        case CommsState::PortOpen:
            if (linkLost) {
                SetCommsState(CommsState::None, display_values::PortLost);
            } else if (RepliesActive()) {
                state_.ConnectSettleTicks = ConnectSettleLoad;
                SetCommsState(CommsState::Connecting, display_values::ConnectingLeft);
            }
            break;
        case CommsState::Connecting:
            if (linkLost) {
                SetCommsState(CommsState::None, display_values::PortLost);
            } else if (RepliesActive()) {
                if (state_.ConnectSettleTicks == 0) {
                    Show(display_keys::CommsStatus, display_values::CommsGood);
                    // A port selection made from inside the command has set the state it wants.
                    if (state_.Comms != CommsState::Connecting) break;
                    SetCommsState(CommsState::Good, display_values::CommsGood);
                    if (state_.Comms != CommsState::Good) break;
                }
                flash(display_values::ConnectingLeft, display_values::ConnectingRight);
            } else {
                SetCommsState(CommsState::PortOpen, display_values::CommsLost);
            }
            break;
        case CommsState::Good:
            if (linkLost) {
                SetCommsState(CommsState::None, display_values::PortLost);
            } else if (RepliesActive()) {
                flash(display_values::GoodFlashOn, display_values::GoodFlashOff);
            } else {
                SetCommsState(CommsState::PortOpen, display_values::CommsLost);
            }
            break;
        default:  // CommsState::None: only a port selection leaves it
            break;
    }
}

void AppService::ForgetUnitValues() {
    state_.FromUnit.fill(false);
    for (int point = 0; point < MaxPoints; ++point) {
        state_.ReplyCountsAtOpen[point] = points_.PointTable()[point].Msg_Count;
    }
}

// The receiver counts a good exchange after it has stored and scaled the value it brought.
void AppService::NoteUnitValues() {
    for (int point = 0; point < MaxPoints; ++point) {
        if (points_.PointTable()[point].Msg_Count != state_.ReplyCountsAtOpen[point]) {
            state_.FromUnit[point] = true;
        }
    }
}

void AppService::PushPointDisplays() {
    for (Axis axis : Axes) {
        const core::AxisPoints& p = core::PointsOf(axis);
        const AxisDisplayKeys& keys = DisplayKeysOf(axis);

        if (ValueChanged(p.neutral)) Show(keys.neutralValue, DoubleToText(Scaled(p.neutral)));
        if (ValueChanged(p.adjustMax)) SendRangeKeys(axis, Scaled(p.adjustMax));
        if (ValueChanged(p.posAdjust)) Show(keys.posAdjustValue, DoubleToText(Scaled(p.posAdjust)));
        if (ValueChanged(p.negAdjust)) {
            Show(keys.negAdjustValue, DoubleToText(Negated(Scaled(p.negAdjust))));
        }
        if (ValueChanged(p.output)) Show(keys.outputValue, DoubleToText(Scaled(p.output)));
        if (ValueChanged(p.mode)) {
            const std::string_view text = ModeText(Scaled(p.mode));
            if (!text.empty()) Show(keys.modeSelect, text);
        }
    }

    if (ValueChanged(core::ControllerModePoint)) {
        const bool enhanced = Scaled(core::ControllerModePoint) != 0.0;
        // Mode and cache are settled before the command goes out, so a mode button event
        // delivered from inside it has the last word.
        state_.EnhancedMode = enhanced;
        // The neutral values and the adjust ranges go out again at the next run, in the form of
        // the new mode.
        for (const core::AxisPoints& p : AxisPointTable) {
            state_.DisplayCache[p.neutral] = DisplayCacheUnset;
            state_.DisplayCache[p.adjustMax] = DisplayCacheUnset;
        }
        Show(display_keys::ModeSelect,
             enhanced ? display_values::Enhanced : display_values::Legacy);
    }

    if (ValueChanged(core::VersionShownPoint)) {
        Show(display_keys::SoftwareVersionNumber, DoubleToText(Scaled(core::VersionShownPoint)));
    }
}

void AppService::SendRangeKeys(Axis axis, double maximum) {
    const AxisDisplayKeys& keys = DisplayKeysOf(axis);
    if (state_.EnhancedMode) {
        Show(keys.posMax, DoubleToText(maximum));
        Show(keys.posMin, "0");
        Show(keys.negMin, DoubleToText(Negated(maximum)));
        Show(keys.negMax, "0");
    } else {
        Show(keys.posMax, LegacyAdjustHighText);
        Show(keys.negMax, LegacyAdjustHighText);
    }
}

CommsState AppService::SetCommsState(CommsState commsState, std::string_view text) {
    state_.Comms = commsState;
    switch (commsState) {
        case CommsState::None: Show(display_keys::CommsStatus, display_values::CommsNone); break;
        case CommsState::PortOpen:
            Show(display_keys::CommsStatus, display_values::PortConnected);
            break;
        case CommsState::Connecting:
            // The colour stays as it was.
            state_.ConnectSettleTicks = ConnectSettleLoad;
            break;
        case CommsState::Good: Show(display_keys::CommsStatus, display_values::GoodFlashOn); break;
        default:  // a number that is no state
            state_.Comms = CommsState::None;
            text = display_values::InvalidState;
            Show(display_keys::CommsStatus, display_values::CommsNone);
            break;
    }
    Show(display_keys::CommsStatus, text);
    return state_.Comms;
}

// Replies count as flowing from the first change of point 6's exchange counter until
// ReplyWatchdogLoad system ticks pass without one; the debug override forces them on.
bool AppService::RepliesActive() {
    bool result = state_.RepliesActiveResult;
    const std::int32_t count = points_.PointTable()[core::ControllerModePoint].Msg_Count;
    if (count != state_.LastReplyCount) {
        state_.LastReplyCount = count;
        state_.ReplyWatchdog = ReplyWatchdogLoad;
        result = true;
    } else if (state_.ReplyWatchdog == 0) {
        result = false;
    }
    if (state_.DebugCommsOverride) result = true;
    state_.RepliesActiveResult = result;
    return result;
}

bool AppService::ValueChanged(int point) {
    if (!PointDatabase::PointIndexValid(point)) return false;
    const double value = Scaled(point);
    bool changed = state_.DisplayCache[point] != value;
    if (changed) state_.DisplayCache[point] = value;
    // While the connection is being established every value but the axis modes goes out on
    // each run, so the window catches up with what the first replies deliver.
    if (state_.Comms == CommsState::Connecting && !IsAxisModePoint(point)) {
        state_.DisplayCache[point] = value;
        changed = true;
    }
    return changed;
}

}  // namespace kestrova
