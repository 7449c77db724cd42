// Signals for the simulated card's capture: per-channel generators (square, sine, silence) and a
// sound file. A source renders interleaved stereo 16-bit frames at 44100 frames/s; the frame index
// it is asked for is the card's clock, so a signal runs on continuously from one capture to the
// next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform::sim {

inline constexpr uint32_t kSimFrameRate = 44100;

// Amplitudes are clamped to this, so that +amplitude and -amplitude are both representable.
inline constexpr int kMaxAmplitude = 32767;

// One channel as a function of the frame index.
class ChannelSource {
  public:
    virtual ~ChannelSource() = default;
    virtual int16_t sample(uint64_t frame) const = 0;
};

std::unique_ptr<ChannelSource> makeSilence();
// Square wave: the positive half (+amplitude) first, frame 0 starts a period. When 44100 / (2 ×
// frequency) is a whole number, every half period is exactly that many frames; otherwise a frame
// belongs to the half period its start time falls in. A frequency that is not a positive finite
// number gives silence.
std::unique_ptr<ChannelSource> makeSquare(double frequency, int amplitude);
// amplitude × sin(2π × frequency × frame / 44100), rounded to the nearest integer. A frequency that
// is not a finite number gives silence.
std::unique_ptr<ChannelSource> makeSine(double frequency, int amplitude);

class StereoSource {
  public:
    virtual ~StereoSource() = default;
    // Writes frames [firstFrame, firstFrame + out.size()/2) as left, right pairs. Called by the
    // card with its lock held; it must not allocate or block.
    virtual void render(uint64_t firstFrame, std::span<int16_t> out) = 0;
};

// Two channel sources; left is the card's first input. A null channel is silent.
std::unique_ptr<StereoSource> makeStereo(std::unique_ptr<ChannelSource> left,
                                         std::unique_ptr<ChannelSource> right);

// The longest sound file accepted, in frames (ten minutes); longer files are refused rather than
// held in memory.
inline constexpr uint64_t kMaxSoundFileFrames = 600ull * kSimFrameRate;

// A sound file, read whole at open with libsndfile and played in a loop: stereo, or mono on both
// channels, 44100 frames/s, at most kMaxSoundFileFrames long. Frame f of the card plays file frame
// f mod length. On failure returns null and sets `error` to a text naming the file and the reason
// (missing, not a sound file, another rate or channel count, no frames, or fewer frames readable
// than its header announces).
std::unique_ptr<StereoSource> openSoundFile(const std::string& path, std::string& error);
// The same for a sound file's bytes held in memory, with the same checks; `name` stands for the
// file in the error text. The bytes are read during the call only.
std::unique_ptr<StereoSource> openSoundData(std::span<const std::byte> bytes,
                                            const std::string& name, std::string& error);

}  // namespace platform::sim
