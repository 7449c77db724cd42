// The coupling's corner from a loopback: tones played into the simulated LINE IN, one after
// another or at once, found in the capture and set against what was played.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "capture.h"
#include "measurement/LoopbackCorner.h"

namespace {

using namespace platform::sim;
using namespace measurement;
using namespace measurement_test;

constexpr std::array<double, 3> kTones{20, 40, 80};
constexpr uint64_t kStart = 4 * 44100 + 123;

std::vector<Tone> fit(const std::vector<int32_t>& values, std::vector<Tone> tones) {
    EXPECT_TRUE(fitTones(ChannelView(values.data(), values.size(), 1), kRate, tones));
    return tones;
}

TEST(Loopback, CornerWithin10PercentAcrossCornersGainsAndClocks) {
    // 8000 units of each tone played at once; captured through the LINE IN (noise 150) at `gain`,
    // and again 41 frames later for the unknown clock. The played tones are the generator's
    // samples fitted over the capture's frames, or (at gain 1) their parameters.
    double worst[2] = {};  // clock aligned, unknown
    for (double corner : {5.0, 7.5, 10.0, 14.0, 20.0}) {
        for (double gain : {1.0, 0.55}) {
            std::vector<int32_t> played(kBufferFrames), now(kBufferFrames), then(kBufferFrames);
            std::vector<Tone> tones;
            for (double hz : kTones) {
                const auto generator = makeSine(hz, 8000);
                const auto input = makeSine(hz, static_cast<int>(8000 * gain),
                                            LineIn{corner, 20000, hz == 20 ? 150.0 : 0, 7});
                for (size_t k = 0; k < kBufferFrames; ++k) {
                    played[k] += generator->sample(kStart + k);
                    now[k] += input->sample(kStart + k);
                    then[k] += input->sample(kStart + 41 + k);
                }
                const double turns = hz * static_cast<double>(kStart) / kRate;
                tones.push_back({hz, 8000, 2 * std::numbers::pi * (turns - std::floor(turns))});
            }
            const auto out = gain == 1 ? tones : fit(played, tones);
            const auto in = fit(now, tones), late = fit(then, tones);
            std::vector<LoopbackTone> aligned, delayed;
            for (size_t i = 0; i < 3; ++i) {
                aligned.push_back({out[i], in[i]});
                delayed.push_back({out[i], late[i]});
            }
            const auto fromPhase = cornerFromLoopback(aligned, LoopbackClock::Aligned);
            const auto fromLevels = cornerFromLoopback(delayed, LoopbackClock::Unknown);
            ASSERT_TRUE(fromPhase && fromLevels) << corner << " Hz, gain " << gain;
            EXPECT_NEAR(fromPhase->hz, corner, 0.1 * corner);
            EXPECT_NEAR(fromLevels->hz, corner, 0.1 * corner);
            worst[0] = std::max(worst[0], std::abs(fromPhase->hz / corner - 1));
            worst[1] = std::max(worst[1], std::abs(fromLevels->hz / corner - 1));
            // A delay taken for an aligned clock leaves phases the model cannot fit.
            EXPECT_FALSE(cornerFromLoopback(delayed, LoopbackClock::Aligned));
        }
    }
    std::printf(
        "worst corner error from the loopback: %.3f %% (clock aligned), %.3f %% (unknown)\n",
        100 * worst[0], 100 * worst[1]);
}

TEST(Loopback, NoCornerFromTonesThatCannotGiveOne) {
    const auto tone = [](double hz, double played, double captured, double lead) {
        return LoopbackTone{{hz, played, 0.3}, {hz, captured, 0.3 + lead}};
    };
    // Through a 10 Hz corner 20 Hz keeps 89.4 % and leads by atan(1/2), 40 Hz 97 % by atan(1/4).
    const LoopbackTone at20 = tone(20, 1000, 894.4, std::atan(0.5));
    const LoopbackTone at40 = tone(40, 1000, 970.1, std::atan(0.25));
    const struct {
        const char* what;
        std::vector<LoopbackTone> tones;
        LoopbackClock clock;
    } cases[] = {
        {"one tone", {at20}, LoopbackClock::Aligned},
        {"two tones, clock unknown", {at20, at40}, LoopbackClock::Unknown},
        {"a silent capture", {at20, tone(40, 1000, 0, 0)}, LoopbackClock::Aligned},
        {"nothing played", {at20, tone(40, 0, 970, 0)}, LoopbackClock::Aligned},
        {"DC-coupled", {tone(20, 1, 0.8, 0), tone(40, 1, 0.8, 0)}, LoopbackClock::Aligned},
        {"a lag", {tone(20, 1000, 894, -0.46), tone(40, 1000, 970, -0.24)}, LoopbackClock::Aligned},
    };
    for (const auto& c : cases) EXPECT_FALSE(cornerFromLoopback(c.tones, c.clock)) << c.what;
    const auto both = cornerFromLoopback(std::vector{at20, at40}, LoopbackClock::Aligned);
    ASSERT_TRUE(both);
    EXPECT_NEAR(both->hz, 10, 0.01);

    // Tones that cannot be fitted leave what they held.
    const std::vector<int32_t> values = renderOne(*makeSine(50, 5000), 0);
    const ChannelView view(values.data(), values.size(), 1);
    std::vector<Tone> many(kMaxTones + 1), twice{{50, 1, 2}, {50, 1, 2}},
        nyquist{{kRate / 2, 1, 2}};
    for (size_t i = 0; i < many.size(); ++i) many[i].frequencyHz = 50.0 * (i + 1);
    std::vector<Tone> fewFrames{{50}, {100}};  // five unknowns
    EXPECT_FALSE(fitTones(view, kRate, many));
    EXPECT_FALSE(fitTones(view, kRate, twice));
    EXPECT_FALSE(fitTones(view, kRate, nyquist));
    EXPECT_FALSE(fitTones(ChannelView(values.data(), 4, 1), kRate, fewFrames));
    EXPECT_EQ(twice[0].amplitude, 1);
    EXPECT_EQ(nyquist[0].phase, 2);
}

}  // namespace
