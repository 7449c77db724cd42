// Values of simple mixer elements as the mixer service gives them: levels scaled between 0..65535
// and the element's range (rounded to nearest), mute as the inverse of the playback switch, the
// recording source as an exclusive capture switch or an enumerated item. Each call returns 0 or
// ALSA's negative error, and names the failing call.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <span>

namespace platform::alsa {

inline constexpr int32_t kLevelMax = 65535;

// Level 0..kLevelMax of `raw` in [min, max], and back. Within a range of at most kLevelMax steps
// both round to nearest, and every raw value survives the way there and back. A wider range (a
// sound server's 0..65536) has more raw values than levels: the level rounds down and the raw
// value up, so that a value read comes back as it was, all but the few of the range's first level
// (PulseAudio's 50 %, 32768, among those that do). An empty range (max <= min) is level 0 and raw
// `min`.
int32_t levelFromRaw(long raw, long min, long max);
long rawFromLevel(int32_t level, long min, long max);

struct ElementResult {
    int err = 0;
    const char* call = nullptr;  // the failing call when err < 0
    bool ok() const { return err >= 0; }
};

enum class Side : uint8_t { Playback, Capture };

// One value: the left channel's level (a mono element's only one); two: left and right (a mono
// element gives its level twice).
ElementResult readLevel(snd_mixer_elem_t* elem, Side side, std::span<int32_t> levels);
// One value sets every channel; two set left and right (a mono element takes the left).
ElementResult writeLevel(snd_mixer_elem_t* elem, Side side, std::span<const int32_t> levels);

// Muted: no channel's playback switch is on. Writing sets every channel.
ElementResult readMute(snd_mixer_elem_t* elem, bool& muted);
ElementResult writeMute(snd_mixer_elem_t* elem, bool muted);

// The capture switches: how many channels they have (1 or 2), and one channel's, read or written
// (a channel beyond a mono element's is its only one).
uint32_t captureSwitchChannels(snd_mixer_elem_t* elem);
ElementResult readCaptureSwitch(snd_mixer_elem_t* elem, uint32_t channel, bool& on);
ElementResult writeCaptureSwitch(snd_mixer_elem_t* elem, uint32_t channel, bool on);

// An enumerated element: how many channels it has, and one channel's item, read or written.
uint32_t enumChannels(snd_mixer_elem_t* elem);
ElementResult readEnumItem(snd_mixer_elem_t* elem, uint32_t channel, unsigned& item);
ElementResult writeEnumItem(snd_mixer_elem_t* elem, uint32_t channel, unsigned item);

}  // namespace platform::alsa
