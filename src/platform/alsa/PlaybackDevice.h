// PlaybackDevice: an open playback PCM. Each queued buffer is written whole (bufferLength bytes)
// in queue order and returned once the device has taken its last frame. Output begins once half
// the ring is written, or when the queue runs dry before that; pause() holds it and restart()
// resumes it. At close, what the device still holds is played out on the driver thread
// (PcmDevice). The driver thread makes every state change (start, drop, pause, recovery) itself,
// without the lock: writing never starts the device (its start threshold is out of reach), as a
// start inside a write would wait for a sound server with the lock held.
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
#include <cstdint>
#include <vector>

#include "platform/alsa/PcmDevice.h"

namespace platform::alsa {

class PlaybackDevice final : public PcmDevice {
  public:
    explicit PlaybackDevice(Setup setup) : PcmDevice(std::move(setup)) {}

    Status attach(StreamQueue& queue) override;  // makes the silence, then starts the thread
    Status pause() override;
    Status restart() override;
    Status stop() override;  // the device drops what it holds; a paused stream stays paused

  private:
    Change nextChange() override;
    Outcome makeChange(Change change) override;
    void changeMade(Change change, const Outcome& outcome) override;
    bool wantsDevice() const override {
        return silent_ || (!paused_ && attached() && !queue().empty());
    }
    void transfer() override;
    bool mayPlayOut() const override { return written_ && !paused_; }
    bool holdsFrames() const override;

    // Driver thread, with the lock held.
    void writeSilence();
    // After a write of `written` frames: a prepared device starts once half its ring, or the
    // whole queue, is in.
    void startWhenFilled(snd_pcm_uframes_t written);

    // Guarded by PcmDevice::mutex_.
    bool paused_ = false;     // pause() was called and not undone by restart()
    uint64_t resets_ = 0;     // reset() calls; each drops what the device holds
    uint64_t dropped_ = 0;    // the resets the device has dropped for
    uint64_t dropping_ = 0;   // the resets the drop under way is for
    bool pcmPaused_ = false;  // the device itself is paused (snd_pcm_pause)
    bool silent_ = false;     // paused while running on a device that cannot pause: fed silence
    bool startDue_ = false;   // the written frames are to be started
    bool written_ = false;    // frames of the queue were written since the last reset
    // Frames written since the device was last prepared; this thread's alone.
    snd_pcm_uframes_t prepared_ = 0;
    int underrun_ = 0;  // the write's error to recover from, or 0

    // One period of silence in the device's sample format; made at attach, only read afterwards,
    // so the driver thread never allocates for it.
    std::vector<std::byte> silence_;
};

}  // namespace platform::alsa
