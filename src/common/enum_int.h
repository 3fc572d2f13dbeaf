#pragma once

#include <type_traits>

namespace kestrova {

// The number behind a code, for the places where it is shown, written to a file or compared
// with a number from outside.
template <class Enum>
requires std::is_enum_v<Enum>
constexpr std::underlying_type_t<Enum> ToInt(Enum code) {
    return static_cast<std::underlying_type_t<Enum>>(code);
}

}  // namespace kestrova
