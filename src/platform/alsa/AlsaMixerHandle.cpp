#include "platform/alsa/AlsaMixerHandle.h"

#include <utility>

#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaLog.h"

namespace platform::alsa {

AlsaMixerHandle::AlsaMixerHandle(AlsaMixerHandle&& other) noexcept
    : mixer_(std::exchange(other.mixer_, nullptr)) {}

AlsaMixerHandle& AlsaMixerHandle::operator=(AlsaMixerHandle&& other) noexcept {
    if (this != &other) {
        close();
        mixer_ = std::exchange(other.mixer_, nullptr);
    }
    return *this;
}

Status AlsaMixerHandle::open(const std::string& device, AlsaMixerHandle& out) {
    const std::string quoted = '"' + device + '"';
    AlsaMixerHandle handle;
    discardLibraryMessages();  // the text of a failure holds what this open made alsa-lib say
    if (const int err = snd_mixer_open(&handle.mixer_, 0); err < 0) {
        handle.mixer_ = nullptr;
        return Status::fail(MMResult::Error, callText("snd_mixer_open", quoted, err));
    }
    // Each step that fails leaves `handle` to close what was opened.
    if (const int err = snd_mixer_attach(handle.mixer_, device.c_str()); err < 0) {
        return Status::fail(openResult(err), callText("snd_mixer_attach", quoted, err));
    }
    if (const int err = snd_mixer_selem_register(handle.mixer_, nullptr, nullptr); err < 0) {
        return Status::fail(MMResult::Error, callText("snd_mixer_selem_register", quoted, err));
    }
    if (const int err = snd_mixer_load(handle.mixer_); err < 0) {
        return Status::fail(MMResult::Error, callText("snd_mixer_load", quoted, err));
    }
    out = std::move(handle);
    return {};
}

void AlsaMixerHandle::close() noexcept {
    // snd_mixer_close detaches and frees everything; its result tells nothing a caller could use.
    if (mixer_ != nullptr) snd_mixer_close(std::exchange(mixer_, nullptr));
}

std::string cardName(snd_mixer_t* mixer, const std::string& device) {
    snd_hctl_t* hctl = nullptr;
    if (snd_mixer_get_hctl(mixer, device.c_str(), &hctl) < 0) return {};
    snd_ctl_card_info_t* info = nullptr;
    snd_ctl_card_info_alloca(&info);
    if (snd_ctl_card_info(snd_hctl_ctl(hctl), info) < 0) {
        discardLibraryMessages();  // not a failure anyone is told of
        return {};
    }
    const char* name = snd_ctl_card_info_get_name(info);
    return name != nullptr ? name : "";
}

}  // namespace platform::alsa
