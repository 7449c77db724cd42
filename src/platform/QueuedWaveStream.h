// QueuedWaveStream: the one WaveStream of both backends. It holds what every sound card must do
// alike (the queue, the checks, the result codes, the failure texts, the messages); a backend
// plugs in its device I/O as a WaveDevice.
//
// The contract, checks in the order they are made:
//   every call     the device's refusal (admit); InvalidHandle once closed.
//   prepareHeader  StillPlaying while queued; InvalidParam without a buffer.
//   unprepare      StillPlaying while queued.
//   addBuffer      StillPlaying when already queued (the queue decides, not the flags, which a
//                  component may have rewritten); Unprepared; InvalidParam below one frame; Error
//                  once the device failed; NoMem with kMaxQueuedBuffers queued.
//   start          capture only, else NotSupported; Error once the device failed.
//   pause/restart  playback only, else NotSupported; Error once the device failed.
//   reset          stops the device and returns every buffer, oldest first, before it returns;
//                  the driver holds none afterwards. A paused playback stays paused. Once the
//                  device failed, it succeeds and logs the failure under Error once more.
//   close          StillPlaying while buffers are queued; else the device closes and the close
//                  message follows (for playback, once what the device holds has played).
// Messages: open, one data/done per buffer in queue order, close; param1 is the identity, param2
// the header's address for data/done. Failures leave `call("device"): reason` in the ErrorLog.
//
// Threading: the UI thread makes every call, holding the device's lock, which the device's own
// thread holds too while it works on the queue: a header is the driver's only from its queueing
// to its completion, and completions are posted in queue order.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/ErrorLog.h"
#include "platform/MessageLoop.h"
#include "platform/StreamQueue.h"
#include "platform/WaveDevice.h"
#include "platform/WaveDriver.h"

namespace platform {

class QueuedWaveStream final : public WaveStream {
  public:
    struct Setup {
        Direction direction = Direction::Capture;
        std::string device;       // names the device in failure details
        uint32_t frameBytes = 1;  // the format's blockAlign
        MessageLoop* loop = nullptr;
        TargetId notify = kNoTarget;
        std::shared_ptr<ErrorLog> errors;
    };

    // Attaches `device` to a new stream and posts the open message. On failure the code is
    // returned (its detail logged), nothing is posted and `stream` is left as it was.
    static MMResult open(Setup setup, std::shared_ptr<WaveDevice> device,
                         std::unique_ptr<WaveStream>& stream);

    ~QueuedWaveStream() override;  // an open stream is reset and closed
    QueuedWaveStream(const QueuedWaveStream&) = delete;
    QueuedWaveStream& operator=(const QueuedWaveStream&) = delete;

    MMResult prepareHeader(WaveHeader& header) override;
    MMResult unprepareHeader(WaveHeader& header) override;
    MMResult addBuffer(WaveHeader& header) override;
    MMResult start() override;
    MMResult pause() override;
    MMResult restart() override;
    MMResult reset() override;
    MMResult close() override;

  private:
    QueuedWaveStream(Setup setup, std::shared_ptr<WaveDevice> device);

    // With the lock held. enter: the device's refusal, then the handle; failure: the device's.
    MMResult enter(WaveCall call, const char* name);
    MMResult failure() { return record({MMResult::Error, std::string(queue_.failure())}); }
    // start, pause, restart: the checks, then the device's `action`.
    MMResult run(WaveCall call, const char* name, Direction direction, const char* otherwise,
                 Status (WaveDevice::*action)());
    MMResult fail(MMResult code, const char* call, std::string_view reason);
    MMResult record(const Status& status) {
        return setup_.errors->record(setup_.direction, status);
    }
    Status resetLocked();  // stops a healthy device and returns every buffer
    Status closeDevice();  // without the lock, queue empty

    const Setup setup_;
    // Shared: a playback device playing out after close outlives the stream (see WaveDevice).
    const std::shared_ptr<WaveDevice> device_;
    std::mutex& mutex_;  // the device's lock; guards queue_, which the device's thread reaches too
    StreamQueue queue_;
    bool open_ = false;  // UI thread only
};

}  // namespace platform
