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
    paused_ = true;
    wake();  // the thread may be waiting for the queue alone; now it holds the device
    return {};
}

Status PlaybackDevice::restart() {
    paused_ = false;
    wake();
    return {};
}

Status PlaybackDevice::stop() {
    ++resets_;
    written_ = false;
    wake();
    return {};
}

PcmDevice::Change PlaybackDevice::nextChange() {
    // A drop first: whatever else is due applies to what is written after it.
    if (resets_ != dropped_) {
        dropping_ = resets_;
        return Change::Drop;
    }
    if (underrun_ != 0) return Change::Recover;
    if (!paused_ && silent_) silent_ = false;  // the queue follows the silence the ring holds
    if (paused_ && !pcmPaused_ && !silent_ && snd_pcm_state(pcm()) == SND_PCM_STATE_RUNNING)
        return Change::Pause;
    if (!paused_ && pcmPaused_) return Change::Resume;
    // Frames written before a pause start as they would have by themselves; the pause follows.
    if (startDue_) return Change::Start;
    return Change::None;
}

// The members read here are this thread's alone to write.
PcmDevice::Outcome PlaybackDevice::makeChange(Change change) {
    switch (change) {
        case Change::Drop:
            // Dropped, the device is prepared and plays nothing until written to: no silence is
            // needed to hold it, paused or not.
            if (const int err = snd_pcm_drop(pcm()); err < 0) return {err, "snd_pcm_drop"};
            return {snd_pcm_prepare(pcm()), "snd_pcm_prepare"};
        case Change::Recover:
            // After an underrun the device is prepared again and starts once enough is written.
            if (snd_pcm_recover(pcm(), underrun_, 1) < 0) return {underrun_, "snd_pcm_writei"};
            return {};
        case Change::Pause:
            // A device without pause is taken as refusing it, and gets silence alike.
            return {geometry().canPause ? snd_pcm_pause(pcm(), 1) : -ENOSYS, "snd_pcm_pause"};
        case Change::Resume:
            return {snd_pcm_pause(pcm(), 0), "snd_pcm_pause"};
        case Change::Start:
            if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) return {};
            return {snd_pcm_start(pcm()), "snd_pcm_start"};
        case Change::None:
            break;
    }
    return {};
}

void PlaybackDevice::changeMade(Change change, const Outcome& outcome) {
    int err = outcome.err;
    switch (change) {
        case Change::Drop:
            dropped_ = dropping_;
            pcmPaused_ = silent_ = startDue_ = false;
            underrun_ = 0;
            prepared_ = 0;
            break;
        case Change::Recover:
            underrun_ = 0;
            prepared_ = 0;
            break;
        case Change::Pause:
            pcmPaused_ = err == 0;
            silent_ = pauseUnsupported(err);
            // A device that stopped running meanwhile (an underrun) plays nothing: no harm.
            if (silent_ || snd_pcm_state(pcm()) != SND_PCM_STATE_RUNNING) err = 0;
            break;
        case Change::Resume:
            if (err == 0) pcmPaused_ = false;
            break;
        case Change::Start:
            startDue_ = false;
            break;
        case Change::None:
            break;
    }
    if (err < 0) deviceFailed(err, outcome.call);
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
        underrun_ = static_cast<int>(written);  // recovered without the lock, as it may wait
        return;
    }
    written_ = true;
    buffers.advanceFront(static_cast<uint32_t>(written) * frameBytes);
    startWhenFilled(static_cast<snd_pcm_uframes_t>(written));
}

void PlaybackDevice::writeSilence() {
    const snd_pcm_sframes_t written =
        snd_pcm_writei(pcm(), silence_.data(), geometry().periodFrames);
    if (written == -EAGAIN) return;
    if (written < 0) {
        underrun_ = static_cast<int>(written);
        return;
    }
    startWhenFilled(static_cast<snd_pcm_uframes_t>(written));
}

void PlaybackDevice::startWhenFilled(snd_pcm_uframes_t written) {
    prepared_ += written;
    if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) return;
    if (prepared_ >= geometry().bufferFrames / 2 || queue().empty()) startDue_ = true;
}

bool PlaybackDevice::holdsFrames() const {
    // A paused stream is closed as it stands; a reset one drops what it held.
    if (paused_ || resets_ != dropped_) return false;
    const snd_pcm_state_t state = snd_pcm_state(pcm());
    if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_PREPARED) return false;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm());
    return avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < geometry().bufferFrames;
}

}  // namespace platform::alsa
