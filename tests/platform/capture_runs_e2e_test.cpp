// Capture runs one after another, as the instrument makes them (four buffers of 0.25 s, every one
// declined, so that each run closes the device and the next opens it), through a real sound server
// whose default source is a sink's monitor, while a tone plays into the sink: run by
// tools/with-pipewire.sh (either way into PipeWire) or tools/with-pulse.sh. A new stream on a
// monitor starts with silence (about 1860 frames on PipeWire); the driver keeps the stream of a
// closed capture for the next open, so that no run but the first starts with it. Prints each
// run's leading silent frames.

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "audio/AudioIn.h"
#include "platform/MessageLoop.h"
#include "platform/alsa/AlsaWaveDriver.h"
#include "support/LoopPlayer.h"

namespace {

constexpr int kRuns = 8;
constexpr int kRunBuffers = 4;
// Left a sine and right a cosine, so that no frame of the tone is silent on both channels.
constexpr int kPeriod = 100;  // 441 Hz
constexpr double kAmplitude = 8000;
constexpr uint32_t kToneFrames = 11000;  // a whole number of periods

int16_t tone(int frame, double phase) {
    return static_cast<int16_t>(std::lround(
        kAmplitude * std::sin(2 * std::numbers::pi * (frame % kPeriod) / kPeriod + phase)));
}

void pumpFor(platform::MessageLoop& loop, std::chrono::milliseconds time) {
    for (const auto end = std::chrono::steady_clock::now() + time;
         std::chrono::steady_clock::now() < end;) {
        pollfd fd{loop.wakeFd(), POLLIN, 0};
        ::poll(&fd, 1, 10);
        loop.pump();
    }
}

TEST(captureRuns, NoRunButTheFirstStartsWithTheSilenceOfANewStream) {
    platform::alsa::AlsaWaveDriver driver("default", "default");
    platform::MessageLoop loop;
    testing_support::LoopPlayer player(driver, loop, kToneFrames, [](int frame) {
        return std::pair{tone(frame, 0), tone(frame, std::numbers::pi / 2)};
    });
    const std::string playError = player.start();
    ASSERT_TRUE(playError.empty()) << playError;
    pumpFor(loop, std::chrono::milliseconds(500));  // the tone reaches the sink

    auto in = std::make_unique<audio::TAudioIn>(driver, loop);
    in->setBufferSize(44100);
    in->setNumBuffers(kRunBuffers);
    in->setFrameRate(44100);
    in->setStereo(true);
    in->setQuantization(16);
    int buffers = 0;
    int leadingSilence = -1;  // of the run's first buffer
    int16_t peak = 0;
    in->OnBufferFilled = [&](std::byte* buffer, int32_t& size) {
        std::vector<int16_t> values(static_cast<size_t>(size) / 2);
        std::memcpy(values.data(), buffer, values.size() * 2);
        if (buffers++ == 0) {
            leadingSilence = 0;
            while (2 * static_cast<size_t>(leadingSilence) + 1 < values.size() &&
                   values[2 * leadingSilence] == 0 && values[2 * leadingSilence + 1] == 0)
                ++leadingSilence;
        }
        for (int16_t v : values) peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(v)));
        return false;
    };

    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        buffers = 0;
        peak = 0;
        ASSERT_TRUE(in->StartDevice(&in)) << in->LastErrorText();
        for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
             in->DeviceOpen() && std::chrono::steady_clock::now() < end;)
            pumpFor(loop, std::chrono::milliseconds(10));
        ASSERT_FALSE(in->DeviceOpen()) << "the run did not end";
        ASSERT_EQ(buffers, kRunBuffers) << in->LastErrorText();
        std::printf("run %d: %d leading silent frames\n", run, leadingSilence);
        if (run == 0) continue;  // a new stream: its silence, and on PipeWire its resampler's start
        EXPECT_EQ(leadingSilence, 0) << "the run started a new stream";
        EXPECT_NEAR(peak, kAmplitude, kAmplitude * 0.01) << "the tone, at unity gain";
    }
}

}  // namespace
