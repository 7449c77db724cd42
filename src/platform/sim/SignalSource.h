// Signals for the simulated card's capture: per-channel generators (square, sine, silence, pulse
// train, each of the last two also as a real LINE IN delivers it) and a sound file. A source
// renders interleaved stereo 16-bit frames at 44100 frames/s; the frame index it is asked for is
// the card's clock, so a signal runs on continuously from one capture to the next.
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

// A pulse train: `high` for the first dutyPercent of every period, `low` for the rest, with a
// rising edge at `delay` seconds and every period from there.
struct PulseTrain {
    double frequency = 1000.0;  // Hz, above 0 and at most 22050
    double dutyPercent = 50.0;  // above 0 and below 100
    int high = 8000;            // sample units
    int low = 0;
    double delay = 0.0;  // s
};
// The pulse train sampled as it is: every frame is exactly `high` or `low` (clamped to
// ±kMaxAmplitude), the frame at or after an edge's time already on the new level. Parameters out
// of their ranges, or not finite, give silence.
std::unique_ptr<ChannelSource> makePulse(const PulseTrain& pulse);

// What a sound card's LINE IN does to a signal before it is sampled: the coupling capacitor's
// first-order high-pass (flat parts droop toward 0, the mean goes to 0), the converter's steep,
// linear-phase anti-alias low-pass (-6 dB at lowPassHz; an edge takes about one frame and stays
// centred on its time), and white Gaussian noise. Samples beyond 16 bits are limited to them, as
// the converter does. A corner of 0 leaves that filter out; noise 0 is none.
struct LineIn {
    double highPassHz = 10.0;
    double lowPassHz = 20000.0;
    double noiseRms = 4.0;   // sample units (-78 dBFS)
    uint64_t noiseSeed = 1;  // the same seed gives the same noise, frame for frame
};
// The pulse train or sine as it arrives through `lineIn`: a function of the frame index alone (the
// periodic steady state, worked out in closed form), so that any frame can be asked for in any
// order. Parameters out of their ranges (the pulse's as above; corners and noise negative or not
// finite, or a high-pass corner not below the low-pass corner) give silence.
std::unique_ptr<ChannelSource> makePulse(const PulseTrain& pulse, const LineIn& lineIn);
// amplitude × sin(2π × frequency × t) through `lineIn`.
std::unique_ptr<ChannelSource> makeSine(double frequency, int amplitude, const LineIn& lineIn);

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
