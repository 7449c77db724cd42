#include "platform/alsa/PlaybackDevice.h"

#include <algorithm>
#include <cerrno>

namespace platform::alsa {

namespace {

// What snd_pcm_pause returns where the device, or a plugin on the way to it, has no pause.
bool pauseUnsupported(int err) {
    return err == -ENOSYS || err == -EOPNOTSUPP;
}

}  // namespace

Status PlaybackDevice::attach(StreamQueue& queue) {
    silence_.resize(static_cast<size_t>(geometry().periodFrames) * geometry().frameBytes);
    // Silence is not zero bytes in every format: unsigned 8-bit silence is 0x80.
    const auto samples = static_cast<unsigned>(
        snd_pcm_bytes_to_samples(pcm(), static_cast<ssize_t>(silence_.size())));
    if (const int err = snd_pcm_format_set_silence(geometry().format, silence_.data(), samples);
        err < 0) {
        return failAlsa("snd_pcm_format_set_silence", err);
    }
    return PcmDevice::attach(queue);
}

Status PlaybackDevice::pause() {
    if (paused_) return {};
    // Only a running device needs holding; any other plays nothing while it is not written to.
    if (snd_pcm_state(pcm()) == SND_PCM_STATE_RUNNING) {
        // A device without pause is taken as refusing it, and gets silence alike.
        const int err = geometry().canPause ? snd_pcm_pause(pcm(), 1) : -ENOSYS;
        if (err < 0 && !pauseUnsupported(err)) return failAlsa("snd_pcm_pause", err);
        pcmPaused_ = err == 0;
        silent_ = !pcmPaused_;
    }
    paused_ = true;
    wake();  // the thread may be waiting for the queue alone; now it feeds silence or stops
    return {};
}

Status PlaybackDevice::restart() {
    if (!paused_) return {};
    if (pcmPaused_) {
        if (const int err = snd_pcm_pause(pcm(), 0); err < 0) return failAlsa("snd_pcm_pause", err);
        pcmPaused_ = false;
    }
    paused_ = false;
    silent_ = false;  // the queue is written after the silence the ring holds
    wake();
    return {};
}

void PlaybackDevice::transfer() {
    if (silent_) {
        writeSilence();
        return;
    }
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

void PlaybackDevice::writeSilence() {
    const snd_pcm_sframes_t written =
        snd_pcm_writei(pcm(), silence_.data(), geometry().periodFrames);
    if (written < 0 && written != -EAGAIN) recoverRun(static_cast<int>(written));
}

void PlaybackDevice::recoverRun(int err) {
    // After an underrun the device is prepared again and restarts once enough is written, be it
    // queued audio or silence.
    if (snd_pcm_recover(pcm(), err, 1) < 0) deviceFailed(err, "snd_pcm_writei");
}

void PlaybackDevice::startIfIdle() {
    if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) return;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm());
    if (avail < 0 || static_cast<snd_pcm_uframes_t>(avail) >= geometry().bufferFrames) return;
    if (const int err = snd_pcm_start(pcm()); err < 0) deviceFailed(err, "snd_pcm_start");
}

Status PlaybackDevice::stop() {
    // Dropped, the device is prepared and plays nothing until written to: no silence is needed
    // to hold it, paused or not.
    pcmPaused_ = false;
    silent_ = false;
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
