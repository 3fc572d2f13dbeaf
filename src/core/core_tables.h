#pragma once

#include <array>
#include <string_view>

// Fixed point numbers and texts of the three axes, shared by the event handling, the comms
// supervision and the restore sequence. Pan's names carry an underscore after the axis word,
// Tilt's and Roll's do not.
namespace kestrova::core {

inline constexpr int AxisCount = 3;
inline constexpr int Pan = 0;
inline constexpr int Tilt = 1;
inline constexpr int Roll = 2;

// Controller-wide points.
inline constexpr int SoftwareVersionPoint = 2;
inline constexpr int ControllerModePoint = 6;  // 1 enhanced, 0 legacy; its Msg_Count counts replies
inline constexpr int VersionShownPoint = 9;

// Axis mode point values.
inline constexpr double ModeNormal = 0.0;
inline constexpr double ModeIncrement = 1.0;
inline constexpr double ModeDecrement = 2.0;

struct AxisPoints {
    int mode;
    int otherMode1;
    int otherMode2;
    int posAdjust;
    int negAdjust;  // a magnitude
    int adjustMax;
    int neutral;
    int output;
    int posRestore;
    int negRestore;
};

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

inline constexpr std::array<AxisPoints, AxisCount> AxisPointTable{{
    {17, 27, 37, 10, 13, 12, 11, 16, 18, 19},
    {27, 17, 37, 20, 23, 22, 21, 26, 28, 29},
    {37, 17, 27, 30, 33, 32, 31, 36, 38, 39},
}};

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

}  // namespace kestrova::core
