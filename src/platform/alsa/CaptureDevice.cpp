#include "platform/alsa/CaptureDevice.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace platform::alsa {

CaptureDevice::CaptureDevice(Setup setup)
    : PcmDevice(std::move(setup)),
      scratch_(static_cast<size_t>(geometry().periodFrames) * geometry().frameBytes) {}

Status CaptureDevice::start() {
    recording_ = true;
    wake();
    return {};
}

Status CaptureDevice::stop() {
    recording_ = false;
    wake();
    return {};
}

PcmDevice::Change CaptureDevice::nextChange() {
    if (overrun_ != 0) return Change::Recover;
    if (recording_ && !started_) return Change::Start;
    return Change::None;
}

PcmDevice::Outcome CaptureDevice::makeChange(Change change) {
    if (change == Change::Recover) {
        // overrun_ is this thread's alone to write, so it is read here without the lock.
        if (snd_pcm_recover(pcm(), overrun_, 1) < 0) return {overrun_, "snd_pcm_readi"};
        // An overrun leaves the device prepared; a resumed suspend may already be running again.
        if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) return {};
    } else if (snd_pcm_state(pcm()) != SND_PCM_STATE_PREPARED) {
        if (const int err = snd_pcm_prepare(pcm()); err < 0) return {err, "snd_pcm_prepare"};
    }
    return {snd_pcm_start(pcm()), "snd_pcm_start"};
}

void CaptureDevice::changeMade(Change /*change*/, const Outcome& outcome) {
    overrun_ = 0;
    if (outcome.err < 0) {
        deviceFailed(outcome.err, outcome.call);
        return;
    }
    started_ = true;
}

void CaptureDevice::transfer() {
    const uint32_t frameBytes = geometry().frameBytes;
    WaveHeader* header = recording_ && attached() ? queue().front() : nullptr;
    std::byte* target = scratch_.data();
    size_t room = scratch_.size();
    if (header != nullptr) {
        target = header->data + queue().frontBytes();
        room = header->bufferLength - queue().frontBytes();
    }
    // Never more than the ring holds: some plugins (file) refuse larger requests.
    const snd_pcm_uframes_t wanted =
        std::min<snd_pcm_uframes_t>(room / frameBytes, geometry().bufferFrames);
    const snd_pcm_sframes_t frames = snd_pcm_readi(pcm(), target, wanted);
    if (frames == -EAGAIN) return;
    if (frames < 0) {
        overrun_ = static_cast<int>(frames);  // recovered without the lock, as it may wait
        return;
    }
    if (header == nullptr) return;  // dropped: nobody asked for it
    queue().advanceFront(static_cast<uint32_t>(frames) * frameBytes);
}

}  // namespace platform::alsa
