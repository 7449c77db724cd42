// Signals for the simulated card's capture: per-channel generators (square, sine, silence) and a
// sound file. A source renders interleaved stereo 16-bit frames at 44100 frames/s.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform::sim {

inline constexpr uint32_t kSimFrameRate = 44100;

// One channel as a function of the frame index.
class ChannelSource {
public:
    virtual ~ChannelSource() = default;
    virtual int16_t sample(uint64_t frame) const = 0;
};

std::unique_ptr<ChannelSource> makeSilence();
// Square wave: positive half (+amplitude) first, frame 0 starts a period.
std::unique_ptr<ChannelSource> makeSquare(double frequency, int amplitude);
std::unique_ptr<ChannelSource> makeSine(double frequency, int amplitude);

class StereoSource {
public:
    virtual ~StereoSource() = default;
    // Writes frames [firstFrame, firstFrame + out.size()/2) as left, right pairs.
    virtual void render(uint64_t firstFrame, std::span<int16_t> out) = 0;
};

// Two channel sources; left is the card's first input.
std::unique_ptr<StereoSource> makeStereo(std::unique_ptr<ChannelSource> left,
                                         std::unique_ptr<ChannelSource> right);

// A sound file, read whole at open with libsndfile and played in a loop: stereo, or mono on both
// channels, 44100 frames/s. On failure returns null and sets `error` to a text naming the file and
// the reason.
std::unique_ptr<StereoSource> openSoundFile(const std::string& path, std::string& error);

}  // namespace platform::sim
