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
}  // namespace display_keys

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
inline constexpr std::string_view ButtonDebugAppInfo = "ButtonDebugAppInfo";
inline constexpr std::string_view DebugAction = "DebugAction";
inline constexpr std::string_view DebugPoint = "DebugPoint";
}  // namespace event_names

namespace event_texts {
inline constexpr std::string_view OnClick = "OnClick";
inline constexpr std::string_view ForceRefresh = "ForceRefresh";
inline constexpr std::string_view OnEnter = "OnEnter";
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

constexpr const AxisDisplayKeys& DisplayKeysOf(Axis axis) {
    return AxisDisplayTable[AxisIndex(axis)];
}
constexpr const AxisEventNames& EventNamesOf(Axis axis) { return AxisEventTable[AxisIndex(axis)]; }

}  // namespace kestrova
