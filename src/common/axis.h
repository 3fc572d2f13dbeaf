#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The three axes of the camera head, in the order every per-axis table lists them.
namespace kestrova {

enum class Axis : std::uint8_t { Pan, Tilt, Roll };
inline constexpr std::size_t AxisCount = 3;
inline constexpr std::array<Axis, AxisCount> Axes{Axis::Pan, Axis::Tilt, Axis::Roll};

// The axis's place in a per-axis table.
constexpr std::size_t AxisIndex(Axis axis) { return static_cast<std::size_t>(axis); }

}  // namespace kestrova
