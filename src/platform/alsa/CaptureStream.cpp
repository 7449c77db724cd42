#include "platform/alsa/CaptureStream.h"

#include <algorithm>
#include <cerrno>

namespace platform::alsa {

CaptureStream::CaptureStream(StreamSetup setup)
    : PcmStream(std::move(setup)),
      scratch_(static_cast<size_t>(geometry().periodFrames) * geometry().frameBytes) {}

MMResult CaptureStream::start() {
    if (const MMResult r = usable("start"); failed(r)) return r;
    {
        std::lock_guard lock(mutex_);
        if (running_) return MMResult::NoError;
        if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) {
            if (const int err = snd_pcm_prepare(pcm()); err < 0) {
                return failAlsa(MMResult::Error, "snd_pcm_prepare", err);
            }
        }
        if (const int err = snd_pcm_start(pcm()); err < 0) {
            return failAlsa(MMResult::Error, "snd_pcm_start", err);
        }
        running_ = true;
    }
    wake();
    return MMResult::NoError;
}

MMResult CaptureStream::pause() {
    return fail(MMResult::NotSupported, "pause", "capture has no pause; reset stops recording");
}

MMResult CaptureStream::restart() {
    return fail(MMResult::NotSupported, "restart", "capture is started with start()");
}

void CaptureStream::transfer() {
    const uint32_t frameBytes = geometry().frameBytes;
    WaveHeader* header = queue_.front();
    std::byte* target = scratch_.data();
    size_t room = scratch_.size();
    if (header != nullptr) {
        target = header->data + frontBytes_;
        room = header->bufferLength - frontBytes_;
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
    frontBytes_ += static_cast<uint32_t>(frames) * frameBytes;
    header->bytesRecorded = frontBytes_;
    if (header->bufferLength - frontBytes_ < frameBytes) completeFront();
}

void CaptureStream::recoverRun(int err) {
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

Status CaptureStream::stopDevice() {
    running_ = false;
    return dropAndPrepare();
}

}  // namespace platform::alsa
