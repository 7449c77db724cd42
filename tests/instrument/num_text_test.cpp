#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "instrument/NumText.h"

namespace {

using instrument::NumText40;
using instrument::roundHalfEven;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

struct RoundCase {
    double value;
    int64_t expected;
};

class RoundHalfEvenTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundHalfEvenTest, RoundsToNearestWithHalvesToEven) {
    EXPECT_EQ(roundHalfEven(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Edges, RoundHalfEvenTest,
                         ::testing::Values(
                             // Halves go to the even neighbour, on both sides of zero.
                             RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{2.5, 2},
                             RoundCase{3.5, 4}, RoundCase{-0.5, 0}, RoundCase{-1.5, -2},
                             RoundCase{-2.5, -2}, RoundCase{-3.5, -4}, RoundCase{22.5, 22},
                             RoundCase{73.5, 74}, RoundCase{52.5, 52},
                             // Next to a half, the nearest integer wins.
                             RoundCase{0.49999999999999994, 0}, RoundCase{2.5000000000000004, 3},
                             RoundCase{-2.5000000000000004, -3}, RoundCase{-2.4999999999999996, -2},
                             RoundCase{49.55, 50}, RoundCase{918.75, 919}, RoundCase{-0.0, 0},
                             // Where doubles are spaced 1 or 0.5 apart.
                             RoundCase{4503599627370495.5, 4503599627370496},
                             RoundCase{4503599627370494.5, 4503599627370494},
                             RoundCase{9007199254740993.0, 9007199254740992},
                             // Ends of the result type, and values that are no number.
                             RoundCase{-9223372036854775808.0, kMin},
                             RoundCase{9223372036854775808.0, kMax}, RoundCase{1e300, kMax},
                             RoundCase{-1e300, kMin},
                             RoundCase{std::numeric_limits<double>::infinity(), kMax},
                             RoundCase{-std::numeric_limits<double>::infinity(), kMin},
                             RoundCase{std::numeric_limits<double>::quiet_NaN(), 0}));

TEST(roundHalfEven, IgnoresTheCurrentRoundingMode) {
    const int saved = std::fegetround();
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        EXPECT_EQ(roundHalfEven(2.5), 2);
        EXPECT_EQ(roundHalfEven(-3.5), -4);
        EXPECT_EQ(roundHalfEven(2.4), 2);
        EXPECT_EQ(roundHalfEven(-2.6), -3);
    }
    std::fesetround(saved);
}

struct FixedCase {
    double value;
    int width;
    int decimals;
    const char* expected;
};

class SetFixedTest : public ::testing::TestWithParam<FixedCase> {};

TEST_P(SetFixedTest, FormatsWidthAndDecimals) {
    const FixedCase& c = GetParam();
    NumText40 text;
    text.setFixed(c.value, c.width, c.decimals);
    EXPECT_EQ(text.view(), c.expected);
    EXPECT_EQ(text.length(), static_cast<int>(std::string(c.expected).size()));
    EXPECT_STREQ(text.c_str(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SetFixedTest,
    ::testing::Values(
        // The level read-out: Round(2500) / 1000 in width 2 with 2 decimals.
        FixedCase{2.5, 2, 2, "2.50"}, FixedCase{0.5, 4, 1, " 0.5"}, FixedCase{5.0, 3, 1, "5.0"},
        // Width is a minimum: longer numbers are not cut.
        FixedCase{12345.678, 2, 2, "12345.68"}, FixedCase{-0.5, 6, 2, " -0.50"},
        // Exact binary halves at the last decimal go to even.
        FixedCase{0.125, 0, 2, "0.12"}, FixedCase{0.375, 0, 2, "0.38"},
        FixedCase{-0.125, 0, 2, "-0.12"},
        // No decimals: an integer, halves to even.
        FixedCase{2.5, 3, 0, "  2"}, FixedCase{3.5, 3, 0, "  4"}, FixedCase{-2.5, 0, 0, "-2"},
        // Out-of-range widths and decimals are bounded by the buffer.
        FixedCase{1.0, -4, 1, "1.0"},
        FixedCase{7.0, 40, 0, "                                       7"},
        FixedCase{7.0, 55, 0, "                                       7"},
        FixedCase{1.0, 0, 60, "1.00000000000000000000000000000000000000"}));

struct IntegerCase {
    int64_t value;
    int width;
    const char* expected;
};

class SetIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(SetIntegerTest, RightAlignsInWidth) {
    const IntegerCase& c = GetParam();
    NumText40 text;
    text.setInteger(c.value, c.width);
    EXPECT_EQ(text.view(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SetIntegerTest,
    ::testing::Values(IntegerCase{0, 0, "0"}, IntegerCase{32768, 0, "32768"},
                      IntegerCase{50, 5, "   50"}, IntegerCase{440, 4, " 440"},
                      IntegerCase{2500, 4, "2500"}, IntegerCase{12345, 4, "12345"},
                      IntegerCase{-7, 4, "  -7"}, IntegerCase{kMin, 0, "-9223372036854775808"},
                      IntegerCase{kMax, 20, " 9223372036854775807"}, IntegerCase{1, -3, "1"},
                      IntegerCase{9, 41, "                                       9"}));

// A Czech desktop writes decimals with a comma; the instrument's texts keep the point.
TEST(NumText40, WritesAPointUnderACommaLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "cs_CZ.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale cs_CZ.UTF-8 is not installed (tools/install-deps.sh makes it)";
    }
    char printed[8];
    std::snprintf(printed, sizeof printed, "%.1f", 0.5);
    EXPECT_STREQ(printed, "0,5") << "cs_CZ.UTF-8 should write a decimal comma";

    NumText40 text;
    for (const FixedCase& c : {FixedCase{2.5, 2, 2, "2.50"}, FixedCase{0.5, 4, 1, " 0.5"},
                               FixedCase{-0.125, 0, 2, "-0.12"}, FixedCase{1.0, 2, 1, "1.0"}}) {
        text.setFixed(c.value, c.width, c.decimals);
        EXPECT_EQ(text.view(), c.expected);
    }
    text.setInteger(1234567, 9);
    EXPECT_EQ(text.view(), "  1234567");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumText40, AppendStopsAtFortyCharacters) {
    NumText40 text;
    text.setInteger(12345);
    text.append(" Hz");
    EXPECT_EQ(text.view(), "12345 Hz");

    text.append("0123456789012345678901234567890123456789");
    EXPECT_EQ(text.length(), NumText40::kCapacity);
    EXPECT_EQ(text.view(), "12345 Hz01234567890123456789012345678901");
    EXPECT_EQ(std::string(text.c_str()).size(), 40u);

    text.append("more");
    EXPECT_EQ(text.length(), NumText40::kCapacity);
}

TEST(NumText40, AppendsItsOwnText) {
    NumText40 text;
    text.setInteger(123);
    text.append(text.view());
    EXPECT_EQ(text.view(), "123123");
}

TEST(NumText40, ClearEmptiesAndANewNumberReplacesTheOld) {
    NumText40 text;
    text.setInteger(987654, 10);
    text.setFixed(2.5, 2, 2);
    EXPECT_EQ(text.view(), "2.50");
    text.clear();
    EXPECT_EQ(text.length(), 0);
    EXPECT_STREQ(text.c_str(), "");
}

}  // namespace
