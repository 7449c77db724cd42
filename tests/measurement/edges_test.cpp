// Edges: where they are placed, and the captures that have none to time.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "capture.h"

namespace {

using namespace platform::sim;
using namespace measurement;
using namespace measurement_test;

ChannelMeasurement measureValues(const std::vector<int32_t>& values) {
    ChannelMeasurement m;
    measureChannel(ChannelView(values.data(), values.size(), 1), kRate, m);
    return m;
}

TEST(Edges, CrossingsLieOnTheLineBetweenSamplesAndRampsTimeExactly) {
    // A trapezoid of 60 frames between ±1000 on the second input: 23 frames at the top, a ramp
    // down of 300 a frame (1000, 700, ..., -800, then the base), 23 at the base, a ramp up. The
    // middle level 0 lies a third of a frame past the ramp's 100, and 10-90 % (∓800) takes
    // 1600 / 300 frames.
    const auto trapezoid = [](uint64_t k) {
        const int position = static_cast<int>(k % 60);
        if (position < 23) return 1000;
        if (position < 30) return 1000 - 300 * (position - 22);  // 700 .. -1100
        if (position < 53) return -1000;
        return -1000 + 300 * (position - 52);
    };
    std::vector<int32_t> values(2 * kBufferFrames);
    for (size_t k = 0; k < kBufferFrames; ++k) {
        values[2 * k] = static_cast<int32_t>(k % 7) * 5000 - 15000;  // the other input
        values[2 * k + 1] = std::clamp(trapezoid(k), -1000, 1000);
    }
    ChannelMeasurement m;
    measureChannel(ChannelView::interleaved(values, 2, 1), kRate, m);
    ASSERT_EQ(m.levels.top, 1000);
    ASSERT_EQ(m.levels.base, -1000);
    ASSERT_GE(m.edges.size(), 360u);
    for (size_t i = 0; i < m.edges.size(); ++i) {
        const Edge& edge = m.edges[i];
        const double phase = std::fmod(edge.position, 60.0);
        EXPECT_EQ(edge.rising, i % 2 == 0 ? m.edges[0].rising : !m.edges[0].rising) << i;
        EXPECT_NEAR(phase, edge.rising ? 52 + 10.0 / 3 : 22 + 10.0 / 3, 1e-9) << i;
    }
    ASSERT_TRUE(m.timing.riseTime && m.timing.fallTime && m.timing.positiveWidth);
    EXPECT_NEAR(m.timing.riseTime->mean, 1600.0 / 300 / kRate, 1e-12);
    EXPECT_NEAR(m.timing.fallTime->max, 1600.0 / 300 / kRate, 1e-12);
    EXPECT_NEAR(m.timing.positiveWidth->mean, 30 / kRate, 1e-12);
    EXPECT_NEAR(m.timing.positiveWidth->sigma, 0, 1e-12);
    EXPECT_FALSE(m.timing.riseTimeAtSamplingLimit);
    EXPECT_NEAR(m.timing.frequency->mean, kRate / 60, 1e-9);
}

TEST(Edges, CapturesWithoutTwoEdgesOfOneDirectionHaveNoTiming) {
    std::vector<int32_t> step(kBufferFrames, 0), pulse(kBufferFrames, 0);
    std::fill(step.begin() + 5000, step.end(), 8000);
    std::fill(pulse.begin() + 3000, pulse.begin() + 6000, 8000);
    const auto quietNoise = render(*makeSilence(), *makePulse({100, 50, 0, 0}, LineIn{10, 0, 15}));
    std::vector<int32_t> noise(kBufferFrames);
    for (size_t k = 0; k < kBufferFrames; ++k) noise[k] = quietNoise[2 * k + 1];
    const struct {
        const char* what;
        std::vector<int32_t> values;
    } cases[] = {
        {"silence", std::vector<int32_t>(kBufferFrames, 0)},
        {"DC", std::vector<int32_t>(kBufferFrames, 5000)},
        {"noise whose peaks stay under the hysteresis", noise},
        {"one step", step},
        {"one pulse", pulse},
        {"nothing", {}},
        {"one sample", {-32768}},
        {"two samples", {-32768, 32767}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ChannelMeasurement m = measureValues(c.values);
        EXPECT_LE(m.edges.size(), 2u);
        const Timing& t = m.timing;
        EXPECT_FALSE(t.period || t.frequency || t.positiveWidth || t.negativeWidth || t.dutyCycle ||
                     t.riseTime || t.fallTime || t.wholePeriods);
        for (double figure : {m.levels.top, m.levels.base, m.levels.amplitude, m.levels.mean,
                              m.levels.rms, m.levels.peakToPeak})
            EXPECT_TRUE(std::isfinite(figure));
    }
    const ChannelMeasurement dc = measureValues(cases[1].values);
    EXPECT_EQ(dc.levels.mean, 5000);
    EXPECT_EQ(dc.levels.rms, 5000);
    EXPECT_EQ(dc.levels.amplitude, 0);
}

}  // namespace
