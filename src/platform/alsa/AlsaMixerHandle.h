// AlsaMixerHandle: the owner of one open ALSA simple mixer (snd_mixer_t) attached to one control
// device, with the simple element class registered and the elements loaded. Move-only; closes the
// mixer when it is destroyed or reset, so a failed open never leaks the device.
#pragma once

#include <alsa/asoundlib.h>

#include <string>

#include "platform/ErrorLog.h"

namespace platform::alsa {

class AlsaMixerHandle {
  public:
    AlsaMixerHandle() = default;
    ~AlsaMixerHandle() { close(); }
    AlsaMixerHandle(const AlsaMixerHandle&) = delete;
    AlsaMixerHandle& operator=(const AlsaMixerHandle&) = delete;
    AlsaMixerHandle(AlsaMixerHandle&& other) noexcept;
    AlsaMixerHandle& operator=(AlsaMixerHandle&& other) noexcept;

    // Opens the mixer of control device `device` ("hw:1", "default", "pulse", ...): open, attach,
    // register the simple elements, load. A device that does not exist is BadDeviceId.
    static Status open(const std::string& device, AlsaMixerHandle& out);

    snd_mixer_t* get() const { return mixer_; }
    explicit operator bool() const { return mixer_ != nullptr; }

    void close() noexcept;

  private:
    snd_mixer_t* mixer_ = nullptr;
};

// The card's name as the control device `device` that `mixer` is attached to reports it
// (snd_ctl_card_info), or empty when the device cannot tell. On the mixer's thread.
std::string cardName(snd_mixer_t* mixer, const std::string& device);

}  // namespace platform::alsa
