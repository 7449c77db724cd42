// PcmHandle: the owner of one open ALSA PCM (snd_pcm_t). Move-only; closes the PCM when it is
// destroyed or reset, so a failed open or setup never leaks the device.
#pragma once

#include <alsa/asoundlib.h>

#include <string>

#include "platform/WaveTypes.h"
#include "platform/alsa/AlsaError.h"

namespace platform::alsa {

class PcmHandle {
  public:
    PcmHandle() = default;
    ~PcmHandle() { close(); }
    PcmHandle(const PcmHandle&) = delete;
    PcmHandle& operator=(const PcmHandle&) = delete;
    PcmHandle(PcmHandle&& other) noexcept : pcm_(other.pcm_) { other.pcm_ = nullptr; }
    PcmHandle& operator=(PcmHandle&& other) noexcept;

    // Opens `device` in non-blocking mode (a busy device fails at once instead of waiting).
    static Status open(const std::string& device, Direction direction, PcmHandle& out);

    snd_pcm_t* get() const { return pcm_; }
    explicit operator bool() const { return pcm_ != nullptr; }

    // Closes the PCM; returns snd_pcm_close's result (0 when none was open). The handle is empty
    // afterwards either way: alsa-lib frees the PCM even when closing reports an error.
    int close() noexcept;

  private:
    snd_pcm_t* pcm_ = nullptr;
};

}  // namespace platform::alsa
