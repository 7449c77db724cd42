// PcmDevice: the device behind an open ALSA stream: the PCM and the stream's one driver thread,
// which waits in poll() on the PCM's descriptors and a wake event and moves audio between the
// device and the oldest queued buffer. CaptureDevice and PlaybackDevice supply their direction's
// transfer and state changes; the contract (checks, codes, messages) is QueuedWaveStream's.
//
// Only the driver thread calls snd_pcm_* once it runs. A call that can wait for a sound server
// (prepare, start, drop, pause, recovery, draining, close) never runs on the UI thread: the UI
// thread sets the state it wants under mutex_ and wakes the thread, which makes the change without
// holding mutex_, so that a server that stops answering holds up the driver thread alone. Reads
// and writes (non-blocking) and everything that touches the queue run with mutex_ held, so once
// reset() has emptied the queue under it, the thread holds no buffer.
//
// The thread is started by attach and ends after close, on its own. Close never waits for it:
//   - A playback that may hold frames (written since its last reset, not paused) posts its close
//     message after the close of its PCM, on the driver thread: alone with the PCM, the thread
//     first plays what the ring holds until it is empty or the deadline (its length plus
//     kPlayOutMargin) has passed. Any other close message is posted at once.
//   - A healthy capture is parked instead of closed: kept running, its audio dropped, for
//     kWarmGrace, so that the next open of the same device and format takes it over (no new
//     stream on a sound server, no start-up silence). Unclaimed, it closes itself then.
//   - The device goes to the driver's ClosedDevices, which joins its thread once it has ended;
//     without a driver, the thread is left to end by itself.
// A device abandoned at the driver's end (its thread still inside alsa-lib) posts nothing more.
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

class ClosedDevices;

// How long a closed playback device may take to play out beyond the length of its ring.
inline constexpr std::chrono::milliseconds kPlayOutMargin{500};
// How long a closed capture stays parked for the next open to take over.
inline constexpr std::chrono::milliseconds kWarmGrace{2000};

class PcmDevice : public WaveDevice, public std::enable_shared_from_this<PcmDevice> {
  public:
    // What opening a device hands over.
    struct Setup {
        Direction direction = Direction::Capture;
        std::string device;
        PcmHandle pcm;
        PcmGeometry geometry;
        std::weak_ptr<ClosedDevices> closed;  // the driver's; gone once the driver is
        WaveFormat format;                    // what the PCM was set up for
    };

    ~PcmDevice() override;
    PcmDevice(const PcmDevice&) = delete;
    PcmDevice& operator=(const PcmDevice&) = delete;

    std::mutex& mutex() override { return mutex_; }
    // Starts the driver thread, or hands the queue to the thread of a parked device taken over.
    Status attach(StreamQueue& queue) override;
    void queued() override { wake(); }
    Status close(const ClosedNotice& closed) override;

    Direction direction() const { return direction_; }
    // For ClosedDevices (UI thread). finished: the thread has closed the PCM and ends.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // A parked device of `device` and `format` is taken over for a new stream; false when it is
    // not parked any more (it is closing) or is another device.
    bool takeOver(const std::string& device, const WaveFormat& format);
    // A parked device closes now.
    void retire();
    // Waits until the thread has ended, at most until `until`, and joins it; otherwise the device
    // is abandoned (it posts nothing from now on) and the thread left to end by itself. True when
    // it was joined.
    bool joinBy(std::chrono::steady_clock::time_point until);

  protected:
    explicit PcmDevice(Setup setup);

    // A state change the driver thread makes without the lock.
    enum class Change { None, Start, Drop, Pause, Resume, Recover };
    struct Outcome {
        int err = 0;
        const char* call = "";  // the failing call, for the text
    };

    // Hooks of the driver thread. With mutex_ held: the change due now (None: transfer), whether
    // to wait on the PCM, one read or write, and what a change came to. Without it: the change.
    virtual Change nextChange() = 0;
    virtual Outcome makeChange(Change change) = 0;
    virtual void changeMade(Change change, const Outcome& outcome) = 0;
    virtual bool wantsDevice() const = 0;
    virtual void transfer() = 0;
    // With mutex_ held, at close: the device may have frames to play out. Its close message then
    // follows the close of the PCM; otherwise it is posted at once.
    virtual bool mayPlayOut() const { return false; }
    // Driver thread, after close, without the lock: the ring still holds frames to play.
    virtual bool holdsFrames() const { return false; }
    // With mutex_ held, when a parked device is taken over: the run state of a new stream.
    virtual void takenOver() {}

    // Driver thread, mutex_ held: the device failed beyond recovery (StreamQueue::fail).
    void deviceFailed(int err, const char* call);
    Status failAlsa(const char* call, int err) const;  // Error: `call("device"): reason`

    snd_pcm_t* pcm() const { return pcm_.get(); }
    const PcmGeometry& geometry() const { return geometry_; }
    bool attached() const { return queue_ != nullptr; }  // mutex_ held
    StreamQueue& queue() const { return *queue_; }       // while attached
    void wake() const { wake_->signal(); }

  private:
    void run();  // the driver thread's body
    // Driver thread, after close: waits until the ring has played out or `deadline` has passed.
    void playOut(std::chrono::steady_clock::time_point deadline);
    // mutex_ held: how long poll() may wait (-1: until woken).
    int pollTimeout() const;

    const Direction direction_;
    const std::string device_;
    PcmHandle pcm_;
    const PcmGeometry geometry_;
    const WaveFormat format_;
    const std::weak_ptr<ClosedDevices> closed_;

    // Guards queue_ and the flags below, and the run state the final classes keep (their members
    // say so). Never held across a call that can wait for the device.
    mutable std::mutex mutex_;
    StreamQueue* queue_ = nullptr;  // from attach to close
    bool failed_ = false;           // the device failed; it is not parked or taken over
    bool quit_ = false;             // the thread is to end
    bool abandoned_ = false;        // the driver is gone: post nothing
    bool parked_ = false;           // closed, kept for the next open until parkedUntil_
    std::chrono::steady_clock::time_point parkedUntil_;
    std::optional<ClosedNotice> closing_;  // set: play out, close the PCM and post this first
    std::chrono::steady_clock::time_point deadline_;  // of the play-out

    std::optional<WakeEvent> wake_;  // from attach
    std::vector<pollfd> fds_;        // the wake event, then the PCM's descriptors; driver thread
    std::thread thread_;
    std::atomic<bool> finished_{false};
};

}  // namespace platform::alsa
