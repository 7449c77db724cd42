// Plays a stereo 16-bit signal through a driver's playback without a gap, for the end-to-end tests
// on a real sound server: four buffers are filled once and every buffer the driver is done with is
// queued again. The signal must repeat within one buffer, so buffers played back to back continue
// it seamlessly.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"

namespace testing_support {

class LoopPlayer final : public platform::MessageTarget {
  public:
    // The card's first (left) and second (right) sample of a frame.
    using Signal = std::function<std::pair<int16_t, int16_t>(int frame)>;

    LoopPlayer(platform::WaveDriver& driver, platform::MessageLoop& loop, uint32_t framesPerBuffer,
               const Signal& signal)
        : driver_(driver), loop_(loop), frames_(framesPerBuffer), id_(loop.registerTarget(this)) {
        for (auto& buffer : buffers_) {
            buffer.resize(2 * size_t{frames_});
            for (uint32_t i = 0; i < frames_; ++i)
                std::tie(buffer[2 * i], buffer[2 * i + 1]) = signal(static_cast<int>(i));
        }
    }
    ~LoopPlayer() {
        stop();
        loop_.unregisterTarget(id_);
    }
    LoopPlayer(const LoopPlayer&) = delete;
    LoopPlayer& operator=(const LoopPlayer&) = delete;

    // Opens the playback device at 44100 frames/s and queues every buffer. Empty on success, else
    // the driver's text.
    std::string start() {
        platform::WaveFormat f;
        f.channels = 2, f.samplesPerSec = 44100, f.bitsPerSample = 16, f.blockAlign = 4;
        f.avgBytesPerSec = 44100 * 4;
        platform::MMResult r = driver_.open(platform::Direction::Playback, platform::kWaveMapper, f,
                                            loop_, id_, stream_);
        for (size_t i = 0; i < headers_.size() && !failed(r); ++i) {
            headers_[i].data = reinterpret_cast<std::byte*>(buffers_[i].data());
            headers_[i].bufferLength = frames_ * 4;
            r = stream_->prepareHeader(headers_[i]);
            if (!failed(r)) r = stream_->addBuffer(headers_[i]);
        }
        playing_ = !failed(r);
        return playing_ ? std::string() : driver_.errorText(platform::Direction::Playback, r);
    }
    void stop() {
        if (!stream_) return;
        playing_ = false;
        stream_->reset();
        stream_->close();
        stream_.reset();
    }

    void handleMessage(uint32_t message, uintptr_t, uintptr_t header) override {
        if (message == messageId(platform::WaveMessage::PlaybackDone) && playing_) {
            EXPECT_EQ(stream_->addBuffer(*reinterpret_cast<platform::WaveHeader*>(header)),
                      platform::MMResult::NoError);
        }
    }

  private:
    platform::WaveDriver& driver_;
    platform::MessageLoop& loop_;
    uint32_t frames_;
    platform::TargetId id_;
    std::unique_ptr<platform::WaveStream> stream_;
    std::array<std::vector<int16_t>, 4> buffers_;
    std::array<platform::WaveHeader, 4> headers_{};
    bool playing_ = false;
};

}  // namespace testing_support
