#include "common/quoted_value.h"

#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "common/number_text.h"

namespace kestrova {
namespace {

// A 2 MiB value from a file reaches the message as its first 64 characters and "…".
TEST(QuotedValue, ALongBadValueIsQuotedShort) {
    const std::string value(2 << 20, '7');
    const std::string first = "'" + std::string(QuotedValueLimit, '7') + "\u2026'";
    try {
        TextToInt(value + "x");
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()), first + " is not a valid integer value");
    }
    try {
        TextToDouble(value + "x");
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()), first + " is not a valid floating point value");
    }

    struct Row {
        std::string value;
        std::string quoted;
    };
    const Row rows[] = {
        {"", "''"},
        {std::string(QuotedValueLimit, 'a'), "'" + std::string(QuotedValueLimit, 'a') + "'"},
        // Characters are counted, and a two-byte character is never cut in half.
        {std::string(QuotedValueLimit - 1, 'a') + "\u00e4\u00e4",
         "'" + std::string(QuotedValueLimit - 1, 'a') + "\u00e4\u2026'"},
        {std::string(QuotedValueLimit, 'a') + "\u00e4",
         "'" + std::string(QuotedValueLimit, 'a') + "\u2026'"},
    };
    for (const Row& row : rows) EXPECT_EQ(QuoteValue(row.value), row.quoted) << row.value;
}

}  // namespace
}  // namespace kestrova
