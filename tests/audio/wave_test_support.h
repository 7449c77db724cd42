// Shared pieces of the wave component tests: the capture configuration of the main window, the
// test signal with a plain reference rendering, and a driver that counts opens.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioIn.h"
#include "platform/sim/SignalSource.h"

namespace wave_test {

inline constexpr int32_t kBufferBytes = 44100;  // AudioIn1: 16-bit stereo, a quarter second
inline constexpr size_t kBufferFrames = kBufferBytes / 4;

inline void configureLikeAudioIn1(audio::TAudioIn& in) {
    in.setBufferSize(kBufferBytes);
    in.setFrameRate(44100);
    in.setStereo(true);
}

// Periods that do not divide a quarter second, so consecutive buffers differ.
inline std::unique_ptr<platform::sim::StereoSource> makeTestSignal() {
    using namespace platform::sim;
    return makeStereo(makeSquare(437.0, 12000), makeSine(1013.0, 9000));
}

// What the card records for frames [first, first + frames) of the test signal.
inline std::vector<int16_t> referenceSamples(uint64_t first, size_t frames) {
    std::vector<int16_t> out(2 * frames);
    makeTestSignal()->render(first, out);
    return out;
}

inline std::vector<int16_t> samplesOf(const std::byte* buffer, int32_t size) {
    std::vector<int16_t> out(static_cast<size_t>(size) / sizeof(int16_t));
    std::memcpy(out.data(), buffer, out.size() * sizeof(int16_t));
    return out;
}

// Forwards to another driver, counting opens (and capture's); can replace its error reasons.
class CountingDriver final : public platform::WaveDriver {
  public:
    explicit CountingDriver(platform::WaveDriver& inner) : inner_(inner) {}
    int opens = 0;
    int captureOpens = 0;
    std::string text;    // used instead of the inner driver's text when not empty
    std::string detail;  // the detail that goes with `text`

    platform::MMResult open(platform::Direction d, uint32_t id, const platform::WaveFormat& f,
                            platform::MessageLoop& loop, platform::TargetId notify,
                            std::unique_ptr<platform::WaveStream>& stream) override {
        ++opens;
        captureOpens += d == platform::Direction::Capture ? 1 : 0;
        return inner_.open(d, id, f, loop, notify, stream);
    }
    platform::ErrorReason errorReason(platform::Direction d, platform::MMResult r) const override {
        return text.empty() ? inner_.errorReason(d, r) : platform::ErrorReason{r, text, detail};
    }
    std::string deviceName(platform::Direction d) const override { return inner_.deviceName(d); }

  private:
    platform::WaveDriver& inner_;
};

}  // namespace wave_test
