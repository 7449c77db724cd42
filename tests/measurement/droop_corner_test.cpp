// The coupling's corner from the droop of a pulse train's flat parts, against the corner of the
// simulated LINE IN; and the captures that have no droop to measure.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "capture.h"
#include "measurement/DroopCorner.h"

namespace {

using namespace platform::sim;
using namespace measurement;
using namespace measurement_test;

std::optional<CouplingCorner> cornerOf(const std::vector<int32_t>& values) {
    const ChannelView view(values.data(), values.size(), 1);
    ChannelMeasurement m;
    measureChannel(view, kRate, m);
    return cornerFromDroop(view, m, kRate);
}

TEST(DroopCorner, PulseTrainsTheTestsHaveNotSeen) {
    // Corner (5 to 20 Hz), frequency (20 to 300 Hz), duty, levels, phase, noise (the card's own to
    // 1 % of the amplitude) and the converter's offset drawn with a fixed seed. Up to 100 Hz the
    // corner is always found; above, where a period droops little and noise may hide it, it may be
    // absent, but when found it holds too, and its stated uncertainty covers its error.
    std::mt19937 random(1919);
    std::uniform_real_distribution<double> unit(0, 1);
    double worst = 0;
    for (int i = 0; i < 150; ++i) {
        const double corner = 5 * std::pow(4.0, unit(random));
        const double hz = 20 * std::pow(15.0, unit(random));
        const int low = static_cast<int>(-4000 + 8000 * unit(random));
        const int high = low + static_cast<int>(2000 + 18000 * unit(random));
        const double noise = 4 + 0.01 * (high - low) * unit(random);
        const PulseTrain pulse{hz, 5 + 90 * unit(random), high, low, unit(random) / hz};
        const auto offset = static_cast<int32_t>(-300 + 600 * unit(random));
        SCOPED_TRACE(std::to_string(hz) + " Hz, " + std::to_string(pulse.dutyPercent) +
                     " %, corner " + std::to_string(corner) + ", noise " + std::to_string(noise));
        std::vector<int32_t> values =
            renderOne(*makePulse(pulse, LineIn{corner, 20000, noise, 100u + i}), 44100);
        for (int32_t& v : values) v += offset;
        const auto found = cornerOf(values);
        ASSERT_TRUE(found || hz > 100);
        if (!found) continue;
        const double error = std::abs(found->hz / corner - 1);
        EXPECT_LE(error, 0.1);  // within 10 %
        EXPECT_LE(error, 4 * found->uncertainty + 0.01);
        EXPECT_NEAR(found->timeConstant(), 1 / (2 * std::numbers::pi * corner),
                    0.1 * found->timeConstant());
        worst = std::max(worst, error);
    }
    std::printf("worst corner error from the droop: %.2f %%\n", 100 * worst);
}

TEST(DroopCorner, NoCornerWithoutAnExponentialDroopToFit) {
    std::vector<int32_t> triangle(kBufferFrames), step(kBufferFrames, -3000);
    for (size_t k = 0; k < triangle.size(); ++k)
        triangle[k] = static_cast<int32_t>(std::abs(static_cast<int>(k % 600) - 300) * 40 - 6000);
    std::fill(step.begin() + 4000, step.end(), 3000);
    const struct {
        const char* what;
        std::vector<int32_t> values;
    } cases[] = {
        {"DC", std::vector<int32_t>(kBufferFrames, -2500)},
        {"the card's noise alone", renderOne(*makePulse({50, 50, 0, 0}, LineIn{10, 2e4, 300}), 0)},
        {"a sine", renderOne(*makeSine(40, 9000, LineIn{}), 0)},
        {"a triangle", triangle},
        {"a DC-coupled input", renderOne(*makePulse({50, 25, 8000, 0}, LineIn{0, 2e4, 4}), 0)},
        {"flat parts too short to droop", renderOne(*makePulse({4000, 50, 8000, 0}, LineIn{}), 0)},
        {"one step: no part between two edges", step},
        {"nothing", {}},
    };
    for (const auto& c : cases) {
        const auto found = cornerOf(c.values);
        EXPECT_FALSE(found) << c.what << ": " << found->hz;
    }
}

}  // namespace
