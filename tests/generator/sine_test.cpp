// The generator's sine against its formula: known first samples, and fillSine equal to the plain
// formula sample for sample wherever its fast road could go wrong (buffer seams, full and zero
// amplitude, the highest frequency, indices past 32 bits and past the reduction's exact range).
#include "generator/Sine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using generator::fillSine;
using generator::sineSample;
using generator::SineSetting;

constexpr size_t kBuffer = 11000;

std::vector<int16_t> filled(uint64_t first, size_t count, const SineSetting& s) {
    std::vector<int16_t> out(count);
    fillSine(out, first, s);
    return out;
}

TEST(SineTest, FirstSamplesAfterOpening) {
    const SineSetting start{44100, 100, 3276};
    EXPECT_EQ(filled(0, 4, start), (std::vector<int16_t>{0, 47, 93, 140}));
    EXPECT_EQ(sineSample(3, start), 140);
}

TEST(SineTest, FillEqualsTheFormulaEverywhere) {
    struct Case {
        uint64_t first;
        SineSetting setting;
    };
    const std::vector<Case> cases{
        {0, {44100, 100, 3276}},
        {kBuffer - 8, {44100, 100, 3276}},  // across the first buffer seam
        {0, {44100, 20000, 32767}},         // 2.205 samples per period
        {7 * kBuffer, {44100, 2600, 32767}},
        {0, {44100, 10, 1}},
        {(uint64_t{1} << 31) - 5000, {44100, 1000, 32767}},  // where a 32-bit index would wrap
        {uint64_t{1} << 36, {44100, 19900, 32767}},
        // Around the end of the exact reduction (2^40 turns at 20 kHz), where the slow road takes
        // over.
        {static_cast<uint64_t>(std::ldexp(1.0, 40) * 44100 / 20000 / 3.14159 * std::numbers::pi) -
             5000,
         {44100, 20000, 32767}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "first " << c.first << ", " << c.setting.frequency
                                          << " Hz, amplitude " << c.setting.amplitude);
        const std::vector<int16_t> fill = filled(c.first, kBuffer, c.setting);
        int differing = 0;
        for (size_t k = 0; k < kBuffer; ++k)
            differing += fill[k] != sineSample(c.first + k, c.setting);
        EXPECT_EQ(differing, 0);
    }
}

TEST(SineTest, AmplitudeBoundsTheSamples) {
    const std::vector<int16_t> silent = filled(123, kBuffer, {44100, 440, 0});
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t v) { return v == 0; }));
    // 441 Hz: every 25th sample sits on a crest or trough of a full-scale sine.
    const std::vector<int16_t> full = filled(0, kBuffer, {44100, 441, 32767});
    EXPECT_EQ(*std::max_element(full.begin(), full.end()), 32767);
    EXPECT_EQ(*std::min_element(full.begin(), full.end()), -32767);
}

}  // namespace
