#include "common/number_text.h"

#include <charconv>
#include <cmath>

#include "common/errors.h"
#include "common/quoted_value.h"

namespace kestrova {

std::string IntToText(std::int64_t value) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

std::string DoubleToText(double value) {
    // std::to_chars is locale-free, so the separator is always ".".
    char buffer[40];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    // Within a hair of the largest double, 15 digits round up past it ("1.79769313486232e+308"),
    // a text no conversion takes back: a file would refuse the value it was saved with. Such a
    // value is written with the digits it needs to convert back exactly.
    double back = 0.0;
    if (std::isfinite(value) && std::from_chars(buffer, end, back).ec != std::errc()) {
        end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    }
    return std::string(buffer, end);
}

std::optional<std::int32_t> TryTextToInt(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 12) return std::nullopt;
    std::int64_t magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t TextToInt(std::string_view text) {
    if (auto value = TryTextToInt(text)) return *value;
    throw ConversionError(QuoteValue(text) + " is not a valid integer value");
}

std::optional<double> TryTextToDouble(std::string_view text) {
    // Digits, one separator ("." or ","), and an optional exponent; nothing else. Infinity and
    // not-a-number texts are refused: no value of these files can hold them.
    std::string normalized(text);
    if (normalized.find('.') == std::string::npos) {
        if (auto comma = normalized.find(','); comma != std::string::npos) normalized[comma] = '.';
    }
    // One sign at most: from_chars takes a '-' of its own, so after a '+' none may follow.
    std::string_view body = normalized;
    if (!body.empty() && body.front() == '+') {
        body.remove_prefix(1);
        if (!body.empty() && body.front() == '-') return std::nullopt;
    }
    if (body.empty() || body.front() == '+') return std::nullopt;
    for (char c : body) {
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
        if (!allowed) return std::nullopt;
    }
    double value = 0.0;
    auto [end, ec] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != body.data() + body.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

double TextToDouble(std::string_view text) {
    if (auto value = TryTextToDouble(text)) return *value;
    throw ConversionError(QuoteValue(text) + " is not a valid floating point value");
}

}  // namespace kestrova
