// PcmDevice: the device behind an open ALSA stream: the PCM and the stream's one driver thread,
// which waits in poll() on the PCM's descriptors and a wake event and moves audio between the
// device and the oldest queued buffer. CaptureDevice and PlaybackDevice supply their direction's
// transfer; the contract (checks, codes, messages) is QueuedWaveStream's.
//
// Locking: mutex_ is held by the driver thread whenever it calls snd_pcm_* or touches the queue,
// and by the UI thread (through the stream) for every queue change and device call. So once
// reset() has emptied the queue under it, the thread holds no buffer.
//
// The thread is started by attach and stopped by close only. Stop order at close: quit_ set
// under the lock, the wake event signalled, the thread joined; only then is the PCM finished
// (playback plays out what it holds) and closed, and the close message posted.
#pragma once

#include <poll.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/WakeEvent.h"
#include "platform/WaveDevice.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/PcmHandle.h"
#include "platform/alsa/PcmSetup.h"

namespace platform::alsa {

class PcmDevice : public WaveDevice {
  public:
    // What opening a device hands over.
    struct Setup {
        Direction direction = Direction::Capture;
        std::string device;
        PcmHandle pcm;
        PcmGeometry geometry;
    };

    PcmDevice(const PcmDevice&) = delete;
    PcmDevice& operator=(const PcmDevice&) = delete;

    std::mutex& mutex() override { return mutex_; }
    Status attach(StreamQueue& queue) override;  // starts the driver thread
    void queued() override { wake(); }
    Status close(const ClosedNotice& closed) override;

  protected:
    explicit PcmDevice(Setup setup);

    // Hooks, called with mutex_ held.
    virtual bool wantsDevice() const = 0;  // driver thread: wait on the PCM now
    virtual void transfer() = 0;           // driver thread: the PCM is ready; one read or write
    virtual Status finishDevice() { return {}; }  // close, after the thread stopped

    Status dropAndPrepare();  // mutex_ held: drops what the device holds, ready for another run
    // Driver thread, mutex_ held: the device failed beyond recovery (StreamQueue::fail).
    void deviceFailed(int err, const char* call);
    Status failAlsa(const char* call, int err) const;  // Error: `call("device"): reason`

    snd_pcm_t* pcm() const { return pcm_.get(); }
    const PcmGeometry& geometry() const { return geometry_; }
    StreamQueue& queue() const { return *queue_; }  // while attached and not closed
    void wake() const { wake_->signal(); }

  private:
    void run();  // the driver thread's body

    const Direction direction_;
    const std::string device_;
    PcmHandle pcm_;
    const PcmGeometry geometry_;

    // Guards every snd_pcm_* call while the thread runs, queue_, quit_, and the run state the
    // final classes keep (their members say so).
    mutable std::mutex mutex_;
    StreamQueue* queue_ = nullptr;  // from attach to close
    bool quit_ = false;             // the thread is to end

    std::optional<WakeEvent> wake_;  // from attach
    std::vector<pollfd> fds_;        // the wake event, then the PCM's descriptors; driver thread
    std::thread thread_;
};

}  // namespace platform::alsa
