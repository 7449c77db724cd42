// End to end through a real sound server: run by tools/with-pulse.sh, which makes ALSA's `default`
// a private PulseAudio whose default source is the monitor of its null sink. A stereo tone played
// through the driver's playback on `default` must come back through the capture component, as the
// instrument configures it, with each channel's frequency and amplitude and, since the server mixes
// at unity gain without resampling, sample for sample. A playback closed with audio still on its
// way plays it out without holding up close(), up to a deadline when the server stops taking it.

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

#include "audio/AudioIn.h"
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

// Closing a playback stream with audio still in the device: close() returns at once, and the close
// message follows once the audio has played, or at the play-out deadline (the 0.5 s ring plus
// kPlayOutMargin) when the server has stopped taking it (its sink suspended).
struct PlayOutCase {
    const char* name;
    bool sinkSuspended;
    std::chrono::milliseconds atLeast;  // from close() to the close message
    std::chrono::milliseconds atMost;
};

class PulsePlayOut : public ::testing::TestWithParam<PlayOutCase> {};

TEST_P(PulsePlayOut, CloseReturnsAtOnceAndTheCloseMessageFollowsThePlayOut) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
        << "run through tools/with-pulse.sh (CTest test pulse_e2e)";
    const PlayOutCase& c = GetParam();
    using Clock = std::chrono::steady_clock;
    platform::MessageLoop loop;
    platform::alsa::AlsaWaveDriver driver("default", "default");
    struct Watch final : platform::MessageTarget {
        int done = 0;
        std::optional<Clock::time_point> closed;
        void handleMessage(uint32_t message, uintptr_t, uintptr_t) override {
            if (message == messageId(platform::WaveMessage::PlaybackDone)) ++done;
            if (message == messageId(platform::WaveMessage::PlaybackClose)) closed = Clock::now();
        }
    } watch;
    const platform::TargetId id = loop.registerTarget(&watch);

    // Two buffers of 0.2 s: both fit the device ring at once, so both are done long before they
    // are heard.
    platform::WaveFormat f;
    f.channels = 2, f.samplesPerSec = kRate, f.bitsPerSample = 16, f.blockAlign = 4;
    f.avgBytesPerSec = kRate * 4;
    std::unique_ptr<platform::WaveStream> stream;
    ASSERT_EQ(driver.open(Direction::Playback, platform::kWaveMapper, f, loop, id, stream),
              MMResult::NoError)
        << driver.errorText(Direction::Playback, MMResult::Error);
    std::array<std::vector<int16_t>, 2> buffers;
    std::array<platform::WaveHeader, 2> headers{};
    for (size_t i = 0; i < buffers.size(); ++i) {
        buffers[i].resize(2 * 8820);
        for (size_t k = 0; k < 8820; ++k) {
            buffers[i][2 * k] = leftSample(static_cast<int>(k));
            buffers[i][2 * k + 1] = rightSample(static_cast<int>(k));
        }
        headers[i].data = reinterpret_cast<std::byte*>(buffers[i].data());
        headers[i].bufferLength = 8820 * 4;
        ASSERT_EQ(stream->prepareHeader(headers[i]), MMResult::NoError);
        ASSERT_EQ(stream->addBuffer(headers[i]), MMResult::NoError);
    }
    ASSERT_TRUE(pumpUntil(
        loop, [&] { return watch.done == 2; }, std::chrono::seconds(5)));
    if (c.sinkSuspended) {
        ASSERT_EQ(std::system("pactl suspend-sink scope_sink 1"), 0);
    }

    const Clock::time_point closing = Clock::now();
    ASSERT_EQ(stream->close(), MMResult::NoError);
    EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(100)) << "close() waited";
    stream.reset();  // as the component does right after close()
    const bool closed = pumpUntil(
        loop, [&] { return watch.closed.has_value(); }, std::chrono::seconds(5));
    if (c.sinkSuspended) {
        EXPECT_EQ(std::system("pactl suspend-sink scope_sink 0"), 0);
    }
    ASSERT_TRUE(closed);
    EXPECT_GE(*watch.closed - closing, c.atLeast);
    EXPECT_LE(*watch.closed - closing, c.atMost);
    loop.unregisterTarget(id);
}

// Bounds: the ring holds 0.4 s when close() is called, less what has already played; the deadline
// is 1 s after close(); both upper bounds leave room for a busy machine.
INSTANTIATE_TEST_SUITE_P(
    AlsaDriver, PulsePlayOut,
    ::testing::Values(PlayOutCase{"AudioPlaysOut", false, std::chrono::milliseconds(200),
                                  std::chrono::milliseconds(900)},
                      PlayOutCase{"SinkStopsTakingIt", true, std::chrono::milliseconds(900),
                                  std::chrono::milliseconds(2000)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
