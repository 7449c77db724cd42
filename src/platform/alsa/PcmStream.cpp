#include "platform/alsa/PcmStream.h"

#include <cerrno>
#include <system_error>
#include <utility>

namespace platform::alsa {

namespace {

constexpr short kDeviceEvents = POLLIN | POLLOUT | POLLERR | POLLHUP | POLLNVAL;

uint32_t openMessage(Direction d) {
    return d == Direction::Capture ? MM_WIM_OPEN : MM_WOM_OPEN;
}
uint32_t closeMessage(Direction d) {
    return d == Direction::Capture ? MM_WIM_CLOSE : MM_WOM_CLOSE;
}
uint32_t doneMessage(Direction d) {
    return d == Direction::Capture ? MM_WIM_DATA : MM_WOM_DONE;
}

}  // namespace

PcmStream::PcmStream(StreamSetup setup)
    : direction_(setup.direction),
      device_(std::move(setup.device)),
      pcm_(std::move(setup.pcm)),
      geometry_(setup.geometry),
      loop_(*setup.loop),
      notify_(setup.notify),
      errors_(std::move(setup.errors)),
      doneMessage_(doneMessage(setup.direction)) {}

PcmStream::~PcmStream() {
    // The final classes shut down in their own destructors; this only covers a stream whose
    // begin() failed half way, where no thread runs.
    stopThread();
}

Status PcmStream::begin() {
    if (Status s = wake_.create(); !s.ok()) return s;
    const int count = snd_pcm_poll_descriptors_count(pcm());
    if (count <= 0) {
        return Status::fail(MMResult::Error,
                            callText("snd_pcm_poll_descriptors_count", '"' + device_ + '"',
                                     count < 0 ? count : -EIO));
    }
    fds_.assign(static_cast<size_t>(count) + 1, pollfd{});
    fds_[0] = {wake_.fd(), POLLIN, 0};
    try {
        startThread();
    } catch (const std::system_error& e) {
        return Status::fail(MMResult::Error, "could not start the driver thread for \"" + device_ +
                                                 "\": " + e.what());
    }
    open_ = true;
    loop_.post(notify_, openMessage(direction_), identity(), 0);
    return {};
}

void PcmStream::shutdown() {
    if (!open_) return;
    reset();
    close();
}

void PcmStream::startThread() {
    thread_ = std::thread(&PcmStream::run, this);
}

void PcmStream::stopThread() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.signal();
    thread_.join();
}

void PcmStream::run() {
    const size_t pcmFds = fds_.size() - 1;
    for (;;) {
        nfds_t watched = 1;
        {
            std::lock_guard lock(mutex_);
            if (quit_) return;
            if (failure_ == 0 && wantsDevice()) {
                const int n =
                    snd_pcm_poll_descriptors(pcm(), &fds_[1], static_cast<unsigned>(pcmFds));
                if (n < 0) {
                    deviceFailed(n, "snd_pcm_poll_descriptors");
                    continue;
                }
                watched += static_cast<nfds_t>(n);
            }
        }
        if (::poll(fds_.data(), watched, -1) < 0) continue;  // EINTR: look again
        if ((fds_[0].revents & POLLIN) != 0) wake_.clear();
        if (watched == 1) continue;

        std::lock_guard lock(mutex_);
        if (quit_) return;
        // The UI thread may have reset, paused or failed the stream while we waited.
        if (failure_ != 0 || !wantsDevice()) continue;
        unsigned short revents = 0;
        const int err = snd_pcm_poll_descriptors_revents(
            pcm(), &fds_[1], static_cast<unsigned>(watched - 1), &revents);
        if (err < 0) {
            deviceFailed(err, "snd_pcm_poll_descriptors_revents");
            continue;
        }
        if ((revents & kDeviceEvents) != 0) transfer();
    }
}

void PcmStream::completeFront() {
    WaveHeader* header = queue_.pop();
    if (header == nullptr) return;
    frontBytes_ = 0;
    header->flags = (header->flags | kHeaderDone) & ~kHeaderInQueue;
    loop_.post(notify_, doneMessage_, identity(), reinterpret_cast<uintptr_t>(header));
}

void PcmStream::returnAll() {
    while (!queue_.empty()) completeFront();
}

Status PcmStream::dropAndPrepare() {
    if (const int err = snd_pcm_drop(pcm()); err < 0) {
        return Status::fail(MMResult::Error, callText("snd_pcm_drop", '"' + device() + '"', err));
    }
    if (const int err = snd_pcm_prepare(pcm()); err < 0) {
        return Status::fail(MMResult::Error,
                            callText("snd_pcm_prepare", '"' + device() + '"', err));
    }
    return {};
}

void PcmStream::deviceFailed(int err, const char* call) {
    failure_ = err;
    failedCall_ = call;
    returnAll();
}

MMResult PcmStream::fail(MMResult code, const char* call, const std::string& reason) {
    return record(Status::fail(code, std::string(call) + "(\"" + device_ + "\"): " + reason));
}

MMResult PcmStream::failAlsa(MMResult code, const char* call, int err) {
    return record(Status::fail(code, callText(call, '"' + device_ + '"', err)));
}

MMResult PcmStream::record(const Status& status) {
    return errors_->record(direction_, status);
}

MMResult PcmStream::usable(const char* call) {
    if (!open_) return fail(MMResult::InvalidHandle, call, "the stream is closed");
    std::lock_guard lock(mutex_);
    if (failure_ != 0) return failAlsa(MMResult::Error, failedCall_, failure_);
    return MMResult::NoError;
}

MMResult PcmStream::prepareHeader(WaveHeader& header) {
    if (!open_) return fail(MMResult::InvalidHandle, "prepareHeader", "the stream is closed");
    if (header.data == nullptr || header.bufferLength == 0) {
        return fail(MMResult::InvalidParam, "prepareHeader", "the header has no buffer");
    }
    std::lock_guard lock(mutex_);
    header.flags |= kHeaderPrepared;
    return MMResult::NoError;
}

MMResult PcmStream::unprepareHeader(WaveHeader& header) {
    if (!open_) return fail(MMResult::InvalidHandle, "unprepareHeader", "the stream is closed");
    std::lock_guard lock(mutex_);
    // The queue, not the header's flags, says whether the driver holds the buffer: a component
    // may have rewritten the flags of a header it still has queued.
    if (queue_.contains(&header)) {
        return fail(MMResult::StillPlaying, "unprepareHeader", "the buffer is still queued");
    }
    header.flags &= ~kHeaderPrepared;
    return MMResult::NoError;
}

MMResult PcmStream::addBuffer(WaveHeader& header) {
    if (!open_) return fail(MMResult::InvalidHandle, "addBuffer", "the stream is closed");
    if ((header.flags & kHeaderPrepared) == 0) {
        return fail(MMResult::Unprepared, "addBuffer", "the header is not prepared");
    }
    if (header.data == nullptr || header.bufferLength < geometry_.frameBytes) {
        return fail(MMResult::InvalidParam, "addBuffer", "the buffer holds less than one frame");
    }
    {
        std::lock_guard lock(mutex_);
        // Queueing a buffer twice would hand the same bytes out twice and corrupt the queue.
        if (queue_.contains(&header)) {
            return fail(MMResult::StillPlaying, "addBuffer", "the buffer is already queued");
        }
        if (failure_ != 0) return failAlsa(MMResult::Error, failedCall_, failure_);
        if (queue_.full()) {
            return fail(
                MMResult::Error, "addBuffer",
                "the queue holds " + std::to_string(HeaderQueue::kCapacity) + " buffers already");
        }
        header.flags = (header.flags | kHeaderInQueue) & ~kHeaderDone;
        if (direction_ == Direction::Capture) header.bytesRecorded = 0;
        queue_.push(&header);
    }
    wake();
    return MMResult::NoError;
}

MMResult PcmStream::reset() {
    if (!open_) return fail(MMResult::InvalidHandle, "reset", "the stream is closed");
    Status stopped;
    {
        std::lock_guard lock(mutex_);
        if (failure_ == 0) stopped = stopDevice();
        returnAll();
    }
    wake();
    return record(stopped);
}

MMResult PcmStream::close() {
    if (!open_) return fail(MMResult::InvalidHandle, "close", "the stream is closed");
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) {
            return fail(MMResult::StillPlaying, "close",
                        std::to_string(queue_.size()) + " buffers are still queued");
        }
    }
    stopThread();
    // The thread is gone: the PCM is ours alone from here on.
    Status finished = failure_ == 0 ? finishDevice() : Status{};
    const int err = pcm_.close();
    if (err < 0 && finished.ok()) {
        finished =
            Status::fail(MMResult::Error, callText("snd_pcm_close", '"' + device_ + '"', err));
    }
    open_ = false;
    // The device is closed even when draining or closing reported an error, so the component
    // hears of it either way.
    loop_.post(notify_, closeMessage(direction_), identity(), 0);
    return record(finished);
}

}  // namespace platform::alsa
