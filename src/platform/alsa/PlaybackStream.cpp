#include "platform/alsa/PlaybackStream.h"

#include <algorithm>
#include <cerrno>

namespace platform::alsa {

MMResult PlaybackStream::start() {
    return fail(MMResult::NotSupported, "start",
                "playback starts with the first queued buffer; use restart() after pause()");
}

MMResult PlaybackStream::pause() {
    if (const MMResult r = usable("pause"); failed(r)) return r;
    std::lock_guard lock(mutex_);
    if (paused_) return MMResult::NoError;
    // A device that cannot pause simply stops being fed: what it holds plays out, and the
    // underrun that follows is recovered once output resumes.
    if (geometry().canPause && snd_pcm_state(pcm()) == SND_PCM_STATE_RUNNING) {
        if (const int err = snd_pcm_pause(pcm(), 1); err < 0) {
            return failAlsa(MMResult::Error, "snd_pcm_pause", err);
        }
        pcmPaused_ = true;
    }
    paused_ = true;
    return MMResult::NoError;
}

MMResult PlaybackStream::restart() {
    if (const MMResult r = usable("restart"); failed(r)) return r;
    {
        std::lock_guard lock(mutex_);
        if (!paused_) return MMResult::NoError;
        if (pcmPaused_) {
            if (const int err = snd_pcm_pause(pcm(), 0); err < 0) {
                return failAlsa(MMResult::Error, "snd_pcm_pause", err);
            }
            pcmPaused_ = false;
        }
        paused_ = false;
    }
    wake();
    return MMResult::NoError;
}

void PlaybackStream::transfer() {
    const uint32_t frameBytes = geometry().frameBytes;
    WaveHeader* header = queue_.front();
    // Never more than the ring holds: some plugins (file) refuse larger requests.
    const snd_pcm_uframes_t frames = std::min<snd_pcm_uframes_t>(
        (header->bufferLength - frontBytes_) / frameBytes, geometry().bufferFrames);
    if (frames > 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(pcm(), header->data + frontBytes_, frames);
        if (written == -EAGAIN) return;
        if (written < 0) {
            recoverRun(static_cast<int>(written));
            return;
        }
        frontBytes_ += static_cast<uint32_t>(written) * frameBytes;
    }
    // A trailing partial frame cannot be played; the buffer is done without it.
    if (header->bufferLength - frontBytes_ < frameBytes) {
        completeFront();
        if (queue_.empty()) startIfIdle();
    }
}

void PlaybackStream::recoverRun(int err) {
    // After an underrun the device is prepared again and restarts once enough is written.
    if (snd_pcm_recover(pcm(), err, 1) < 0) deviceFailed(err, "snd_pcm_writei");
}

void PlaybackStream::startIfIdle() {
    if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) return;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm());
    if (avail < 0 || static_cast<snd_pcm_uframes_t>(avail) >= geometry().bufferFrames) return;
    if (const int err = snd_pcm_start(pcm()); err < 0) deviceFailed(err, "snd_pcm_start");
}

Status PlaybackStream::stopDevice() {
    paused_ = false;
    pcmPaused_ = false;
    return dropAndPrepare();
}

Status PlaybackStream::finishDevice() {
    // A paused stream is closed as it stands; otherwise the frames still in the device ring are
    // played before it closes, so the last buffer reported done is really heard.
    if (paused_) return {};
    const snd_pcm_state_t state = snd_pcm_state(pcm());
    if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_PREPARED) return {};
    if (const int err = snd_pcm_nonblock(pcm(), 0); err < 0) {
        return Status::fail(MMResult::Error,
                            callText("snd_pcm_nonblock", '"' + device() + '"', err));
    }
    if (const int err = snd_pcm_drain(pcm()); err < 0) {
        return Status::fail(MMResult::Error, callText("snd_pcm_drain", '"' + device() + '"', err));
    }
    return {};
}

}  // namespace platform::alsa
