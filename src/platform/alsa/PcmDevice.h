// PcmDevice: the device behind an open ALSA stream: the PCM and the stream's one driver thread,
// which waits in poll() on the PCM's descriptors and a wake event and moves audio between the
// device and the oldest queued buffer. CaptureDevice and PlaybackDevice supply their direction's
// transfer; the contract (checks, codes, messages) is QueuedWaveStream's.
//
// Locking: mutex_ is held by the driver thread whenever it calls snd_pcm_* or touches the queue,
// and by the UI thread (through the stream) for every queue change and device call. So once
// reset() has emptied the queue under it, the thread holds no buffer.
//
// The thread is started by attach and stopped by close only. Stop order at close:
//   - Nothing to play out (capture; paused, failed or empty playback): quit_ set under the lock,
//     the wake event signalled, the thread joined; then the PCM is closed and the close posted.
//   - Frames left in a playback ring: quit_ and closing_ set under the lock, the wake event
//     signalled, the device handed to the driver's DrainingDevices; close() returns at once. The
//     thread, alone with the PCM, waits until the ring has played out or the deadline (its length
//     plus kPlayOutMargin) has passed, closes the PCM, posts the close message and ends;
//     DrainingDevices joins it then, or at the latest when the driver goes.
#pragma once

#include <poll.h>

#include <atomic>
#include <chrono>
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

class DrainingDevices;

// How long a closed playback device may take to play out beyond the length of its ring.
inline constexpr std::chrono::milliseconds kPlayOutMargin{500};

class PcmDevice : public WaveDevice, public std::enable_shared_from_this<PcmDevice> {
  public:
    // What opening a device hands over.
    struct Setup {
        Direction direction = Direction::Capture;
        std::string device;
        PcmHandle pcm;
        PcmGeometry geometry;
        std::weak_ptr<DrainingDevices> draining;  // the driver's; gone once the driver is
    };

    PcmDevice(const PcmDevice&) = delete;
    PcmDevice& operator=(const PcmDevice&) = delete;

    std::mutex& mutex() override { return mutex_; }
    Status attach(StreamQueue& queue) override;  // starts the driver thread
    void queued() override { wake(); }
    Status close(const ClosedNotice& closed) override;

    Direction direction() const { return direction_; }
    // For DrainingDevices: the thread has played out, closed the PCM and posted the close message.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    void join();

  protected:
    explicit PcmDevice(Setup setup);

    // Hooks, called with mutex_ held.
    virtual bool wantsDevice() const = 0;  // driver thread: wait on the PCM now
    virtual void transfer() = 0;           // driver thread: the PCM is ready; one read or write
    virtual bool holdsFrames() const { return false; }  // close: frames are left to play out

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
    // Driver thread, after close: waits until the ring has played out or `deadline` has passed.
    void playOut(std::chrono::steady_clock::time_point deadline);

    const Direction direction_;
    const std::string device_;
    PcmHandle pcm_;
    const PcmGeometry geometry_;
    const std::weak_ptr<DrainingDevices> draining_;

    // Guards every snd_pcm_* call while the thread runs, queue_, quit_, closing_ and deadline_
    // (until quit_ is seen), and the run state the final classes keep (their members say so).
    mutable std::mutex mutex_;
    StreamQueue* queue_ = nullptr;         // from attach to close
    bool quit_ = false;                    // the thread is to end
    std::optional<ClosedNotice> closing_;  // set: play out, close the PCM and post this first
    std::chrono::steady_clock::time_point deadline_;  // of the play-out

    std::optional<WakeEvent> wake_;  // from attach
    std::vector<pollfd> fds_;        // the wake event, then the PCM's descriptors; driver thread
    std::thread thread_;
    std::atomic<bool> finished_{false};
};

}  // namespace platform::alsa
