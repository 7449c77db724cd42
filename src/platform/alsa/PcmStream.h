// PcmStream: what the capture and the playback stream share. It owns the open PCM, the queue of
// buffers the component handed over, and the one driver thread of the stream, which waits in
// poll() on the PCM's descriptors and a wake event and moves audio between the device and the
// oldest queued buffer.
//
// Locking: mutex_ is held by the driver thread whenever it calls snd_pcm_* or touches a queued
// buffer, and by the UI thread for every queue change and device call it makes while the thread
// runs. So when reset() holds the lock and empties the queue, the thread has let go of every
// buffer. Messages are posted with the lock held, which keeps them in queue order whichever thread
// completes a buffer.
#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/HeaderQueue.h"
#include "platform/alsa/PcmHandle.h"
#include "platform/alsa/PcmSetup.h"
#include "platform/alsa/WakeEvent.h"

namespace platform::alsa {

// What opening a device hands to the stream.
struct StreamSetup {
    Direction direction = Direction::Capture;
    std::string device;
    PcmHandle pcm;
    PcmGeometry geometry;
    MessageLoop* loop = nullptr;
    TargetId notify = kNoTarget;
    std::shared_ptr<ErrorLog> errors;
};

class PcmStream : public WaveStream {
  public:
    ~PcmStream() override;
    PcmStream(const PcmStream&) = delete;
    PcmStream& operator=(const PcmStream&) = delete;

    // Completes the open: starts the driver thread and posts the open message. On failure nothing
    // runs and the stream is not open (destroying it closes the PCM).
    Status begin();

    MMResult prepareHeader(WaveHeader& header) override;
    MMResult unprepareHeader(WaveHeader& header) override;
    MMResult addBuffer(WaveHeader& header) override;
    MMResult reset() override;
    MMResult close() override;

    // The identity posted as the first parameter of every message of this stream.
    uintptr_t identity() const {
        return reinterpret_cast<uintptr_t>(static_cast<const WaveStream*>(this));
    }

  protected:
    explicit PcmStream(StreamSetup setup);

    // For the final classes' destructors: resets and closes a stream that is still open. The
    // thread must be stopped before the derived part is gone, since it calls the hooks below.
    void shutdown();

    // Hooks; the first three are called with mutex_ held.
    virtual bool wantsDevice() const = 0;         // the thread should wait on the PCM now
    virtual void transfer() = 0;                  // the PCM is ready: one read or write step
    virtual Status stopDevice() = 0;              // reset: stop the device, ready for another run
    virtual Status finishDevice() { return {}; }  // close, after the thread stopped

    // With mutex_ held: drops what the device holds and prepares it for another run.
    Status dropAndPrepare();
    // With mutex_ held: completes the oldest buffer (done, out of the queue, message posted).
    void completeFront();
    // With mutex_ held: completes every queued buffer, oldest first.
    void returnAll();
    // Driver thread, with mutex_ held: the device failed beyond recovery. The queued buffers come
    // back so the component is not left waiting; later calls fail with the recorded error.
    void deviceFailed(int err, const char* call);
    // UI thread: the stream is open and its device has not failed; else the failure's result.
    MMResult usable(const char* call);

    // UI thread: records a failure of `call` on this stream's device and returns its code.
    MMResult fail(MMResult code, const char* call, const std::string& reason);
    MMResult failAlsa(MMResult code, const char* call, int err);
    MMResult record(const Status& status);

    snd_pcm_t* pcm() const { return pcm_.get(); }
    const PcmGeometry& geometry() const { return geometry_; }
    const std::string& device() const { return device_; }
    void wake() const { wake_.signal(); }

    // Guards every snd_pcm_* call while the thread runs, queue_, frontBytes_, failure_ and
    // failedCall_, and the run state the final classes keep (their members say so).
    mutable std::mutex mutex_;
    bool quit_ = false;  // the thread is to end
    HeaderQueue queue_;
    uint32_t frontBytes_ = 0;  // bytes of the oldest buffer transferred so far
    int failure_ = 0;          // the negative errno that stopped the device, 0 while healthy
    const char* failedCall_ = "";

  private:
    // Starting and stopping the thread happens here only. Stop order: set quit_ under the lock,
    // signal the wake event, join the thread; only then may the caller touch the PCM without the
    // lock or close it. The thread is joined before any member is destroyed.
    void startThread();
    void stopThread();
    void run();  // the driver thread's body

    const Direction direction_;
    const std::string device_;
    PcmHandle pcm_;
    const PcmGeometry geometry_;
    MessageLoop& loop_;
    const TargetId notify_;
    const std::shared_ptr<ErrorLog> errors_;
    const uint32_t doneMessage_;

    bool open_ = false;  // UI thread only
    WakeEvent wake_;
    std::vector<pollfd> fds_;  // the wake event, then the PCM's descriptors; driver thread
    std::thread thread_;
};

}  // namespace platform::alsa
