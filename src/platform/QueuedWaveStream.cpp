#include "platform/QueuedWaveStream.h"

#include <utility>

namespace platform {

MMResult QueuedWaveStream::open(Setup setup, std::shared_ptr<WaveDevice> device,
                                std::unique_ptr<WaveStream>& stream) {
    std::unique_ptr<QueuedWaveStream> s(new QueuedWaveStream(std::move(setup), std::move(device)));
    {
        std::lock_guard lock(s->mutex_);
        if (Status attached = s->device_->attach(s->queue_); !attached.ok()) {
            return s->record(attached);
        }
        // Without its open message the component would never take the stream for open.
        if (!s->setup_.loop->post(s->setup_.notify, messageId(openMessage(s->setup_.direction)),
                                  s->identity(), 0)) {
            s->queue_.fail({"MessageLoop::post: the message loop is full; the open was lost"});
        }
    }
    s->open_ = true;
    stream = std::move(s);
    return MMResult::NoError;
}

QueuedWaveStream::QueuedWaveStream(Setup setup, std::shared_ptr<WaveDevice> device)
    : setup_(std::move(setup)),
      device_(std::move(device)),
      mutex_(device_->mutex()),
      queue_(setup_.direction, setup_.frameBytes, *setup_.loop, setup_.notify, identity()) {}

QueuedWaveStream::~QueuedWaveStream() {
    if (!open_) return;
    {
        std::lock_guard lock(mutex_);
        resetLocked();
    }
    closeDevice();
}

MMResult QueuedWaveStream::fail(MMResult code, const char* call, std::string_view reason) {
    return record(
        {code, std::string(call) + "(\"" + setup_.device + "\"): " + std::string(reason)});
}

MMResult QueuedWaveStream::enter(WaveCall call, const char* name) {
    if (const MMResult refused = device_->admit(call); failed(refused)) {
        return record({refused, {}});
    }
    return open_ ? MMResult::NoError : fail(MMResult::InvalidHandle, name, "the stream is closed");
}

MMResult QueuedWaveStream::prepareHeader(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (const MMResult r = enter(WaveCall::Prepare, "prepareHeader"); failed(r)) return r;
    if (queue_.contains(&header)) {
        return fail(MMResult::StillPlaying, "prepareHeader", "the buffer is queued");
    }
    if (header.data == nullptr || header.bufferLength == 0) {
        return fail(MMResult::InvalidParam, "prepareHeader", "the header has no buffer");
    }
    header.flags |= kHeaderPrepared;
    return MMResult::NoError;
}

MMResult QueuedWaveStream::unprepareHeader(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (const MMResult r = enter(WaveCall::Unprepare, "unprepareHeader"); failed(r)) return r;
    if (queue_.contains(&header)) {
        return fail(MMResult::StillPlaying, "unprepareHeader", "the buffer is queued");
    }
    header.flags &= ~kHeaderPrepared;
    return MMResult::NoError;
}

MMResult QueuedWaveStream::addBuffer(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (const MMResult r = enter(WaveCall::AddBuffer, "addBuffer"); failed(r)) return r;
    // Queueing a buffer twice would hand the same bytes out twice and corrupt the queue.
    if (queue_.contains(&header)) {
        return fail(MMResult::StillPlaying, "addBuffer", "the buffer is already queued");
    }
    if ((header.flags & kHeaderPrepared) == 0) {
        return fail(MMResult::Unprepared, "addBuffer", "the header is not prepared");
    }
    if (header.data == nullptr || header.bufferLength < setup_.frameBytes) {
        return fail(MMResult::InvalidParam, "addBuffer", "the buffer holds less than one frame");
    }
    if (queue_.failed()) return failure();
    if (queue_.full()) {
        return fail(MMResult::NoMem, "addBuffer",
                    "the stream holds " + std::to_string(kMaxQueuedBuffers) + " buffers already");
    }
    queue_.push(header);
    device_->queued();
    return MMResult::NoError;
}

MMResult QueuedWaveStream::run(WaveCall call, const char* name, Direction direction,
                               const char* otherwise, Status (WaveDevice::*action)()) {
    std::lock_guard lock(mutex_);
    if (const MMResult r = enter(call, name); failed(r)) return r;
    if (setup_.direction != direction) return fail(MMResult::NotSupported, name, otherwise);
    if (queue_.failed()) return failure();
    return record(((*device_).*action)());
}

MMResult QueuedWaveStream::start() {
    return run(WaveCall::Start, "start", Direction::Capture,
               "playback starts with its first buffer; use restart() after pause()",
               &WaveDevice::start);
}

MMResult QueuedWaveStream::pause() {
    return run(WaveCall::Pause, "pause", Direction::Playback,
               "capture has no pause; reset stops recording", &WaveDevice::pause);
}

MMResult QueuedWaveStream::restart() {
    return run(WaveCall::Restart, "restart", Direction::Playback, "capture is started with start()",
               &WaveDevice::restart);
}

Status QueuedWaveStream::resetLocked() {
    // A failed device is not stopped. Its failure is logged (again), for an owner that sees its
    // buffers come back unfilled and resets: the driver's text for Error then says why.
    if (queue_.failed()) failure();
    Status stopped = queue_.failed() ? Status{} : device_->stop();
    queue_.returnAll();
    return stopped;
}

MMResult QueuedWaveStream::reset() {
    std::lock_guard lock(mutex_);
    if (const MMResult r = enter(WaveCall::Reset, "reset"); failed(r)) return r;
    return record(resetLocked());
}

Status QueuedWaveStream::closeDevice() {
    open_ = false;
    const ClosedNotice notice{setup_.loop, setup_.notify, closeMessage(setup_.direction),
                              identity()};
    return device_->close(notice);
}

MMResult QueuedWaveStream::close() {
    {
        std::lock_guard lock(mutex_);
        if (const MMResult r = enter(WaveCall::Close, "close"); failed(r)) return r;
        if (!queue_.empty()) {
            return fail(MMResult::StillPlaying, "close",
                        std::to_string(queue_.size()) + " buffers are still queued");
        }
    }
    // Without the lock: a device may stop its thread, which takes the lock.
    return record(closeDevice());
}

}  // namespace platform
