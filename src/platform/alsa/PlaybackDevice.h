// PlaybackDevice: an open playback PCM. Each queued buffer is written whole (bufferLength bytes)
// in queue order and returned once the device has taken its last frame. Output begins with the
// first buffer; pause() holds it and restart() resumes it. At close, what the device still holds
// is played out on the driver thread (PcmDevice).
#pragma once

#include "platform/alsa/PcmDevice.h"

namespace platform::alsa {

class PlaybackDevice final : public PcmDevice {
  public:
    explicit PlaybackDevice(Setup setup) : PcmDevice(std::move(setup)) {}

    Status pause() override;
    Status restart() override;
    Status stop() override;  // drops what the device holds; a paused stream stays paused

  private:
    bool wantsDevice() const override { return !paused_ && !queue().empty(); }
    void transfer() override;
    bool holdsFrames() const override;

    // Driver thread, with the lock held.
    void recoverRun(int err);
    void startIfIdle();  // the queue ran dry before the start threshold was reached

    // Guarded by PcmDevice::mutex_.
    bool paused_ = false;     // pause() was called and not undone by restart()
    bool pcmPaused_ = false;  // the device itself is paused (snd_pcm_pause)
};

}  // namespace platform::alsa
