#include "generator/Sine.h"

#include <cfloat>
#include <cmath>

namespace generator {

namespace {

static_assert(LDBL_MANT_DIG == 64, "the formula is defined in 80-bit extended precision");

constexpr long double kPi = 3.14159L;  // the formula's constant, not π
constexpr long double kTwo = 2.0L;

// The formula's argument, step by step: t = n / rate, then × 3.14159, × 2, × frequency.
inline long double sineArgument(uint64_t index, long double rate, long double frequency) noexcept {
    long double x = static_cast<long double>(index) / rate;
    x *= kPi;
    x *= kTwo;
    x *= frequency;
    return x;
}

inline int16_t roundSample(long double value) noexcept {
    // The default rounding mode rounds to nearest with ties to even.
    return static_cast<int16_t>(std::nearbyint(value));
}

// The fast road. glibc's sinl costs some 300 ns; a buffer of 11000 samples would take 3.5 ms.
// Instead the argument is reduced by quarter turns in extended precision (Cody and Waite: π/2 split
// into a 24-bit head, so that n × head is exact for n < 2^40, a 64-bit middle and a tail), and the
// sine or cosine of the remainder, at most π/4, is a short polynomial in double. The result
// differs from sinl(x) by less than 1e-13, some 3e-9 sample units at full amplitude; only a
// product that lies within kTieMargin of a half, where that difference could turn the rounding,
// is computed the slow way. That happens about once in a million samples.
constexpr long double kHalfPiHead = 0x6487edp-22L;
constexpr long double kHalfPiMiddle = 0xa22168c234c4c663p-87L;
constexpr long double kHalfPiTail = -0x3a3f91f1976b7ed9p-150L;
constexpr double kInverseHalfPi = 0.63661977236758134;
// Beyond this many quarter turns n × head is no longer exact: the slow road from there on (after
// some 160 days at 20 kHz).
constexpr double kMaxQuarterTurns = 0x1p40;
constexpr double kTieMargin = 1e-6;
// Adding and taking away 1.5 × 2^52 rounds a double of magnitude below 2^51 to an integer, ties to
// even, in the default rounding mode, without a library call.
constexpr double kRoundingShift = 0x1.8p52;

inline double roundToInteger(double value) noexcept {
    return (value + kRoundingShift) - kRoundingShift;
}

// Taylor series to the 13th and 14th power: on |r| <= π/4 the first term left out is below 3e-14.
inline double sinNearZero(double r) noexcept {
    const double r2 = r * r;
    return r * (1.0 + r2 * (-1.0 / 6 +
                            r2 * (1.0 / 120 +
                                  r2 * (-1.0 / 5040 +
                                        r2 * (1.0 / 362880 +
                                              r2 * (-1.0 / 39916800 + r2 * (1.0 / 6227020800)))))));
}
inline double cosNearZero(double r) noexcept {
    const double r2 = r * r;
    return 1.0 + r2 * (-1.0 / 2 +
                       r2 * (1.0 / 24 +
                             r2 * (-1.0 / 720 +
                                   r2 * (1.0 / 40320 + r2 * (-1.0 / 3628800 +
                                                             r2 * (1.0 / 479001600 +
                                                                   r2 * (-1.0 / 87178291200)))))));
}

}  // namespace

int16_t sineSample(uint64_t index, const SineSetting& setting) noexcept {
    const long double x = sineArgument(index, setting.frameRate, setting.frequency);
    return roundSample(sinl(x) * static_cast<long double>(setting.amplitude));
}

void fillSine(std::span<int16_t> out, uint64_t firstIndex, const SineSetting& setting) noexcept {
    const long double rate = setting.frameRate;
    const long double frequency = setting.frequency;
    const double amplitude = setting.amplitude;
    uint64_t index = firstIndex;
    for (int16_t& sample : out) {
        const long double x = sineArgument(index++, rate, frequency);
        const double quarters = roundToInteger(static_cast<double>(x) * kInverseHalfPi);
        if (std::fabs(quarters) < kMaxQuarterTurns) {
            const long double n = quarters;
            const auto r =
                static_cast<double>(((x - n * kHalfPiHead) - n * kHalfPiMiddle) - n * kHalfPiTail);
            double sine = 0.0;
            switch (static_cast<int64_t>(quarters) & 3) {
                case 0:
                    sine = sinNearZero(r);
                    break;
                case 1:
                    sine = cosNearZero(r);
                    break;
                case 2:
                    sine = -sinNearZero(r);
                    break;
                default:
                    sine = -cosNearZero(r);
                    break;
            }
            const double value = sine * amplitude;
            const double rounded = roundToInteger(value);
            if (std::fabs(std::fabs(value - rounded) - 0.5) >= kTieMargin) {
                sample = static_cast<int16_t>(rounded);
                continue;
            }
        }
        sample = roundSample(sinl(x) * static_cast<long double>(setting.amplitude));
    }
}

}  // namespace generator
