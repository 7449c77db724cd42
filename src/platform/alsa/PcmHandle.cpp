#include "platform/alsa/PcmHandle.h"

#include <utility>

#include "platform/alsa/AlsaLog.h"

namespace platform::alsa {

PcmHandle& PcmHandle::operator=(PcmHandle&& other) noexcept {
    if (this != &other) {
        close();
        pcm_ = std::exchange(other.pcm_, nullptr);
    }
    return *this;
}

Status PcmHandle::open(const std::string& device, Direction direction, PcmHandle& out) {
    const snd_pcm_stream_t stream =
        direction == Direction::Capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    snd_pcm_t* pcm = nullptr;
    discardLibraryMessages();  // the text of a failure holds what this open made alsa-lib say
    const int err = snd_pcm_open(&pcm, device.c_str(), stream, SND_PCM_NONBLOCK);
    if (err < 0) {
        return Status::fail(openResult(err), callText("snd_pcm_open", '"' + device + '"', err));
    }
    out = PcmHandle();
    out.pcm_ = pcm;
    return {};
}

int PcmHandle::close() noexcept {
    if (pcm_ == nullptr) return 0;
    return snd_pcm_close(std::exchange(pcm_, nullptr));
}

}  // namespace platform::alsa
