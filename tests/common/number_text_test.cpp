#include "common/number_text.h"

#include <gtest/gtest.h>

#include <clocale>

#include "common/errors.h"

namespace kestrova {
namespace {

TEST(NumberText, DoublesUseShortestGeneralFormWithDot) {
    EXPECT_EQ(DoubleToText(1.0), "1");
    EXPECT_EQ(DoubleToText(-66000.0), "-66000");
    EXPECT_EQ(DoubleToText(0.5), "0.5");
    EXPECT_EQ(DoubleToText(12.7), "12.7");
    EXPECT_EQ(DoubleToText(1e12), "1000000000000");
    EXPECT_EQ(DoubleToText(0.1 + 0.2), "0.3");  // 15 significant digits, not 17
    EXPECT_EQ(TextToDouble(DoubleToText(1e20)), 1e20);

    // A comma locale must not change what is written.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
        EXPECT_EQ(DoubleToText(0.5), "0.5");
        std::setlocale(LC_ALL, "C");
    }
}

TEST(NumberText, IntegersAreStrictDecimalWithin32Bits) {
    EXPECT_EQ(IntToText(-2147483648LL), "-2147483648");
    EXPECT_EQ(TextToInt("+42"), 42);
    EXPECT_EQ(TextToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(TextToInt("2147483647"), INT32_MAX);
    for (const char* bad : {"", "-", "2147483648", "-2147483649", "12a", " 1", "1 ", "0x10", "1.0",
                            "+-2048", "99999999999999999999"}) {
        EXPECT_FALSE(TryTextToInt(bad).has_value()) << bad;
    }
    try {
        TextToInt("abc");
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

TEST(NumberText, FloatsAcceptDotOrCommaAndRefuseTheRest) {
    EXPECT_EQ(TextToDouble("0.5"), 0.5);
    EXPECT_EQ(TextToDouble("0,5"), 0.5);
    EXPECT_EQ(TextToDouble("-1E3"), -1000.0);
    EXPECT_EQ(TextToDouble("+7"), 7.0);
    EXPECT_EQ(TextToDouble(".25"), 0.25);
    for (const char* bad : {"", "abc", "1.2.3", "1,2,3", "inf", "nan", "1e999", "++1", "+-2048",
                            "-+1", "--1", "1 ", "0x1p3", "1,5.0"}) {
        EXPECT_FALSE(TryTextToDouble(bad).has_value()) << bad;
    }
    try {
        TextToDouble("");
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
    }
}

}  // namespace
}  // namespace kestrova
