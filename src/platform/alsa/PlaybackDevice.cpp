#include "platform/alsa/PlaybackDevice.h"

#include <algorithm>
#include <cerrno>

namespace platform::alsa {

Status PlaybackDevice::pause() {
    if (paused_) return {};
    // A device that cannot pause simply stops being fed: what it holds plays out, and the
    // underrun that follows is recovered once output resumes.
    if (geometry().canPause && snd_pcm_state(pcm()) == SND_PCM_STATE_RUNNING) {
        if (const int err = snd_pcm_pause(pcm(), 1); err < 0) return failAlsa("snd_pcm_pause", err);
        pcmPaused_ = true;
    }
    paused_ = true;
    return {};
}

Status PlaybackDevice::restart() {
    if (!paused_) return {};
    if (pcmPaused_) {
        if (const int err = snd_pcm_pause(pcm(), 0); err < 0) return failAlsa("snd_pcm_pause", err);
        pcmPaused_ = false;
    }
    paused_ = false;
    wake();
    return {};
}

void PlaybackDevice::transfer() {
    const uint32_t frameBytes = geometry().frameBytes;
    StreamQueue& buffers = queue();
    const WaveHeader& header = *buffers.front();
    // Never more than the ring holds: some plugins (file) refuse larger requests.
    const snd_pcm_uframes_t frames = std::min<snd_pcm_uframes_t>(
        (header.bufferLength - buffers.frontBytes()) / frameBytes, geometry().bufferFrames);
    const snd_pcm_sframes_t written =
        snd_pcm_writei(pcm(), header.data + buffers.frontBytes(), frames);
    if (written == -EAGAIN) return;
    if (written < 0) {
        recoverRun(static_cast<int>(written));
        return;
    }
    buffers.advanceFront(static_cast<uint32_t>(written) * frameBytes);
    if (buffers.empty()) startIfIdle();
}

void PlaybackDevice::recoverRun(int err) {
    // After an underrun the device is prepared again and restarts once enough is written.
    if (snd_pcm_recover(pcm(), err, 1) < 0) deviceFailed(err, "snd_pcm_writei");
}

void PlaybackDevice::startIfIdle() {
    if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) return;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm());
    if (avail < 0 || static_cast<snd_pcm_uframes_t>(avail) >= geometry().bufferFrames) return;
    if (const int err = snd_pcm_start(pcm()); err < 0) deviceFailed(err, "snd_pcm_start");
}

Status PlaybackDevice::stop() {
    pcmPaused_ = false;
    Status stopped = dropAndPrepare();
    wake();
    return stopped;
}

bool PlaybackDevice::holdsFrames() const {
    // A paused stream is closed as it stands.
    if (paused_) return false;
    const snd_pcm_state_t state = snd_pcm_state(pcm());
    if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_PREPARED) return false;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm());
    return avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < geometry().bufferFrames;
}

}  // namespace platform::alsa
