// Timing against the truth: pulse trains of known frequency and duty, and sines, as they are and
// through what a card's LINE IN does to them; every figure within its stated tolerance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>

#include "capture.h"

namespace {

using namespace platform::sim;
using namespace measurement;
using namespace measurement_test;

// Tolerances: frequency 0.05 %, widths 1 % or 2 µs (the larger), duty 0.5 points. They hold for
// pulses and gaps of at least kNarrowest frames: narrower ones the card's filter leaves without a
// flat level (its ringing takes the whole pulse). A pulse sampled as it is, without a filter,
// holds its edges only to the frame: widths within a frame, duty within a frame's share.
constexpr double kFrequencyShare = 0.0005;
constexpr double kWidthShare = 0.01;
constexpr double kWidthFloor = 2e-6;
constexpr double kDutyPoints = 0.5;
constexpr double kNarrowest = 6;
constexpr double kFrame = 1 / kRate;

enum class Path { AsItIs, DcCoupled, LineIn, NoisyLineIn };
const char* const kPathNames[] = {"as it is", "DC-coupled", "LINE IN", "LINE IN, noise 2.5 %"};

std::unique_ptr<ChannelSource> pulseSource(const PulseTrain& pulse, Path path) {
    switch (path) {
        case Path::AsItIs:
            return makePulse(pulse);
        case Path::DcCoupled:
            return makePulse(pulse, LineIn{0, 20000, 4});
        case Path::LineIn:
            return makePulse(pulse, LineIn{});
        case Path::NoisyLineIn:
            return makePulse(pulse, LineIn{10, 20000, 0.025 * (pulse.high - pulse.low)});
    }
    return nullptr;
}

void expectPulseTiming(const ChannelMeasurement& m, const PulseTrain& pulse, Path path,
                       double dutySlack = kDutyPoints) {
    const double period = 1 / pulse.frequency, high = pulse.dutyPercent / 100 * period;
    const double frames = period * kRate;
    const bool sampled = path == Path::AsItIs;
    const auto widthSlack = [&](double width) {
        return sampled ? kFrame : std::max(kWidthShare * width, kWidthFloor);
    };
    ASSERT_TRUE(m.timing.frequency && m.timing.period && m.timing.dutyCycle);
    ASSERT_TRUE(m.timing.positiveWidth && m.timing.negativeWidth);
    EXPECT_NEAR(m.timing.frequency->mean, pulse.frequency, kFrequencyShare * pulse.frequency);
    EXPECT_NEAR(m.timing.period->mean, period, kFrequencyShare * period);
    EXPECT_NEAR(m.timing.positiveWidth->mean, high, widthSlack(high));
    EXPECT_NEAR(m.timing.negativeWidth->mean, period - high, widthSlack(period - high));
    EXPECT_NEAR(m.timing.dutyCycle->mean, pulse.dutyPercent, sampled ? 100 / frames : dutySlack);
    // Every whole period of the buffer is counted but the one it starts in, none twice (no edge
    // lost, none made by noise).
    EXPECT_GE(m.timing.period->count, std::floor(kBufferFrames / frames) - 2);
    EXPECT_LE(m.timing.period->count, std::ceil(kBufferFrames / frames));
    EXPECT_LE(m.timing.period->min, m.timing.period->mean);
    EXPECT_GE(m.timing.period->max, m.timing.period->mean);
    // An edge as steep as the card's own is bounded by the sampling, and says so (unless the
    // coupling's droop crosses a reference level: below 100 Hz a top droops by 27 % and more).
    if (pulse.frequency < 100 && path >= Path::LineIn) return;
    for (const auto& [time, limited] :
         {std::pair{m.timing.riseTime, m.timing.riseTimeAtSamplingLimit},
          std::pair{m.timing.fallTime, m.timing.fallTimeAtSamplingLimit}})
        EXPECT_TRUE(!time || limited) << time->mean;
}

TEST(Timing, PulseTrainsFrom20HzTo5kHzAndDuties5To95Percent) {
    for (int path = 0; path < 4; ++path) {
        for (double hz : {20.0, 50.0, 100.0, 490.0, 980.0, 1000.0, 2205.0, 3000.0, 5000.0}) {
            for (double duty : {5.0, 10.0, 25.0, 50.0, 75.0, 90.0, 95.0}) {
                const double narrowest = std::min(duty, 100 - duty) / 100 * kRate / hz;
                // A pulse shorter than a frame may fall between two, or drown in the noise.
                if (narrowest < 1) continue;
                for (double delay : {0.0, 0.37, 0.71}) {
                    const PulseTrain pulse{hz, duty, 9000, 1000, delay * kFrame};
                    SCOPED_TRACE(std::string(kPathNames[path]) + ", " + std::to_string(hz) +
                                 " Hz, " + std::to_string(duty) + " %, delay " +
                                 std::to_string(delay) + " frame");
                    const auto source = pulseSource(pulse, static_cast<Path>(path));
                    const ChannelMeasurement m = measureSecond(*source);
                    if (narrowest >= kNarrowest) {
                        expectPulseTiming(m, pulse, static_cast<Path>(path));
                    } else {  // the frequency still holds
                        ASSERT_TRUE(m.timing.frequency);
                        EXPECT_NEAR(m.timing.frequency->mean, hz, kFrequencyShare * hz);
                    }
                }
            }
        }
    }
}

TEST(Timing, PulseTrainsTheTestsChoseAtRandom) {
    // Frequency, duty, levels and phase drawn at random (fixed seed) through the LINE IN, within
    // the range of the tolerances: pulse and gap at least kNarrowest frames.
    std::mt19937 random(18);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 60; ++i) {
        const double hz = 20 * std::pow(3500 / 20.0, unit(random));
        const double edge = std::max(5.0, 100 * kNarrowest * hz / kRate);
        const double duty = edge + (100 - 2 * edge) * unit(random);
        const int base = static_cast<int>(-4000 + 8000 * unit(random));
        const int high = base + static_cast<int>(1000 + 20000 * unit(random));
        const PulseTrain pulse{hz, duty, high, base, unit(random) / hz};
        SCOPED_TRACE(std::to_string(hz) + " Hz, " + std::to_string(duty) + " %, " +
                     std::to_string(base) + " to " + std::to_string(high));
        expectPulseTiming(measureSecond(*pulseSource(pulse, Path::LineIn)), pulse, Path::LineIn);
    }
}

TEST(Timing, ATopDroopingOverAFlatBaseIsTimedAtItsEdges) {
    // 25 Hz through the coupling: the top droops by three quarters while the long base has
    // recovered to a flat line. Were the base taken as a state beside the top's maximum, the
    // middle level would lie where the droop crosses it long before the edge.
    const PulseTrain pulse{25.2274, 57.2682, 22881, 3587, 0.0338591};
    const ChannelMeasurement m = measureSecond(*makePulse(pulse, LineIn{}));
    EXPECT_FALSE(m.levels.topIsState || m.levels.baseIsState);
    expectPulseTiming(m, pulse, Path::LineIn);
}

TEST(Timing, SinesThroughTheLineInAndNoiseMakesNoExtraEdges) {
    for (double hz : {20.0, 50.0, 100.0, 440.0, 1000.0, 2500.0, 5000.0}) {
        for (double noise : {4.0, 0.03 * 20000}) {  // a card's own; 3 % of the peak-to-peak
            SCOPED_TRACE(std::to_string(hz) + " Hz, noise " + std::to_string(noise));
            const ChannelMeasurement m =
                measureSecond(*makeSine(hz, 10000, LineIn{10, 20000, noise}));
            ASSERT_TRUE(m.timing.frequency && m.timing.dutyCycle && m.timing.positiveWidth);
            const double share = noise > 10 ? 10 * kFrequencyShare : kFrequencyShare;
            EXPECT_NEAR(m.timing.frequency->mean, hz, share * hz);
            EXPECT_LE(m.timing.period->count, std::ceil(kBufferFrames * hz / kRate));
            EXPECT_GE(m.timing.period->count, std::floor(kBufferFrames * hz / kRate) - 2);
            if (noise > 10) continue;
            EXPECT_NEAR(m.timing.dutyCycle->mean, 50, kDutyPoints);
            EXPECT_NEAR(m.timing.positiveWidth->mean, 0.5 / hz, std::max(0.005 / hz, kWidthFloor));
            ASSERT_TRUE(m.timing.riseTime);
            // 10 % to 90 % of a sine: 2 asin(0.8) / 2π of its period, within 1 % or a fifth of a
            // frame (the straight line between samples cuts the curve near its peaks).
            EXPECT_NEAR(m.timing.riseTime->mean, std::asin(0.8) / std::numbers::pi / hz,
                        std::max(0.01 * std::asin(0.8) / std::numbers::pi / hz, 0.2 * kFrame));
        }
    }
}

}  // namespace
