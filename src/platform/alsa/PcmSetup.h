// Setting an open PCM up for a wave format: interleaved access, the sample format, channel count
// and exact frame rate of the format record, a period and buffer size, and software parameters.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <string>

#include "platform/WaveTypes.h"
#include "platform/alsa/AlsaError.h"

namespace platform::alsa {

// What the device was set up with.
struct PcmGeometry {
    uint32_t frameBytes = 0;             // bytes per interleaved frame (the format's blockAlign)
    uint32_t rate = 0;                   // frames per second
    snd_pcm_uframes_t periodFrames = 0;  // frames per period: the unit the thread wakes for
    snd_pcm_uframes_t bufferFrames = 0;  // frames in the device ring
    bool canPause = false;               // snd_pcm_pause is available (playback)
    // The sample format: what silence is made of for a device that cannot pause.
    snd_pcm_format_t format = SND_PCM_FORMAT_UNKNOWN;
};

// Device ring and period lengths asked for. Latency is not critical to the instrument (its buffers
// hold 0.25 s); a ring of half a second rides out a busy UI thread without overruns.
inline constexpr unsigned kRingMicroseconds = 500000;
inline constexpr unsigned kPeriodMicroseconds = 50000;

// Whether a PCM set up for `a` carries `b` as it is (the fields setUpPcm uses).
bool sameFormat(const WaveFormat& a, const WaveFormat& b);

// Checks that `format` is a PCM format this backend can carry: 8-bit unsigned or 16-bit signed
// samples, at least one channel, a nonzero rate and a block alignment that matches the sample size
// (a mismatch would make the device and the buffers disagree on where frames start).
Status checkFormat(const WaveFormat& format);

// What to add to the text of a format that `device` refuses, where a plug device would convert
// it: for "hw:1,0" "; use \"plughw:1,0\", which converts it". Any other
// name of a `hardware` device gets "plug:NAME"; other devices (plugins that convert already, or
// that convert nothing) get nothing.
std::string conversionHint(const std::string& device, bool hardware);

// Sets `pcm` (opened on `device`, used only to name it in texts) up for `format`. A format the
// device cannot take exactly fails with BadFormat and ALSA's reason; other failures with Error.
Status setUpPcm(snd_pcm_t* pcm, const std::string& device, const WaveFormat& format,
                PcmGeometry& geometry);

}  // namespace platform::alsa
