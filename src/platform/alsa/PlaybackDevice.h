// PlaybackDevice: an open playback PCM. Each queued buffer is written whole (bufferLength bytes)
// in queue order and returned once the device has taken its last frame. Output begins with the
// first buffer; pause() holds it and restart() resumes it. At close, what the device still holds
// is played out on the driver thread (PcmDevice).
//
// Pausing never writes or returns a queued buffer. A running device that can pause is paused
// (snd_pcm_pause). One that cannot, or refuses it as unsupported, is fed silence instead: the
// driver thread keeps its ring topped up with silent frames, so it runs on without underruns and
// plays nothing of the queue. What it held before the pause still plays first, and after restart
// the queue follows the silence already written: each delay is at most one ring (kRingMicroseconds,
// about half a second). A device that is not running (prepared, or stopped by an underrun) plays
// nothing while nothing is written to it, so it is simply not fed.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/alsa/PcmDevice.h"

namespace platform::alsa {

class PlaybackDevice final : public PcmDevice {
  public:
    explicit PlaybackDevice(Setup setup) : PcmDevice(std::move(setup)) {}

    Status attach(StreamQueue& queue) override;  // makes the silence, then starts the thread
    Status pause() override;
    Status restart() override;
    Status stop() override;  // drops what the device holds; a paused stream stays paused

  private:
    bool wantsDevice() const override { return silent_ || (!paused_ && !queue().empty()); }
    void transfer() override;
    bool holdsFrames() const override;

    // Driver thread, with the lock held.
    void writeSilence();
    void recoverRun(int err);
    void startIfIdle();  // the queue ran dry before the start threshold was reached

    // Guarded by PcmDevice::mutex_.
    bool paused_ = false;     // pause() was called and not undone by restart()
    bool pcmPaused_ = false;  // the device itself is paused (snd_pcm_pause)
    bool silent_ = false;     // paused while running on a device that cannot pause: fed silence

    // One period of silence in the device's sample format; made at attach, only read afterwards,
    // so the driver thread never allocates for it.
    std::vector<std::byte> silence_;
};

}  // namespace platform::alsa
