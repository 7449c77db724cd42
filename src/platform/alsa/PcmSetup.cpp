#include "platform/alsa/PcmSetup.h"

#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/alsa/AlsaLog.h"

namespace platform::alsa {

namespace {

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
struct SwParamsFree {
    void operator()(snd_pcm_sw_params_t* p) const { snd_pcm_sw_params_free(p); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree>;
using SwParams = std::unique_ptr<snd_pcm_sw_params_t, SwParamsFree>;

snd_pcm_format_t sampleFormat(const WaveFormat& format) {
    return format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
}

// Runs one snd_* step; on failure builds the status naming the call, the device and `what`.
class Steps {
  public:
    // What alsa-lib said before the first step is not the steps' concern.
    explicit Steps(const std::string& device) : device_(device) { discardLibraryMessages(); }

    // `hint` follows the reason: what the user can do about it.
    bool run(int err, const char* call, MMResult code, const std::string& what = {},
             const std::string& hint = {}) {
        if (err >= 0) return true;
        std::string args = '"' + device_ + '"';
        if (!what.empty()) args += ", " + what;
        status_ = Status::fail(code, callText(call, args, err) + hint);
        return false;
    }
    Status take() { return std::move(status_); }

  private:
    const std::string& device_;
    Status status_;
};

// The ring and period lengths, the period first or the ring first.
Status setRingAndPeriod(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw, const std::string& device,
                        bool periodFirst) {
    Steps step(device);
    unsigned ringUs = kRingMicroseconds;
    unsigned periodUs = kPeriodMicroseconds;
    int dir = 0;
    const auto period = [&] {
        return step.run(snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, &dir),
                        "snd_pcm_hw_params_set_period_time_near", MMResult::Error);
    };
    const auto ring = [&] {
        return step.run(snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &ringUs, &dir),
                        "snd_pcm_hw_params_set_buffer_time_near", MMResult::Error);
    };
    if (periodFirst ? period() && ring() : ring() && period()) return {};
    return step.take();
}

}  // namespace

std::string conversionHint(const std::string& device, bool hardware) {
    constexpr std::string_view kHw = "hw:";
    std::string plug;
    if (device.starts_with(kHw)) {
        plug = "plughw:" + device.substr(kHw.size());
    } else if (hardware) {
        plug = device.find_first_of(":,") == std::string::npos ? "plug:" + device
                                                               : "plug:'" + device + '\'';
    } else {
        return {};
    }
    return "; use \"" + plug + "\", which converts it";
}

bool sameFormat(const WaveFormat& a, const WaveFormat& b) {
    return a.formatTag == b.formatTag && a.channels == b.channels &&
           a.samplesPerSec == b.samplesPerSec && a.bitsPerSample == b.bitsPerSample &&
           a.blockAlign == b.blockAlign;
}

Status checkFormat(const WaveFormat& format) {
    if (format.formatTag != kFormatPcm) {
        return Status::fail(MMResult::BadFormat,
                            "format tag " + std::to_string(format.formatTag) + " is not PCM");
    }
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) {
        return Status::fail(MMResult::BadFormat, std::to_string(format.bitsPerSample) +
                                                     "-bit samples are not supported (8 or 16)");
    }
    if (format.channels == 0 || format.samplesPerSec == 0) {
        return Status::fail(MMResult::BadFormat, "the format has no channels or no frame rate");
    }
    const uint32_t frameBytes = uint32_t{format.channels} * format.bitsPerSample / 8;
    if (format.blockAlign != frameBytes) {
        return Status::fail(MMResult::BadFormat,
                            "block alignment " + std::to_string(format.blockAlign) +
                                " does not match " + std::to_string(format.channels) + " x " +
                                std::to_string(format.bitsPerSample) + "-bit samples");
    }
    return {};
}

Status setUpPcm(snd_pcm_t* pcm, const std::string& device, const WaveFormat& format,
                PcmGeometry& geometry) {
    if (Status s = checkFormat(format); !s.ok()) return s;
    Steps step(device);

    snd_pcm_hw_params_t* rawHw = nullptr;
    if (!step.run(snd_pcm_hw_params_malloc(&rawHw), "snd_pcm_hw_params_malloc", MMResult::NoMem)) {
        return step.take();
    }
    const HwParams hw(rawHw);
    const snd_pcm_format_t sample = sampleFormat(format);
    // A refused format names the way out where there is one: a plug device converts.
    const std::string convert = conversionHint(device, snd_pcm_type(pcm) == SND_PCM_TYPE_HW);
    if (!step.run(snd_pcm_hw_params_any(pcm, hw.get()), "snd_pcm_hw_params_any", MMResult::Error) ||
        !step.run(snd_pcm_hw_params_set_access(pcm, hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED),
                  "snd_pcm_hw_params_set_access", MMResult::Error, "RW_INTERLEAVED") ||
        !step.run(snd_pcm_hw_params_set_format(pcm, hw.get(), sample),
                  "snd_pcm_hw_params_set_format", MMResult::BadFormat, snd_pcm_format_name(sample),
                  convert) ||
        !step.run(snd_pcm_hw_params_set_channels(pcm, hw.get(), format.channels),
                  "snd_pcm_hw_params_set_channels", MMResult::BadFormat,
                  std::to_string(format.channels) + " channels", convert) ||
        !step.run(snd_pcm_hw_params_set_rate(pcm, hw.get(), format.samplesPerSec, 0),
                  "snd_pcm_hw_params_set_rate", MMResult::BadFormat,
                  std::to_string(format.samplesPerSec) + " Hz", convert)) {
        return step.take();
    }
    // The period first, as aplay and arecord set them: some devices (JACK's plugin) take only
    // periods that are whole multiples of their own, and a ring chosen first may leave none of
    // those. Where that order fails, the ring first, from the space as it was before.
    snd_pcm_hw_params_t* rawBefore = nullptr;
    if (!step.run(snd_pcm_hw_params_malloc(&rawBefore), "snd_pcm_hw_params_malloc",
                  MMResult::NoMem)) {
        return step.take();
    }
    const HwParams before(rawBefore);
    snd_pcm_hw_params_copy(before.get(), hw.get());
    if (Status s = setRingAndPeriod(pcm, hw.get(), device, true); !s.ok()) {
        snd_pcm_hw_params_copy(hw.get(), before.get());
        if (!setRingAndPeriod(pcm, hw.get(), device, false).ok()) return s;  // aplay's reason
    }
    int dir = 0;
    const int installed = snd_pcm_hw_params(pcm, hw.get());
    if (!step.run(installed, "snd_pcm_hw_params",
                  installed == -EINVAL ? MMResult::BadFormat : MMResult::Error, {},
                  installed == -EINVAL ? convert : std::string())) {
        return step.take();
    }
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t ring = 0;
    if (!step.run(snd_pcm_hw_params_get_period_size(hw.get(), &period, &dir),
                  "snd_pcm_hw_params_get_period_size", MMResult::Error) ||
        !step.run(snd_pcm_hw_params_get_buffer_size(hw.get(), &ring),
                  "snd_pcm_hw_params_get_buffer_size", MMResult::Error)) {
        return step.take();
    }

    snd_pcm_sw_params_t* rawSw = nullptr;
    if (!step.run(snd_pcm_sw_params_malloc(&rawSw), "snd_pcm_sw_params_malloc", MMResult::NoMem)) {
        return step.take();
    }
    const SwParams sw(rawSw);
    if (!step.run(snd_pcm_sw_params_current(pcm, sw.get()), "snd_pcm_sw_params_current",
                  MMResult::Error)) {
        return step.take();
    }
    // Neither direction starts by itself (the boundary is out of reach): the driver thread starts
    // the device, as a start inside a read or write could wait for a sound server with the
    // device's lock held.
    snd_pcm_uframes_t boundary = 0;
    if (!step.run(snd_pcm_sw_params_get_boundary(sw.get(), &boundary),
                  "snd_pcm_sw_params_get_boundary", MMResult::Error)) {
        return step.take();
    }
    if (!step.run(snd_pcm_sw_params_set_avail_min(pcm, sw.get(), period),
                  "snd_pcm_sw_params_set_avail_min", MMResult::Error) ||
        !step.run(snd_pcm_sw_params_set_start_threshold(pcm, sw.get(), boundary),
                  "snd_pcm_sw_params_set_start_threshold", MMResult::Error) ||
        !step.run(snd_pcm_sw_params(pcm, sw.get()), "snd_pcm_sw_params", MMResult::Error)) {
        return step.take();
    }

    geometry.frameBytes = format.blockAlign;
    geometry.rate = format.samplesPerSec;
    geometry.format = sample;
    geometry.periodFrames = period;
    geometry.bufferFrames = ring;
    geometry.canPause = snd_pcm_hw_params_can_pause(hw.get()) == 1;
    return {};
}

}  // namespace platform::alsa
