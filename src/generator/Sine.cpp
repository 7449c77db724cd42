#include "generator/Sine.h"

#include <cfloat>
#include <cmath>

namespace generator {

namespace {

static_assert(LDBL_MANT_DIG == 64, "the formula is defined in 80-bit extended precision");

constexpr long double kPi = 3.14159L;  // the formula's constant, not π
constexpr long double kTwo = 2.0L;

// The formula's argument, step by step: t = n / rate, then × 3.14159, × 2, × frequency.
inline long double Argument(uint64_t index, long double rate, long double frequency) noexcept {
    long double x = static_cast<long double>(index) / rate;
    x *= kPi;
    x *= kTwo;
    x *= frequency;
    return x;
}

inline int16_t RoundSample(long double value) noexcept {
    // The default rounding mode rounds to nearest with ties to even.
    return static_cast<int16_t>(std::nearbyint(value));
}

// The fast road. glibc's sinl costs some 300 ns; a buffer of 11000 samples would take 3.5 ms.
// Instead the argument is reduced by 2π in extended precision (Cody and Waite: 2π split into a
// 24-bit head, so that n × head is exact for n < 2^40, a 64-bit middle and a tail), and the sine
// of the small remainder is taken in double. The result differs from sinl(x) by less than 1e-14,
// about 3e-10 sample units at full amplitude; only a product that lies within kTieMargin of a
// half, where that difference could turn the rounding, is computed the slow way. That happens
// about once in a million samples.
constexpr long double kTwoPiHead = 0x6487edp-20L;
constexpr long double kTwoPiMiddle = 0xa22168c234c4c663p-85L;
constexpr long double kTwoPiTail = -0x3a3f91f1976b7ed9p-148L;
constexpr double kInverseTwoPi = 0.15915494309189535;
// Beyond this many turns n × head is no longer exact: the slow road from there on (after some
// 600 days at 20 kHz).
constexpr double kMaxTurns = 0x1p40;
constexpr double kTieMargin = 1e-6;
// Adding and taking away 1.5 × 2^52 rounds a double of magnitude below 2^51 to an integer, ties to
// even, in the default rounding mode, without a library call.
constexpr double kRoundingShift = 0x1.8p52;

inline double RoundToInteger(double value) noexcept {
    return (value + kRoundingShift) - kRoundingShift;
}

}  // namespace

int16_t SineSample(uint64_t index, const SineSetting& setting) noexcept {
    const long double x = Argument(index, setting.frameRate, setting.frequency);
    return RoundSample(sinl(x) * static_cast<long double>(setting.amplitude));
}

void FillSine(std::span<int16_t> out, uint64_t firstIndex, const SineSetting& setting) noexcept {
    const long double rate = setting.frameRate;
    const long double frequency = setting.frequency;
    const double amplitude = setting.amplitude;
    uint64_t index = firstIndex;
    for (int16_t& sample : out) {
        const long double x = Argument(index++, rate, frequency);
        const double turns = RoundToInteger(static_cast<double>(x) * kInverseTwoPi);
        if (std::fabs(turns) < kMaxTurns) {
            const long double n = turns;
            const long double r = ((x - n * kTwoPiHead) - n * kTwoPiMiddle) - n * kTwoPiTail;
            const double value = std::sin(static_cast<double>(r)) * amplitude;
            const double rounded = RoundToInteger(value);
            if (std::fabs(std::fabs(value - rounded) - 0.5) >= kTieMargin) {
                sample = static_cast<int16_t>(rounded);
                continue;
            }
        }
        sample = RoundSample(sinl(x) * static_cast<long double>(setting.amplitude));
    }
}

}  // namespace generator
