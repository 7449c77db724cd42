// The coupling undone: pulse trains through the LINE IN at corners from 5 to 20 Hz come back with
// flat tops and their base at 0, with the corner found in the signal itself or given; and what
// cannot be restored is copied and says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "capture.h"
#include "measurement/RestoredChannel.h"

namespace {

using namespace platform::sim;
using namespace measurement;
using namespace measurement_test;

// The worst deviations of a restored pulse train from its levels, as shares of its amplitude: of
// the tops from high - low, of the base from 0.
struct Flatness {
    double top = 0;
    double base = 0;
};

// `restored` (frame k is the card's frame start + k) against `pulse`, in means of `window` frames
// (which take the noise off, not a droop) that lie on one level at least 16 frames from its edges,
// where the card's anti-alias filter rings by 0.3 % of the step, as it does without any coupling.
Flatness flatness(std::span<const int32_t> restored, const platform::sim::PulseTrain& pulse,
                  uint64_t start, size_t window) {
    const double amplitude = static_cast<double>(pulse.high) - pulse.low;
    const double period = kRate / pulse.frequency, duty = pulse.dutyPercent / 100;
    const auto phase = [&](size_t k) {
        const double turns =
            static_cast<double>(start + k) / period - pulse.delay * pulse.frequency;
        return turns - std::floor(turns);
    };
    const auto judged = [&](double p) {
        const double fromFall = std::abs(p - duty);
        return std::min({p, 1 - p, fromFall, 1 - fromFall}) * period >= 16;
    };
    Flatness result;
    for (size_t k = 0; k + window <= restored.size(); ++k) {
        const bool top = phase(k) < duty;
        double sum = 0;
        size_t i = k;
        for (; i < k + window && judged(phase(i)) && (phase(i) < duty) == top; ++i)
            sum += restored[i];
        if (i < k + window) continue;
        const double mean = sum / static_cast<double>(window);
        double& worst = top ? result.top : result.base;
        worst = std::max(worst, std::abs(mean - (top ? amplitude : 0)) / amplitude);
    }
    return result;
}

// `pulse` through a LINE IN of this corner and noise, in the second of two interleaved channels,
// restored with `givenHz` (0: the droop's corner); `offset` added as the converter would.
struct Restored {
    RestoredChannel channel;
    Flatness flat;
};
Restored restore(const PulseTrain& pulse, double corner, double noise, uint64_t seed,
                 double givenHz, size_t window = 1, int32_t offset = 0) {
    const uint64_t start = 2 * 44100 + 1000 * seed;
    std::vector<int32_t> values =
        render(*makeSine(777, 9000), *makePulse(pulse, LineIn{corner, 20000, noise, seed}),
               kBufferFrames, start);
    for (size_t k = 1; k < values.size(); k += 2) values[k] += offset;
    Restored r;
    measureRestored(ChannelView::interleaved(values, 2, 1), kRate, givenHz, r.channel);
    r.flat = flatness(r.channel.samples, pulse, start, window);
    return r;
}

TEST(DroopRestore, ServoPulsesAndSquaresTheTestsHaveNotSeenComeBackFlat) {
    // A 50 Hz pulse train of 5 % duty: tops flat within 3 % and the base within 2 % of the
    // amplitude from 0; a 100 Hz square: both within 2 %. Corner, levels, phase, noise (the card's
    // own, or 0.5 % of the amplitude, then judged in means of 8 frames) and offset drawn with a
    // fixed seed; the corner found in each capture.
    std::mt19937 random(19);
    std::uniform_real_distribution<double> unit(0, 1);
    double worst[2][2] = {};  // [servo, square][top, base]
    for (int i = 0; i < 40; ++i) {
        const bool servo = i % 2 == 0, noisy = i % 4 >= 2;
        const double corner = 5 * std::pow(4.0, unit(random)), hz = servo ? 50 : 100;
        const int low = static_cast<int>(-3000 + 6000 * unit(random));
        const int high = low + static_cast<int>(3000 + 17000 * unit(random));
        const PulseTrain pulse{hz, servo ? 5.0 : 50.0, high, low, unit(random) / hz};
        const double noise = noisy ? 0.005 * (high - low) : 4;
        const auto offset = static_cast<int32_t>(-200 + 400 * unit(random));
        SCOPED_TRACE(std::to_string(hz) + " Hz, corner " + std::to_string(corner) + ", " +
                     std::to_string(low) + " to " + std::to_string(high));
        const Restored r = restore(pulse, corner, noise, i + 1, 0, noisy ? 8 : 1, offset);
        ASSERT_EQ(r.channel.source, CornerSource::Droop);
        EXPECT_LE(r.flat.top, servo ? 0.03 : 0.02);
        EXPECT_LE(r.flat.base, 0.02);
        worst[servo ? 0 : 1][0] = std::max(worst[servo ? 0 : 1][0], r.flat.top);
        worst[servo ? 0 : 1][1] = std::max(worst[servo ? 0 : 1][1], r.flat.base);
        // Measured as the circuit made it: base 0, top the amplitude, mean the duty's share.
        const Levels& levels = r.channel.measurement.levels;
        EXPECT_NEAR(levels.base, 0, 0.01 * (high - low));
        EXPECT_NEAR(levels.top, high - low, 0.01 * (high - low));
        EXPECT_NEAR(levels.mean, pulse.dutyPercent / 100 * (high - low), 0.01 * (high - low));
    }
    std::printf(
        "worst: 50 Hz 5 %%: top %.2f %%, base %.2f %%; 100 Hz square: top %.2f %%, "
        "base %.2f %% of the amplitude\n",
        100 * worst[0][0], 100 * worst[0][1], 100 * worst[1][0], 100 * worst[1][1]);
}

TEST(DroopRestore, PulseTrainsFrom3To300HzWithTheTrueCornerGiven) {
    // Below 10 Hz a capture holds one or two edges and its droop gives no corner; a given one
    // restores it, anchored on the base parts it has. Levels within 2 % (the filter's ringing
    // beside pulses of a few frames takes most of it); the restoration moves no edge.
    double worst = 0;
    for (double corner : {5.0, 10.0, 20.0}) {
        for (double hz : {3.0, 5.0, 10.0, 20.0, 33.0, 50.0, 100.0, 150.0, 300.0}) {
            for (double duty : {5.0, 10.0, 25.0, 50.0, 75.0, 90.0, 95.0}) {
                SCOPED_TRACE(std::to_string(hz) + " Hz, " + std::to_string(duty) + " %, corner " +
                             std::to_string(corner));
                const Restored r = restore({hz, duty, 8000, 0, 0.37 / kRate}, corner, 4, 3, corner);
                // A slow capture may hold one level only: nothing to anchor on.
                ASSERT_TRUE(r.channel.restoration.restored || hz < 10);
                if (!r.channel.restoration.restored) continue;
                EXPECT_LE(std::max(r.flat.top, r.flat.base), 0.02);
                worst = std::max({worst, r.flat.top, r.flat.base});
                const Timing& restored = r.channel.measurement.timing;
                if (hz < 20) continue;
                ASSERT_TRUE(restored.frequency && restored.dutyCycle);
                EXPECT_NEAR(restored.frequency->mean, hz, 0.0005 * hz);
                EXPECT_NEAR(restored.dutyCycle->mean, duty, 0.5);
            }
        }
    }
    std::printf("worst level with the true corner, 3 to 300 Hz: %.2f %%\n", 100 * worst);
}

TEST(DroopRestore, WhatCannotBeRestoredIsCopiedAndSaysSo) {
    const auto pulse = renderOne(*makePulse({50, 5, 8000, 0}, LineIn{}), 44100);
    const struct {
        const char* what;
        std::vector<int32_t> values;
        double corner;
    } cases[] = {
        {"no corner", pulse, 0},
        {"a negative corner", pulse, -10},
        {"a corner that is not a number", pulse, std::numeric_limits<double>::quiet_NaN()},
        {"a corner no coupling has", pulse, 1000},
        {"DC: no edge", std::vector<int32_t>(kBufferFrames, 1234), 10},
        {"gaps of 2.2 frames: none to anchor on",
         renderOne(*makePulse({1000, 95, 8000, 0}, LineIn{}), 0), 10},
    };
    for (const auto& c : cases) {
        const ChannelView view(c.values.data(), c.values.size(), 1);
        ChannelMeasurement raw, restored;
        measureChannel(view, kRate, raw);
        std::vector<int32_t> out(c.values.size(), -1), shorter(c.values.size() - 1, -1);
        const Restoration r = restoreCoupling(view, raw, c.corner, kRate, out, restored);
        EXPECT_TRUE(!r.restored && r.frames == c.values.size() && out == c.values) << c.what;
        EXPECT_EQ(restored.edges.size(), raw.edges.size()) << c.what;
        // Storage too short: nothing written.
        EXPECT_EQ(restoreCoupling(view, raw, 10, kRate, shorter, restored).frames, 0u) << c.what;
        EXPECT_EQ(shorter, std::vector<int32_t>(c.values.size() - 1, -1)) << c.what;
    }
}

TEST(DroopRestore, ClippingIsTheCapturesAndAnyCaptureGivesFiniteFigures) {
    // A square of 40000 units arrives as ±20000 and is restored to 0..40000, beyond full scale
    // without having clipped; a capture that clipped stays clipped.
    const Restored big = restore({100, 50, 40000, 0}, 10, 4, 2, 10);
    EXPECT_GT(big.channel.measurement.levels.maximum, kFullScale);
    EXPECT_FALSE(big.channel.measurement.levels.clipped);
    EXPECT_TRUE(restore({100, 50, 80000, 0}, 10, 4, 2, 10).channel.measurement.levels.clipped);
    // Arbitrary values of random lengths, a third of them 32-bit ones no card delivers.
    std::mt19937 random(1919);
    RestoredChannel channel;
    for (int i = 0; i < 300; ++i) {
        std::vector<int32_t> values(random() % 3000);
        const auto step = static_cast<int32_t>(random() % 2000);
        int32_t level = 0;
        for (int32_t& v : values) {
            if (random() % 50 == 0) level = static_cast<int32_t>(random()) % 30000;
            v = i % 3 == 0 ? static_cast<int32_t>(random())
                           : level + static_cast<int32_t>(random() % (2 * step + 1)) - step;
        }
        measureRestored(ChannelView(values.data(), values.size(), 1), kRate, i % 2 ? 10 : 0,
                        channel);
        ASSERT_EQ(channel.restoration.frames, values.size());
        const Levels& l = channel.measurement.levels;
        for (double v : {l.top, l.base, l.amplitude, l.peakToPeak, l.mean, l.rms})
            ASSERT_TRUE(std::isfinite(v)) << i;
        for (size_t k = 0; k < values.size() && channel.restoration.restored; ++k)
            ASSERT_LE(std::abs(static_cast<int64_t>(channel.samples[k])), kRestoredLimit) << i;
    }
}

}  // namespace
