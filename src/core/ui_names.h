#pragma once

#include <array>
#include <string_view>

#include "common/axis.h"

// The texts the core and the dashboard exchange: the keys of the display commands the core sends
// to the window, and the object names and event texts of the event pairs the window sends to the
// core. Both sides name them from here, so a misspelt name does not compile. Pan's names carry an
// underscore after the axis word, Tilt's and Roll's do not.
namespace kestrova {

namespace display_keys {
inline constexpr std::string_view ModeSelect = "ModeSelect";
inline constexpr std::string_view SoftwareVersionNumber = "SoftwareVersionNumber";
inline constexpr std::string_view ShowNotification = "ShowNotification";
inline constexpr std::string_view HideNotification = "HideNotification";
inline constexpr std::string_view CommsStatus = "CommsStatus";
inline constexpr std::string_view CommsSelect = "CommsSelect";
inline constexpr std::string_view DebugInfo = "DebugInfo";
inline constexpr std::string_view DebugColour = "DebugColour";
// The tooltip of one port list entry: "<COM number> <text>".
inline constexpr std::string_view CommsSelectHint = "CommsSelectHint";
// The tooltip of the comms status indicator: why the last port selection failed, or empty.
inline constexpr std::string_view CommsStatusHint = "CommsStatusHint";
// A message for the operator, shown in a box titled with the application's name.
inline constexpr std::string_view MessageBox = "MessageBox";
// One row of the restore preview, sent for each calibration value after a parameter file passed
// its checks: "<name>|<controller value now>|<file value>"; the value now is "no comms" without a
// link. The rows of one file follow each other; the first row of a new file starts a new preview.
inline constexpr std::string_view RestorePreviewRow = "RestorePreviewRow";
// Whether a restore is under way, from its start to the end of its verification:
// "Running" or "Idle".
inline constexpr std::string_view RestoreState = "RestoreState";
}  // namespace display_keys

// Values of the display commands that the window, the command line or the soak run tell apart
// (any other value is a text to show).
namespace display_values {
// The axis mode keys: the axis's look.
inline constexpr std::string_view Normal = "Normal";
inline constexpr std::string_view Increment = "Increment";
inline constexpr std::string_view Decrement = "Decrement";
// "ModeSelect": the unit's mode.
inline constexpr std::string_view Enhanced = "ENHANCED";
inline constexpr std::string_view Legacy = "LEGACY";
// "CommsStatus": the indicator's colour (red, yellow, lime, green)...
inline constexpr std::string_view CommsNone = "None";
inline constexpr std::string_view PortConnected = "PortConnected";
inline constexpr std::string_view GoodFlashOn = "GoodFlashOn";
inline constexpr std::string_view GoodFlashOff = "GoodFlashOff";
// ... or its caption.
inline constexpr std::string_view NoCommsCaption = "No Comms";
inline constexpr std::string_view PortLost = "Port Lost";
inline constexpr std::string_view ConnectingLeft = "Connecting<--";
inline constexpr std::string_view ConnectingRight = "-->Connecting";
inline constexpr std::string_view CommsGood = "Comms Good";
inline constexpr std::string_view CommsLost = "Comms Lost";
inline constexpr std::string_view InvalidState = "Invalid State";
// "CommsSelect": the port selection failed.
inline constexpr std::string_view NotValidPort = "NotValidPort";
// "DebugColour": the memo's colours.
inline constexpr std::string_view BlackOnRed = "BlackOnRed";
inline constexpr std::string_view BlackOnWhite = "BlackOnWhite";
// "ShowNotification" banners, and the value of "HideNotification", which the window does not use.
inline constexpr std::string_view Saved = "Saved";
inline constexpr std::string_view Restoring = "Restoring...";
inline constexpr std::string_view Unused = "nothing";
// "RestoreState", and the controller's value in a "RestorePreviewRow" without a link.
inline constexpr std::string_view RestoreRunning = "Running";
inline constexpr std::string_view RestoreIdle = "Idle";
inline constexpr std::string_view NoComms = "no comms";
}  // namespace display_values

// Display keys of one axis.
struct AxisDisplayKeys {
    std::string_view modeSelect;
    std::string_view neutralValue;
    std::string_view posAdjustValue;
    std::string_view negAdjustValue;
    std::string_view outputValue;
    std::string_view posMax;
    std::string_view posMin;
    std::string_view negMin;
    std::string_view negMax;
};

inline constexpr std::array<AxisDisplayKeys, AxisCount> AxisDisplayTable{{
    {"Pan_ModeSelect", "Pan_NeutralValue", "Pan_PosAdjustValue", "Pan_NegAdjustValue",
     "Pan_OutputValue", "Pan_PosAdjustValueMax", "Pan_PosAdjustValueMin", "Pan_NegAdjustValueMin",
     "Pan_NegAdjustValueMax"},
    {"TiltModeSelect", "TiltNeutralValue", "TiltPosAdjustValue", "TiltNegAdjustValue",
     "TiltOutputValue", "TiltPosAdjustValueMax", "TiltPosAdjustValueMin", "TiltNegAdjustValueMin",
     "TiltNegAdjustValueMax"},
    {"RollModeSelect", "RollNeutralValue", "RollPosAdjustValue", "RollNegAdjustValue",
     "RollOutputValue", "RollPosAdjustValueMax", "RollPosAdjustValueMin", "RollNegAdjustValueMin",
     "RollNegAdjustValueMax"},
}};

namespace event_names {
inline constexpr std::string_view ButtonModeEnhanced = "ButtonModeEnhanced";
inline constexpr std::string_view ButtonModeLegacy = "ButtonModeLegacy";
inline constexpr std::string_view CommsSelect = "CommsSelect";
// The port list was opened (clicked or entered): the list of present devices is looked at again.
inline constexpr std::string_view CommsSelectOpened = "CommsSelectOpened";
inline constexpr std::string_view FileSave_Selected = "FileSave_Selected";
inline constexpr std::string_view FileOpen_Selected = "FileOpen_Selected";
// The operator's answer to the restore preview: "Restore" starts the restore of the file last
// checked by FileOpen_Selected, "Cancel" drops it.
inline constexpr std::string_view RestorePreview_Selected = "RestorePreview_Selected";
inline constexpr std::string_view ButtonDebugAppInfo = "ButtonDebugAppInfo";
inline constexpr std::string_view DebugAction = "DebugAction";
inline constexpr std::string_view DebugPoint = "DebugPoint";
// ("LinkStatisticsReset", "OnClick") and ("SaveProtocolTrace_Selected", path).
inline constexpr std::string_view LinkStatisticsReset = "LinkStatisticsReset";
inline constexpr std::string_view SaveProtocolTrace_Selected = "SaveProtocolTrace_Selected";
}  // namespace event_names

namespace event_texts {
inline constexpr std::string_view OnClick = "OnClick";
inline constexpr std::string_view ForceRefresh = "ForceRefresh";
inline constexpr std::string_view OnEnter = "OnEnter";
inline constexpr std::string_view Restore = "Restore";
inline constexpr std::string_view Cancel = "Cancel";
}  // namespace event_texts

// Object names the window sends for one axis.
struct AxisEventNames {
    std::string_view axisButton;
    std::string_view posEntry;
    std::string_view negEntry;
    std::string_view posInc;
    std::string_view posDec;
    std::string_view posTrackValue;
    std::string_view negInc;
    std::string_view negDec;
    std::string_view negTrackValue;
};

inline constexpr std::array<AxisEventNames, AxisCount> AxisEventTable{{
    {"ButtonPan", "TrackBarPan_PosAdjust", "TrackBarPan_NegAdjust", "ButtonPan_PosValueInc",
     "ButtonPan_PosValueDec", "TrackBarPan_PosAdjustValue", "ButtonPan_NegValueInc",
     "ButtonPan_NegValueDec", "TrackBarPan_NegAdjustValue"},
    {"ButtonTilt", "TrackBarTiltPosAdjust", "TrackBarTiltNegAdjust", "ButtonTiltPosValueInc",
     "ButtonTiltPosValueDec", "TrackBarTiltPosAdjustValue", "ButtonTiltNegValueInc",
     "ButtonTiltNegValueDec", "TrackBarTiltNegAdjustValue"},
    {"ButtonRoll", "TrackBarRollPosAdjust", "TrackBarRollNegAdjust", "ButtonRollPosValueInc",
     "ButtonRollPosValueDec", "TrackBarRollPosAdjustValue", "ButtonRollNegValueInc",
     "ButtonRollNegValueDec", "TrackBarRollNegAdjustValue"},
}};

// Told by the file menu and, should an event arrive anyway, by the core.
inline constexpr std::string_view RestoreUnderWayMessage =
    "A restore is under way; wait until it ends.";

constexpr const AxisDisplayKeys& DisplayKeysOf(Axis axis) {
    return AxisDisplayTable[AxisIndex(axis)];
}
constexpr const AxisEventNames& EventNamesOf(Axis axis) { return AxisEventTable[AxisIndex(axis)]; }

}  // namespace kestrova
