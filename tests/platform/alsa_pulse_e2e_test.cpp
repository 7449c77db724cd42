// End to end through a real sound server: run by tools/with-pulse.sh, which makes ALSA's `default`
// a private PulseAudio whose default source is the monitor of its null sink. A stereo tone played
// through the driver's playback on `default` must come back through the capture component, as the
// instrument configures it, with each channel's frequency and amplitude and, since the server mixes
// at unity gain without resampling, sample for sample.

#include <gtest/gtest.h>
#include <poll.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "audio/WaveIO.h"
#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaWaveDriver.h"
#include "support/LoopPlayer.h"

namespace {

using platform::Direction;
using platform::MMResult;

constexpr uint32_t kRate = 44100;
// Periods in frames: 441 Hz on the left, 882 Hz on the right.
constexpr int kLeftPeriod = 100;
constexpr int kRightPeriod = 50;
constexpr double kLeftHz = double{kRate} / kLeftPeriod;
constexpr double kRightHz = double{kRate} / kRightPeriod;
constexpr double kLeftAmplitude = 12000;
constexpr double kRightAmplitude = 6000;
// A multiple of both periods, so that buffers played back to back continue the tone seamlessly.
constexpr uint32_t kToneFrames = 11000;

// Tolerances. Frequency is measured from interpolated zero crossings over a quarter second, which
// resolves far below 0.5 Hz; the peak of a sampled sine lies within a fraction of a step of its
// amplitude, and the server adds nothing at unity gain.
constexpr double kFrequencyToleranceHz = 0.5;
constexpr double kAmplitudeTolerance = 0.01;  // relative

int16_t toneSample(int frame, int period, double amplitude) {
    return static_cast<int16_t>(
        std::lround(amplitude * std::sin(2 * std::numbers::pi * (frame % period) / period)));
}
int16_t leftSample(int frame) {
    return toneSample(frame, kLeftPeriod, kLeftAmplitude);
}
int16_t rightSample(int frame) {
    return toneSample(frame, kRightPeriod, kRightAmplitude);
}

bool pumpUntil(platform::MessageLoop& loop, const std::function<bool()>& done,
               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pollfd fd{loop.wakeFd(), POLLIN, 0};
        ::poll(&fd, 1, 10);
        loop.pump();
    }
    return true;
}

// One channel of an interleaved stereo buffer.
std::vector<int16_t> channel(const std::vector<int16_t>& frames, size_t which) {
    std::vector<int16_t> out;
    for (size_t i = which; i < frames.size(); i += 2) out.push_back(frames[i]);
    return out;
}

// Frequency from the rising zero crossings, each placed by linear interpolation.
double measureFrequency(const std::vector<int16_t>& s) {
    std::optional<double> first;
    double last = 0;
    int crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double t = double(i - 1) + double(s[i - 1]) / (double(s[i - 1]) - double(s[i]));
            if (!first) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * double{kRate} / (last - *first);
}

int peak(const std::vector<int16_t>& s) {
    int p = 0;
    for (int16_t v : s) p = std::max(p, std::abs(int{v}));
    return p;
}

// The phase (frame index into the tone) at which `frames` matches the played tone exactly, if any.
std::optional<int> exactPhase(const std::vector<int16_t>& frames) {
    for (int phase = 0; phase < kLeftPeriod; ++phase) {
        bool all = true;
        for (size_t i = 0; all && 2 * i + 1 < frames.size(); ++i) {
            const int n = phase + static_cast<int>(i);
            all = frames[2 * i] == leftSample(n) && frames[2 * i + 1] == rightSample(n);
        }
        if (all) return phase;
    }
    return std::nullopt;
}

TEST(PulseEndToEnd, ToneThroughTheNullSinkComesBackOnBothCaptureChannels) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
        << "run through tools/with-pulse.sh (CTest test pulse_e2e)";
    platform::alsa::AlsaWaveDriver driver("default", "default");
    platform::MessageLoop loop;

    testing_support::LoopPlayer player(driver, loop, kToneFrames, [](int frame) {
        return std::pair{leftSample(frame), rightSample(frame)};
    });
    const std::string playError = player.start();
    ASSERT_TRUE(playError.empty()) << playError;
    // Let the tone reach the sink, so that every captured buffer holds it from its first frame.
    pumpUntil(
        loop, [] { return false; }, std::chrono::milliseconds(500));

    // The capture component as the instrument sets it up: 44100 Hz, 16-bit stereo, four buffers
    // of 0.25 s, and a handler that declines every buffer, so one run delivers four and closes.
    auto in = std::make_unique<audio::TAudioIn>(driver, loop);
    in->setFrameRate(kRate);
    in->setStereo(true);
    in->setQuantization(16);
    in->setBufferSize(44100);
    in->setNumBuffers(4);
    std::vector<std::vector<int16_t>> delivered;
    in->OnBufferFilled = [&](std::byte* buffer, int32_t& size) {
        std::vector<int16_t> frames(static_cast<size_t>(size) / 2);
        std::memcpy(frames.data(), buffer, frames.size() * 2);
        delivered.push_back(std::move(frames));
        return false;
    };
    bool stopped = false;
    in->OnStop = [&] { stopped = true; };

    ASSERT_TRUE(in->StartDevice(&in)) << in->LastErrorText();
    ASSERT_TRUE(pumpUntil(
        loop, [&] { return stopped; }, std::chrono::seconds(10)))
        << "the capture did not close; " << delivered.size() << " buffers delivered; "
        << in->LastErrorText();
    player.stop();
    loop.pump();

    EXPECT_FALSE(in->DeviceOpen());
    ASSERT_EQ(delivered.size(), 4u);
    std::vector<std::optional<int>> phases;
    for (size_t b = 0; b < delivered.size(); ++b) {
        SCOPED_TRACE("buffer " + std::to_string(b));
        const std::vector<int16_t>& frames = delivered[b];
        ASSERT_EQ(frames.size(), 44100u / 2);
        const std::vector<int16_t> left = channel(frames, 0);
        const std::vector<int16_t> right = channel(frames, 1);
        EXPECT_NEAR(measureFrequency(left), kLeftHz, kFrequencyToleranceHz);
        EXPECT_NEAR(measureFrequency(right), kRightHz, kFrequencyToleranceHz);
        EXPECT_NEAR(peak(left), kLeftAmplitude, kLeftAmplitude * kAmplitudeTolerance);
        EXPECT_NEAR(peak(right), kRightAmplitude, kRightAmplitude * kAmplitudeTolerance);
        phases.push_back(exactPhase(frames));
        EXPECT_TRUE(phases.back().has_value()) << "the captured samples differ from the tone";
    }
    // The queued buffers were filled back to back: each continues the tone where the last ended.
    constexpr int kBufferFrames = 44100 / 4;
    for (size_t b = 1; b < phases.size(); ++b) {
        if (phases[b - 1] && phases[b]) {
            EXPECT_EQ(*phases[b], (*phases[b - 1] + kBufferFrames) % kLeftPeriod) << "buffer " << b;
        }
    }
}

}  // namespace
