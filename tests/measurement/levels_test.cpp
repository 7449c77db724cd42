// Levels against the truth: DC-coupled pulse trains of known levels, sines of known RMS, and pulse
// trains through the coupling against the RC circuit and their Fourier series.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "capture.h"

namespace {

using namespace platform::sim;
using namespace measurement;
using namespace measurement_test;

constexpr double kRmsShare = 0.02;  // RMS and peak-to-peak within 2 %
// Top and base within these shares of the amplitude, for pulses and gaps of at least 20 frames
// and of 6 to 20 frames (shorter tops are all the filter's ringing).
constexpr double kLevelShare = 0.01;
constexpr double kShortLevelShare = 0.025;

const std::vector<double> kFrequencies{20, 50, 100, 490, 980, 1000, 2205, 3000};
const std::vector<double> kDuties{5, 10, 25, 50, 75, 90, 95};

double narrowestFrames(double hz, double duty) {
    return std::min(duty, 100 - duty) / 100 * kRate / hz;
}

// The RMS of a pulse train of height `jump` after a first-order high-pass at `cornerHz`, its
// harmonics up to `bandHz` only: from its Fourier series, c_n = 2 jump sin(π n d) / (π n).
double bandLimitedRms(double jump, double hz, double duty, double cornerHz, double bandHz) {
    double squares = 0;
    for (int n = 1; n * hz < bandHz; ++n) {
        const double c = 2 * jump * std::sin(std::numbers::pi * n * duty / 100) /
                         (std::numbers::pi * n) * highPassGain(n * hz, cornerHz);
        squares += c * c / 2;
    }
    return std::sqrt(squares);
}

TEST(Levels, DcCoupledPulseTrainsHaveTheirLevelsMeanAndRms) {
    for (double hz : kFrequencies) {
        for (double duty : kDuties) {
            if (narrowestFrames(hz, duty) < 6) continue;
            SCOPED_TRACE(std::to_string(hz) + " Hz, " + std::to_string(duty) + " %");
            const ChannelMeasurement m = measureSecond(
                *makePulse({hz, duty, 9000, 1000, 0.37 / kRate}, LineIn{0, 20000, 4}));
            const double slack =
                8000 * (narrowestFrames(hz, duty) >= 20 ? kLevelShare : kShortLevelShare);
            EXPECT_TRUE(m.levels.topIsState && m.levels.baseIsState);
            EXPECT_NEAR(m.levels.top, 9000, slack);
            EXPECT_NEAR(m.levels.base, 1000, slack);
            EXPECT_NEAR(m.levels.amplitude, 8000, 2 * slack);
            // Over whole periods the mean is the duty's share of the way from base to top.
            EXPECT_NEAR(m.levels.mean, 1000 + duty / 100 * 8000, 0.001 * 8000);
            EXPECT_NEAR(m.levels.rms, std::sqrt(duty / 100 * 81e6 + (1 - duty / 100) * 1e6),
                        kRmsShare * m.levels.rms);
            EXPECT_FALSE(m.levels.clipped);
        }
    }
}

TEST(Levels, PulseTrainsThroughTheCouplingAgainstTheRcCircuitAndTheirHarmonics) {
    for (double hz : kFrequencies) {
        for (double duty : kDuties) {
            if (narrowestFrames(hz, duty) < 6) continue;
            SCOPED_TRACE(std::to_string(hz) + " Hz, " + std::to_string(duty) + " %");
            // The RC high-pass: just after the rising edge a = J (1 - e^(-(T - D)/τ)) /
            // (1 - e^(-T/τ)), just after the falling one a e^(-D/τ) - J.
            const double tau = 1 / (2 * std::numbers::pi * 10), period = 1 / hz;
            const double high = duty / 100 * period;
            const double a =
                8000 * -std::expm1(-(period - high) / tau) / -std::expm1(-period / tau);
            const double b = a * std::exp(-high / tau) - 8000;
            const PulseTrain pulse{hz, duty, 9000, 1000, 0.37 / kRate};
            const ChannelMeasurement coupled = measureSecond(*makePulse(pulse, LineIn{10, 0, 4}));
            EXPECT_NEAR(coupled.levels.peakToPeak, a - b, kRmsShare * (a - b));
            EXPECT_NEAR(coupled.levels.maximum, a, 0.01 * 8000);
            // Through the whole LINE IN: what passes below the filter's corner, mean 0.
            const ChannelMeasurement m = measureSecond(*makePulse(pulse, LineIn{}));
            const double rms = bandLimitedRms(8000, hz, duty, 10, 20000);
            EXPECT_NEAR(m.levels.rms, rms, kRmsShare * rms);
            EXPECT_NEAR(m.levels.mean, 0, 0.001 * 8000);
        }
    }
}

TEST(Levels, SinesAndTrianglesHaveNoFlatStateTheirExtremesStandIn) {
    for (double hz : {20.0, 50.0, 100.0, 440.0, 1000.0, 2500.0, 5000.0}) {
        SCOPED_TRACE(std::to_string(hz) + " Hz");
        const ChannelMeasurement m = measureSecond(*makeSine(hz, 10000, LineIn{}));
        const double peak = 10000 * highPassGain(hz, 10);
        EXPECT_NEAR(m.levels.rms, peak / std::sqrt(2.0), kRmsShare * peak / std::sqrt(2.0));
        EXPECT_NEAR(m.levels.peakToPeak, 2 * peak, kRmsShare * 2 * peak);
        EXPECT_FALSE(m.levels.topIsState || m.levels.baseIsState);
        EXPECT_EQ(m.levels.top, m.levels.maximum);
        EXPECT_EQ(m.levels.base, m.levels.minimum);
        EXPECT_NEAR(m.levels.mean, 0, 0.001 * peak);
    }
    std::vector<int32_t> triangle(kBufferFrames);
    for (size_t k = 0; k < triangle.size(); ++k)
        triangle[k] = static_cast<int32_t>(std::abs(static_cast<int>(k % 200) - 100) * 50 - 2500);
    ChannelMeasurement m;
    measureChannel(ChannelView(triangle.data(), triangle.size(), 1), kRate, m);
    EXPECT_FALSE(m.levels.topIsState || m.levels.baseIsState);
    EXPECT_EQ(m.levels.top, 2500);
    EXPECT_EQ(m.levels.base, -2500);
    ASSERT_TRUE(m.timing.frequency);
    EXPECT_NEAR(m.timing.frequency->mean, kRate / 200, 1e-9);
}

TEST(Levels, SamplesAtOrNextToFullScaleMarkTheChannelClipped) {
    const struct {
        const char* what;
        std::unique_ptr<ChannelSource> source;
        bool clipped;
    } cases[] = {
        {"pulse beyond full scale", makePulse({490, 25, 40000, -40000}, LineIn{10, 20000, 4}),
         true},
        {"sine 27 units short of full scale", makeSine(440, 32740, LineIn{0, 20000, 0}), true},
        {"sine 67 units short of full scale", makeSine(440, 32700, LineIn{0, 20000, 0}), false},
        {"pulse at full scale, sampled as it is", makePulse({50, 50, 32767, 0}), true},
        {"pulse with its ringing within 70 % of full scale",
         makePulse({1000, 50, 20000, -20000}, LineIn{}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(measureSecond(*c.source).levels.clipped, c.clipped);
    }
    std::vector<int32_t> quiet(kBufferFrames, 12);
    quiet[5000] = -32768;  // one sample at the negative limit is enough
    ChannelMeasurement m;
    measureChannel(ChannelView(quiet.data(), quiet.size(), 1), kRate, m);
    EXPECT_TRUE(m.levels.clipped);
}

}  // namespace
