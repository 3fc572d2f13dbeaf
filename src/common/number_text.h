#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Number <-> text conversions used by every file and display command. The decimal separator is
// always "." when writing, whatever the process locale, so files move between machines; reading
// accepts "." and ",".
namespace kestrova {

// Plain signed decimal.
std::string IntToText(std::int64_t value);

// General format, up to 15 significant digits, shortest form: 1.0 -> "1", 0.5 -> "0.5",
// 1e12 -> "1000000000000".
std::string DoubleToText(double value);

// Strict decimal: optional sign, digits only, within 32 bits. Nothing else (no blanks).
std::optional<std::int32_t> TryTextToInt(std::string_view text);

// As TryTextToInt; throws ConversionError "'<text>' is not a valid integer value".
std::int32_t TextToInt(std::string_view text);

// Decimal floating point with optional exponent; "." or "," as separator. An empty text is not
// a number.
std::optional<double> TryTextToDouble(std::string_view text);

// As TryTextToDouble; throws ConversionError "'<text>' is not a valid floating point value".
double TextToDouble(std::string_view text);

}  // namespace kestrova
