#pragma once

#include <array>

#include "common/axis.h"

// Fixed point numbers of the controller and its three axes, shared by the event handling, the
// comms supervision and the restore sequence. The names exchanged with the window are in
// core/ui_names.h.
namespace kestrova::core {

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

inline constexpr std::array<AxisPoints, AxisCount> AxisPointTable{{
    {17, 27, 37, 10, 13, 12, 11, 16, 18, 19},
    {27, 17, 37, 20, 23, 22, 21, 26, 28, 29},
    {37, 17, 27, 30, 33, 32, 31, 36, 38, 39},
}};

constexpr const AxisPoints& PointsOf(Axis axis) { return AxisPointTable[AxisIndex(axis)]; }

}  // namespace kestrova::core
