// The envelope's smoothing step against the formula computed in double, for the divisors whose
// step runs in integers and for others, over the whole range the arrays can hold.
#include "instrument/Envelope.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace {

using instrument::Smoothing;

int32_t formula(int32_t divisor, int32_t previous, int32_t value) {
    const double d = divisor;
    const double p = previous;
    return static_cast<int32_t>(value / d + p - p / d);
}

TEST(Smoothing, EveryStepEqualsTheFormulaInDouble) {
    struct {
        int32_t divisor;
        int shift;  // -1: not run in integers
    } cases[] = {{1, 0},  {2, 1},   {16, 4},  {1024, 10},   {65536, 16},
                 {3, -1}, {15, -1}, {17, -1}, {131072, -1}, {100000, -1}};
    std::mt19937 random(20240613);  // fixed seed
    // Values as samples and envelopes take them: 16-bit captures, and any seed the arrays hold.
    std::uniform_int_distribution<int32_t> sample(-32768, 32767);
    std::uniform_int_distribution<int32_t> any(std::numeric_limits<int32_t>::min() / 2,
                                               std::numeric_limits<int32_t>::max() / 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.divisor);
        const Smoothing smooth(c.divisor);
        EXPECT_TRUE(smooth.smooths());
        EXPECT_EQ(smooth.shift(), c.shift);
        for (int k = 0; k < 20000; ++k) {
            const int32_t previous = k % 2 ? sample(random) : any(random);
            const int32_t value = sample(random);
            ASSERT_EQ(smooth(previous, value), formula(c.divisor, previous, value))
                << previous << " " << value;
            if (c.shift >= 0 && previous >= 0 && value >= 0) {
                ASSERT_EQ(smooth.fromNonNegative(previous, value),
                          formula(c.divisor, previous, value));
            }
        }
    }
}

TEST(Smoothing, DivisorsBelowOneSmoothNothing) {
    for (int32_t divisor : {0, -1, -16}) EXPECT_FALSE(Smoothing(divisor).smooths()) << divisor;
}

}  // namespace
