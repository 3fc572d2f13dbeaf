#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova {

// How much of a bad value a message quotes: enough to recognise it, never so much that a
// hostile file fills (or stalls) the window with it.
inline constexpr std::size_t QuotedValueLimit = 64;

// The value in single quotes, cut after QuotedValueLimit characters (UTF-8 sequences are kept
// whole) and then marked with "…": 'abc', '0123…'.
std::string QuoteValue(std::string_view value);

}  // namespace kestrova
