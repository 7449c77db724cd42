#include "platform/alsa/CaptureDevice.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace platform::alsa {

CaptureDevice::CaptureDevice(Setup setup)
    : PcmDevice(std::move(setup)),
      scratch_(static_cast<size_t>(geometry().periodFrames) * geometry().frameBytes) {}

Status CaptureDevice::start() {
    if (running_) return {};
    if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) {
        if (const int err = snd_pcm_prepare(pcm()); err < 0)
            return failAlsa("snd_pcm_prepare", err);
    }
    if (const int err = snd_pcm_start(pcm()); err < 0) return failAlsa("snd_pcm_start", err);
    running_ = true;
    wake();
    return {};
}

void CaptureDevice::transfer() {
    const uint32_t frameBytes = geometry().frameBytes;
    StreamQueue& buffers = queue();
    WaveHeader* header = buffers.front();
    std::byte* target = scratch_.data();
    size_t room = scratch_.size();
    if (header != nullptr) {
        target = header->data + buffers.frontBytes();
        room = header->bufferLength - buffers.frontBytes();
    }
    // Never more than the ring holds: some plugins (file) refuse larger requests.
    const snd_pcm_uframes_t wanted =
        std::min<snd_pcm_uframes_t>(room / frameBytes, geometry().bufferFrames);
    const snd_pcm_sframes_t frames = snd_pcm_readi(pcm(), target, wanted);
    if (frames == -EAGAIN) return;
    if (frames < 0) {
        recoverRun(static_cast<int>(frames));
        return;
    }
    if (header == nullptr) return;  // dropped: nobody asked for it
    buffers.advanceFront(static_cast<uint32_t>(frames) * frameBytes);
}

void CaptureDevice::recoverRun(int err) {
    if (snd_pcm_recover(pcm(), err, 1) < 0) {
        deviceFailed(err, "snd_pcm_readi");
        return;
    }
    // An overrun leaves the device prepared; a resumed suspend may already be running again.
    if (snd_pcm_state(pcm()) == SND_PCM_STATE_PREPARED) {
        if (const int started = snd_pcm_start(pcm()); started < 0) {
            deviceFailed(started, "snd_pcm_start");
        }
    }
}

Status CaptureDevice::stop() {
    running_ = false;
    Status stopped = dropAndPrepare();
    wake();
    return stopped;
}

}  // namespace platform::alsa
