// WaveDevice: what a backend supplies behind a QueuedWaveStream, which is device I/O and nothing
// else: it moves audio between its hardware (or simulation) and the queue's buffers. The stream
// keeps the contract and calls these, all with the device's lock held but close.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/ErrorLog.h"
#include "platform/MessageLoop.h"
#include "platform/StreamQueue.h"
#include "platform/WaveTypes.h"

namespace platform {

// The calls of a driver and its streams, for a backend that refuses some (the simulated card's
// one-shot faults).
enum class WaveCall { Open, Prepare, AddBuffer, Start, Reset, Close, Unprepare, Pause, Restart };

// A stream's close message, for its device to post once it is closed.
struct ClosedNotice {
    MessageLoop* loop = nullptr;  // null: nothing to post
    TargetId target = kNoTarget;
    WaveMessage message = WaveMessage::CaptureClose;
    uintptr_t identity = 0;

    void post() const {
        if (loop != nullptr) loop->post(target, messageId(message), identity, 0);
    }
};

class WaveDevice {
  public:
    virtual ~WaveDevice() = default;

    // Guards the device and its stream's queue; a device thread holds it to touch either.
    virtual std::mutex& mutex() = 0;
    // Before any check of `call`: anything but NoError refuses the call, changing nothing.
    virtual MMResult admit(WaveCall /*call*/) { return MMResult::NoError; }
    // From now until close the device may transfer and complete `queue`'s buffers. On failure
    // nothing runs.
    virtual Status attach(StreamQueue& queue) = 0;
    virtual void queued() {}                 // a buffer was queued
    virtual Status start() { return {}; }    // capture only: begin recording
    virtual Status pause() { return {}; }    // playback only: hold output
    virtual Status restart() { return {}; }  // playback only: resume it
    virtual Status stop() = 0;  // reset of a healthy device: stop, ready for another run
    // Without the lock, the queue empty: closes the device and posts `closed` once closed, before
    // returning or later from the device's own thread (which keeps the device alive until then).
    // The device no longer touches the queue, and counts as closed even when this fails.
    virtual Status close(const ClosedNotice& closed) = 0;
};

}  // namespace platform
