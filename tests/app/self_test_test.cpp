// The self-test's analysis of a capture run, on synthetic stereo captures whose frequencies are
// known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "app/SelfTest.h"

namespace {

using app::CaptureChannel;
using app::Verdict;

constexpr int kRate = 44100;
constexpr size_t kRunFrames = 44100;  // one capture run
constexpr double kGenerator = 3276;   // the generator's start amplitude

struct Signal {
    double hz = 0.0;  // 0: none
    double amplitude = kGenerator;
    int noise = 0;  // uniform noise of up to this many units either way, fixed seed
};

// Interleaved R, L frames. The sines start a fraction of a sample into their period, so that no
// crossing falls on a sample; values beyond the 16-bit range are clipped as a card clips them.
std::vector<int16_t> capture(const Signal& r, const Signal& l) {
    std::mt19937 random(20240611);
    std::vector<int16_t> values;
    for (size_t k = 0; k < kRunFrames; ++k) {
        for (const Signal& s : {r, l}) {
            std::uniform_int_distribution<int> noise(-s.noise, s.noise);
            const double t = (static_cast<double>(k) + 0.37) / kRate;
            const double v =
                s.amplitude * std::sin(2 * std::numbers::pi * s.hz * t) + noise(random);
            values.push_back(static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L)));
        }
    }
    return values;
}

struct Expected {
    double setHz;
    Verdict verdict;
    std::optional<double> foundHz;  // none: no frequency may be found
};

// Interpolated crossings put a clean sine's frequency within a thousandth of a hertz (crossings
// taken at whole samples would be off by about 0.005 Hz); noise moves them by a sample or so.
constexpr double kCleanToleranceHz = 0.001;
constexpr double kNoisyToleranceHz = 0.1;

struct Case {
    const char* what;
    Signal r, l;
    Expected onR, onL;
    double toleranceHz = kCleanToleranceHz;
};

TEST(SelfTestAnalysis, VerdictAndFrequencyPerChannel) {
    const std::vector<Case> cases{
        // Each of the test's frequencies, a different one on each channel.
        {"100 / 2000", {100}, {2000}, {100, Verdict::Pass, 100}, {2000, Verdict::Pass, 2000}},
        {"440 / 1000", {440}, {1000}, {440, Verdict::Pass, 440}, {1000, Verdict::Pass, 1000}},
        {"1000 / 440", {1000}, {440}, {1000, Verdict::Pass, 1000}, {440, Verdict::Pass, 440}},
        {"2000 / 100", {2000}, {100}, {2000, Verdict::Pass, 2000}, {100, Verdict::Pass, 100}},
        {"silence", {}, {}, {440, Verdict::Silence, {}}, {440, Verdict::Silence, {}}},
        // 300 units is below 1% of full scale (328), though a frequency is found.
        {"faint",
         {440, 300},
         {440, 300},
         {440, Verdict::Silence, 440},
         {440, Verdict::Silence, 440}},
        {"clipped R",
         {440, 40000},
         {440},
         {440, Verdict::Clipping, 440},
         {440, Verdict::Pass, 440}},
        {"wrong frequency",
         {500},
         {440},
         {440, Verdict::WrongFrequency, 500},
         {500, Verdict::WrongFrequency, 440}},
        // The 1% tolerance: 444 Hz is 0.91% above 440, 445 Hz 1.14%.
        {"tolerance", {444}, {445}, {440, Verdict::Pass, 444}, {440, Verdict::WrongFrequency, 445}},
        // Noise that crosses zero several times around each crossing of the sine.
        {"noisy sine",
         {1000, kGenerator, 400},
         {100, kGenerator, 400},
         {1000, Verdict::Pass, 1000},
         {100, Verdict::Pass, 100},
         kNoisyToleranceHz},
        // An idle input's noise alone makes no crossings.
        {"noise alone",
         {0, 0, 60},
         {0, 0, 150},
         {440, Verdict::Silence, {}},
         {440, Verdict::Silence, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<int16_t> values = capture(c.r, c.l);
        for (const auto& [channel, expected] :
             {std::pair{CaptureChannel::R, c.onR}, std::pair{CaptureChannel::L, c.onL}}) {
            SCOPED_TRACE(channel == CaptureChannel::R ? "R" : "L");
            const app::ChannelFinding found = app::analyseChannel(values, channel, kRate);
            EXPECT_EQ(app::judge(found, expected.setHz), expected.verdict);
            EXPECT_EQ(found.irregularPeriods, 0);
            ASSERT_EQ(found.frequencyHz.has_value(), expected.foundHz.has_value());
            if (expected.foundHz) {
                EXPECT_NEAR(*found.frequencyHz, *expected.foundHz, c.toleranceHz);
            }
        }
    }
}

// A dropout as a sound server makes one: 12 ms of the run lost (two periods of 256 frames at
// 48 kHz) splice the sine. On R it lands where it adds a crossing and reads 1% high at 100 Hz,
// the tolerance; either way the splice is seen as irregular periods, which a clean run never has.
TEST(SelfTestAnalysis, ADropoutInTheRunShowsAsIrregularPeriods) {
    std::vector<int16_t> values = capture({100}, {100});
    constexpr size_t kLost = 529;  // frames
    for (const size_t at : {size_t{20000}, size_t{20300}}) {
        SCOPED_TRACE(at);
        std::vector<int16_t> spliced = values;
        spliced.erase(spliced.begin() + static_cast<std::ptrdiff_t>(2 * at),
                      spliced.begin() + static_cast<std::ptrdiff_t>(2 * (at + kLost)));
        const app::ChannelFinding found = app::analyseChannel(spliced, CaptureChannel::R, kRate);
        EXPECT_GE(found.irregularPeriods, 1);
        EXPECT_LE(found.irregularPeriods, 2);
    }
}

// The coupling's corner from the runs at 20, 40 and 80 Hz: sines of the generator's amplitude
// through a first-order high-pass of known corner on R (each with the phase a run starts at, and
// noise), and on L as given. Within 10 % of the corner; none without a coupling or a tone.
TEST(SelfTestAnalysis, TheCouplingCornerFromTheLowRunsAmplitudes) {
    const auto throughCoupling = [](double hz, double corner) {
        return Signal{hz, kGenerator * hz / std::hypot(hz, corner), 3};
    };
    const struct {
        const char* what;
        double corner;  // R's; 0: DC-coupled
        bool lSilent;
    } cases[] = {
        {"5 Hz", 5, false},       {"10 Hz", 10, false},   {"20 Hz", 20, false},
        {"DC-coupled", 0, false}, {"L silent", 10, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<app::CouplingRun> runs;
        for (const int hz : app::kCouplingFrequencies)
            runs.push_back({hz, capture(throughCoupling(hz, c.corner),
                                        c.lSilent ? Signal{0} : throughCoupling(hz, 10))});
        const auto r = app::couplingFromRuns(runs, CaptureChannel::R, kRate);
        const auto l = app::couplingFromRuns(runs, CaptureChannel::L, kRate);
        if (c.corner > 0) {
            ASSERT_TRUE(r);
            EXPECT_NEAR(r->hz, c.corner, 0.1 * c.corner);
        } else {
            EXPECT_FALSE(r);
        }
        EXPECT_EQ(l.has_value(), !c.lSilent);
        if (l) {
            EXPECT_NEAR(l->hz, 10, 1);
        }
    }
    // Two runs are too few to tell the gain from the corner.
    std::vector<app::CouplingRun> two;
    for (const int hz : {20, 40}) two.push_back({hz, capture(throughCoupling(hz, 10), {0})});
    EXPECT_FALSE(app::couplingFromRuns(two, CaptureChannel::R, kRate));
}

}  // namespace
