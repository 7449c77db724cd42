#include "platform/alsa/AlsaMixerValues.h"

#include <algorithm>

namespace platform::alsa {

namespace {

// Rounds num / den to nearest for num >= 0, den > 0.
int64_t divideRounded(int64_t num, int64_t den) {
    return (num + den / 2) / den;
}

constexpr snd_mixer_selem_channel_id_t kLeft = SND_MIXER_SCHN_FRONT_LEFT;
constexpr snd_mixer_selem_channel_id_t kRight = SND_MIXER_SCHN_FRONT_RIGHT;

bool mono(snd_mixer_elem_t* elem, Side side) {
    return side == Side::Capture ? snd_mixer_selem_is_capture_mono(elem) != 0
                                 : snd_mixer_selem_is_playback_mono(elem) != 0;
}

// The element's raw volume range on `side`.
ElementResult volumeRange(snd_mixer_elem_t* elem, Side side, long& min, long& max) {
    const bool capture = side == Side::Capture;
    const int err = capture ? snd_mixer_selem_get_capture_volume_range(elem, &min, &max)
                            : snd_mixer_selem_get_playback_volume_range(elem, &min, &max);
    if (err < 0) {
        return {err, capture ? "snd_mixer_selem_get_capture_volume_range"
                             : "snd_mixer_selem_get_playback_volume_range"};
    }
    return {};
}

// Whether any channel's switch on `side` is on (a mono element's first only).
ElementResult readAnySwitch(snd_mixer_elem_t* elem, Side side, bool& anyOn) {
    const bool capture = side == Side::Capture;
    anyOn = false;
    const int channels = mono(elem, side) ? 1 : 2;
    for (int c = 0; c < channels; ++c) {
        int on = 0;
        const snd_mixer_selem_channel_id_t channel = c == 0 ? kLeft : kRight;
        const int err = capture ? snd_mixer_selem_get_capture_switch(elem, channel, &on)
                                : snd_mixer_selem_get_playback_switch(elem, channel, &on);
        if (err < 0) {
            return {err, capture ? "snd_mixer_selem_get_capture_switch"
                                 : "snd_mixer_selem_get_playback_switch"};
        }
        if (on != 0) anyOn = true;
    }
    return {};
}

ElementResult writeAllSwitches(snd_mixer_elem_t* elem, Side side, bool on) {
    const bool capture = side == Side::Capture;
    const int err = capture ? snd_mixer_selem_set_capture_switch_all(elem, on ? 1 : 0)
                            : snd_mixer_selem_set_playback_switch_all(elem, on ? 1 : 0);
    if (err < 0) {
        return {err, capture ? "snd_mixer_selem_set_capture_switch_all"
                             : "snd_mixer_selem_set_playback_switch_all"};
    }
    return {};
}

}  // namespace

int32_t levelFromRaw(long raw, long min, long max) {
    if (max <= min) return 0;
    const int64_t range = int64_t{max} - min;
    const int64_t scaled = (std::clamp(raw, min, max) - int64_t{min}) * kLevelMax;
    return static_cast<int32_t>(range <= kLevelMax ? divideRounded(scaled, range) : scaled / range);
}

long rawFromLevel(int32_t level, long min, long max) {
    if (max <= min) return min;
    const int64_t range = int64_t{max} - min;
    const int64_t scaled = int64_t{std::clamp(level, 0, kLevelMax)} * range;
    return min + static_cast<long>(range <= kLevelMax ? divideRounded(scaled, kLevelMax)
                                                      : (scaled + kLevelMax - 1) / kLevelMax);
}

ElementResult readLevel(snd_mixer_elem_t* elem, Side side, std::span<int32_t> levels) {
    const bool capture = side == Side::Capture;
    long min = 0;
    long max = 0;
    if (const ElementResult r = volumeRange(elem, side, min, max); !r.ok()) return r;
    const bool isMono = mono(elem, side);
    for (size_t c = 0; c < levels.size(); ++c) {
        const snd_mixer_selem_channel_id_t channel = (c == 0 || isMono) ? kLeft : kRight;
        long raw = 0;
        const int err = capture ? snd_mixer_selem_get_capture_volume(elem, channel, &raw)
                                : snd_mixer_selem_get_playback_volume(elem, channel, &raw);
        if (err < 0) {
            return {err, capture ? "snd_mixer_selem_get_capture_volume"
                                 : "snd_mixer_selem_get_playback_volume"};
        }
        levels[c] = levelFromRaw(raw, min, max);
    }
    return {};
}

ElementResult writeLevel(snd_mixer_elem_t* elem, Side side, std::span<const int32_t> levels) {
    const bool capture = side == Side::Capture;
    long min = 0;
    long max = 0;
    if (const ElementResult r = volumeRange(elem, side, min, max); !r.ok()) return r;
    int err = 0;
    if (levels.size() == 1 || mono(elem, side)) {
        const long raw = rawFromLevel(levels[0], min, max);
        err = capture ? snd_mixer_selem_set_capture_volume_all(elem, raw)
                      : snd_mixer_selem_set_playback_volume_all(elem, raw);
        if (err < 0) {
            return {err, capture ? "snd_mixer_selem_set_capture_volume_all"
                                 : "snd_mixer_selem_set_playback_volume_all"};
        }
        return {};
    }
    for (size_t c = 0; c < 2; ++c) {
        const long raw = rawFromLevel(levels[c], min, max);
        const snd_mixer_selem_channel_id_t channel = c == 0 ? kLeft : kRight;
        err = capture ? snd_mixer_selem_set_capture_volume(elem, channel, raw)
                      : snd_mixer_selem_set_playback_volume(elem, channel, raw);
        if (err < 0) {
            return {err, capture ? "snd_mixer_selem_set_capture_volume"
                                 : "snd_mixer_selem_set_playback_volume"};
        }
    }
    return {};
}

ElementResult readMute(snd_mixer_elem_t* elem, bool& muted) {
    bool on = false;
    const ElementResult r = readAnySwitch(elem, Side::Playback, on);
    muted = !on;
    return r;
}

ElementResult writeMute(snd_mixer_elem_t* elem, bool muted) {
    return writeAllSwitches(elem, Side::Playback, !muted);
}

uint32_t captureSwitchChannels(snd_mixer_elem_t* elem) {
    return mono(elem, Side::Capture) ? 1 : 2;
}

ElementResult readCaptureSwitch(snd_mixer_elem_t* elem, uint32_t channel, bool& on) {
    int value = 0;
    const int err = snd_mixer_selem_get_capture_switch(
        elem, std::min(channel, captureSwitchChannels(elem) - 1) == 0 ? kLeft : kRight, &value);
    if (err < 0) return {err, "snd_mixer_selem_get_capture_switch"};
    on = value != 0;
    return {};
}

ElementResult writeCaptureSwitch(snd_mixer_elem_t* elem, uint32_t channel, bool on) {
    const int err = snd_mixer_selem_set_capture_switch(
        elem, std::min(channel, captureSwitchChannels(elem) - 1) == 0 ? kLeft : kRight, on ? 1 : 0);
    if (err < 0) return {err, "snd_mixer_selem_set_capture_switch"};
    return {};
}

uint32_t enumChannels(snd_mixer_elem_t* elem) {
    // alsa-lib refuses a channel the element lacks.
    uint32_t channels = 1;
    unsigned item = 0;
    while (channels <= SND_MIXER_SCHN_LAST &&
           snd_mixer_selem_get_enum_item(elem, static_cast<snd_mixer_selem_channel_id_t>(channels),
                                         &item) >= 0) {
        ++channels;
    }
    return channels;
}

ElementResult readEnumItem(snd_mixer_elem_t* elem, uint32_t channel, unsigned& item) {
    const int err = snd_mixer_selem_get_enum_item(
        elem, static_cast<snd_mixer_selem_channel_id_t>(channel), &item);
    if (err < 0) return {err, "snd_mixer_selem_get_enum_item"};
    return {};
}

ElementResult writeEnumItem(snd_mixer_elem_t* elem, uint32_t channel, unsigned item) {
    const int err = snd_mixer_selem_set_enum_item(
        elem, static_cast<snd_mixer_selem_channel_id_t>(channel), item);
    if (err < 0) return {err, "snd_mixer_selem_set_enum_item"};
    return {};
}

}  // namespace platform::alsa
