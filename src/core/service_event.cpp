#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/app_service.h"
#include "core/core_tables.h"
#include "core/ui_names.h"
#include "port/open_failure_reason.h"

namespace kestrova {
namespace {

using event_texts::OnClick;

constexpr std::int32_t NewBaud = 38400;
constexpr std::int32_t NewDataBits = 8;
constexpr std::int32_t NewParity = 0;    // none
constexpr std::int32_t NewStopBits = 1;  // one stop bit

}  // namespace

// Every event pair is tested on every call, in a fixed order; object names differ between the
// tests, so at most one acts. A test that converts its event text and meets a bad number throws
// ConversionError out of here at that test, before the debug line.
//
// Nothing read before a DisplayUpdate is relied on after it: the window may deliver another
// event from inside DisplayUpdate, and that event may change points or core state.
void AppService::ServiceEvent(std::string_view objectName, std::string_view eventText) {
    bool acted = false;
    const bool onClick = eventText == OnClick;
    const std::uint64_t writesBefore = state_.ValueWrites;

    // Axis mode selection. Only one axis at a time may leave Normal. An entry of an axis already
    // in that mode writes nothing: the window's focus following the mode display raises the
    // entry pair again, and the controller would get the same write twice.
    for (Axis axis : Axes) {
        const core::AxisPoints& p = core::PointsOf(axis);
        const AxisEventNames& names = EventNamesOf(axis);
        const auto othersNormal = [&] {
            return Scaled(p.otherMode1) == core::ModeNormal &&
                   Scaled(p.otherMode2) == core::ModeNormal;
        };

        if (objectName == names.axisButton && onClick) {
            acted = true;
            WriteValue(p.mode, core::ModeNormal);
            Show(DisplayKeysOf(axis).modeSelect, display_values::Normal);
        }
        if (objectName == names.posEntry && onClick) {
            acted = true;
            if (othersNormal() && Scaled(p.mode) != core::ModeIncrement) {
                WriteValue(p.mode, core::ModeIncrement);
            }
        }
        if (objectName == names.negEntry && onClick) {
            acted = true;
            if (othersNormal() && Scaled(p.mode) != core::ModeDecrement) {
                WriteValue(p.mode, core::ModeDecrement);
            }
        }
    }

    // Adjust value steps and track bars. Steps move a value by exactly 1 and only while it is
    // inside its range; track bar values are written as they come.
    for (Axis axis : Axes) {
        const core::AxisPoints& p = core::PointsOf(axis);
        const AxisEventNames& names = EventNamesOf(axis);
        // The range of the adjust values: 0 to the controller's adjust maximum in enhanced
        // mode, the fixed legacy range otherwise.
        const auto high = [&] {
            return state_.EnhancedMode ? Scaled(p.adjustMax) : LegacyAdjustHigh;
        };
        const auto low = [&] { return state_.EnhancedMode ? 0.0 : LegacyAdjustLow; };

        if (objectName == names.posInc && onClick) {
            acted = true;
            const double value = Scaled(p.posAdjust);
            if (value < high()) WriteValue(p.posAdjust, value + 1.0);
        }
        if (objectName == names.posDec && onClick) {
            acted = true;
            const double value = Scaled(p.posAdjust);
            if (value > low()) WriteValue(p.posAdjust, value - 1.0);
        }
        if (objectName == names.posTrackValue) {
            acted = true;
            WriteValue(p.posAdjust, static_cast<double>(TextToInt(eventText)));
        }
        if (objectName == names.negInc && onClick) {
            acted = true;
            const double value = Scaled(p.negAdjust);
            if (value > low()) WriteValue(p.negAdjust, value - 1.0);
        }
        if (objectName == names.negDec && onClick) {
            acted = true;
            const double value = Scaled(p.negAdjust);
            if (value < high()) WriteValue(p.negAdjust, value + 1.0);
        }
        if (objectName == names.negTrackValue) {
            acted = true;
            // The negative bar shows the magnitude negated. Negated as a double, so the
            // smallest integer turns positive too.
            WriteValue(p.negAdjust, -static_cast<double>(TextToInt(eventText)));
        }
    }

    // Controller mode.
    if (objectName == event_names::ButtonModeEnhanced && onClick) {
        acted = true;
        WriteValue(core::ControllerModePoint, 1.0);
        state_.EnhancedMode = true;
    }
    if (objectName == event_names::ButtonModeLegacy && onClick) {
        acted = true;
        WriteValue(core::ControllerModePoint, 0.0);
        state_.EnhancedMode = false;
    }

    // Port selection; the event text is the index in the port list.
    if (objectName == event_names::CommsSelect) {
        acted = true;
        SelectPort(TextToInt(eventText), true);
    }
    if (objectName == event_names::CommsSelectOpened) {
        acted = true;
        RefreshPortList();
    }

    // Parameter file save and restore. While a restore is under way the operator is told to
    // wait: a save would mix old and new values, an open would start over the running steps.
    const bool fileEvent = objectName == event_names::FileSave_Selected ||
                           objectName == event_names::FileOpen_Selected ||
                           objectName == event_names::RestorePreview_Selected;
    if (fileEvent && RestoreUnderWay()) {
        acted = true;
        Show(display_keys::MessageBox, RestoreUnderWayMessage);
    } else if (objectName == event_names::FileSave_Selected) {
        acted = true;
        // The save fills the calibration buffer, so a file waiting for its preview's answer is
        // no longer there to restore.
        state_.RestorePending = false;
        SaveParameterFile(PathFromUtf8(eventText));
        // Pending before the banner goes up, so the hold covers a banner shown by a nested event.
        state_.NotifyPending = true;
        state_.NotifyHoldTicks = NotifyHoldLoad;
        Show(display_keys::ShowNotification, display_values::Saved);
    } else if (objectName == event_names::FileOpen_Selected) {
        acted = true;
        OpenParameterFile(PathFromUtf8(eventText));
    } else if (objectName == event_names::RestorePreview_Selected &&
               (eventText == event_texts::Restore || eventText == event_texts::Cancel)) {
        acted = true;
        AnswerRestorePreview(eventText == event_texts::Restore);
    }

    // The link views.
    if (objectName == event_names::LinkStatisticsReset && onClick) {
        acted = true;
        ResetLinkStatistics();
    }
    if (objectName == event_names::SaveProtocolTrace_Selected) {
        acted = true;
        SaveProtocolTrace(PathFromUtf8(eventText));
    }

    // Debug panel.
    if (objectName == event_names::ButtonDebugAppInfo && onClick) {
        acted = true;
        state_.DebugCommsOverride = !state_.DebugCommsOverride;
    }
    if (objectName == event_names::DebugAction && eventText == event_texts::ForceRefresh) {
        acted = true;
        ResetDisplayCache();
    }
    if (objectName == event_names::DebugPoint) {
        acted = true;
        const std::int32_t point = TextToInt(eventText);
        std::string text = "Pt[";
        text += IntToText(point);
        text += "]=>";
        // The table has no point outside 0..39: say so instead of reading past it.
        text += PointDatabase::PointIndexValid(point) ? DoubleToText(Scaled(point))
                                                      : std::string("invalid point");
        text += '<';
        Show(display_keys::DebugInfo, text);
    }

    if (state_.ValueWrites != writesBefore) ++state_.OperatorAdjustments;

    std::string line = acted ? "App Msg >" : "App Err Not procd >";
    line += objectName;
    line += "<>";
    line += eventText;
    line += '<';
    Show(display_keys::DebugInfo, line);
    if (!acted) Show(display_keys::DebugColour, display_values::BlackOnRed);
}

void AppService::WriteValue(int point, double value) {
    ++state_.ValueWrites;
    if (points_.WritePoint(point, value) || !PointDatabase::PointIndexValid(point)) return;
    // A multiplier of 0 turns no value into a raw one: nothing is sent, and the memo says once
    // which point of the tag file needs mending.
    if (std::exchange(state_.UnwritableReported[point], true)) return;
    std::string text = "Tag file misconfigured: point ";
    text += IntToText(point);
    text += " (";
    text += points_.PointName(point);
    text += ") has ScaleMult 0, so no value is sent to it";
    Show(display_keys::DebugInfo, text);
}

bool AppService::SelectPortSettings(std::int32_t port) {
    if (port_.SettingsRequest() != SettingsRequestState::Idle) return false;
    port_.PortBeginSettings();
    port_.PortSetNewPort(port);
    port_.PortSetNewBaud(NewBaud);
    port_.PortSetNewData(NewDataBits);
    port_.PortSetNewParity(NewParity);
    port_.PortSetNewStop(NewStopBits);
    port_.PortCommitSettings();
    return true;
}

// Port selection: close the link when open, make port index + 1 with the controller's line
// settings current at once, and open it. The operator's pick ends any watch for a device that
// went away; the watch's own selection keeps watching until the link opens.
void AppService::SelectPort(std::int32_t index, bool byOperator) {
    const std::int64_t number = std::int64_t{index} + 1;
    const std::string numberText = IntToText(number);
    const auto port = static_cast<std::int32_t>(
        std::min<std::int64_t>(number, std::numeric_limits<std::int32_t>::max()));

    if (byOperator) {
        state_.AwaitingReturn = false;
        state_.OpenFailureBoxShown = false;
        busyReason_.clear();
    }
    Show(display_keys::DebugInfo, "COM:" + numberText);
    if (LinkOpen()) Disconnect();

    SelectPortSettings(port);
    port_.PortBeginApply();
    port_.PortApplySettings();
    port_.PortEndApply();

    if (port_.SettingsRequest() != SettingsRequestState::Idle) {
        Show(display_keys::DebugInfo, "COM: being changed");
        SetCommsState(CommsState::None, "COM" + numberText + " Not Valid");
        Show(display_keys::CommsSelect, display_values::NotValidPort);
    } else if (Connect()) {
        state_.AwaitingReturn = false;
        if (std::exchange(state_.StatusHintShown, false)) Show(display_keys::CommsStatusHint, "");
        Show(display_keys::DebugInfo, "COM:" + numberText + " Success");
        NoteLinkTiming();
        SetCommsState(CommsState::PortOpen, "COM:" + numberText + " Connect");
        Show(display_keys::CommsSelect, "COM:" + numberText);
    } else {
        // A busy device's holder is looked for once per selection: the return watch's tries,
        // once a second, repeat what the first one found.
        const OpenFailure failure = port_.LastOpenFailure();
        OpenFailureReason reason{OpenProblem::InUse, busyReason_};
        if (failure != OpenFailure::AlreadyOpen || busyReason_.empty()) {
            reason = ExplainOpenFailure(failure, port_.DeviceName());
            if (reason.problem == OpenProblem::InUse) busyReason_ = reason.text;
        }
        Show(display_keys::DebugInfo, "COM" + numberText + " Failed");
        SetCommsState(CommsState::None, "COM" + numberText + " Not Valid");
        Show(display_keys::CommsSelect, display_values::NotValidPort);
        ReportOpenFailure(reason);
    }

    state_.LastLinkState = port_.LinkState();
}

}  // namespace kestrova
