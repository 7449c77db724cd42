// PlaybackStream: an open playback device. Each queued buffer is written whole (bufferLength bytes)
// in queue order and returned with MM_WOM_DONE once the device has taken its last frame. Output
// begins with the first buffer; pause() holds it and restart() resumes it.
#pragma once

#include "platform/alsa/PcmStream.h"

namespace platform::alsa {

class PlaybackStream final : public PcmStream {
  public:
    explicit PlaybackStream(StreamSetup setup) : PcmStream(std::move(setup)) {}
    ~PlaybackStream() override { shutdown(); }

    MMResult start() override;  // not a playback operation: output starts with the first buffer
    MMResult pause() override;
    MMResult restart() override;

  private:
    bool wantsDevice() const override { return !paused_ && !queue_.empty(); }
    void transfer() override;
    Status stopDevice() override;
    Status finishDevice() override;  // plays out what the device still holds

    // Driver thread, with the lock held.
    void recoverRun(int err);
    void startIfIdle();  // the queue ran dry before the start threshold was reached

    // Guarded by PcmStream::mutex_.
    bool paused_ = false;     // pause() was called and not undone by restart() or reset()
    bool pcmPaused_ = false;  // the device itself is paused (snd_pcm_pause)
};

}  // namespace platform::alsa
