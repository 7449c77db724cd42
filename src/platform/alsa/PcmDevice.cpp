#include "platform/alsa/PcmDevice.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/alsa/AlsaLog.h"
#include "platform/alsa/ClosedDevices.h"

namespace platform::alsa {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr short kDeviceEvents = POLLIN | POLLOUT | POLLERR | POLLHUP | POLLNVAL;
// How often a closed playback device looks whether its ring has played out, and how often
// joinBy looks whether the thread has ended.
constexpr std::chrono::milliseconds kPlayOutStep{10};
constexpr std::chrono::milliseconds kJoinStep{5};

}  // namespace

PcmDevice::PcmDevice(Setup setup)
    : direction_(setup.direction),
      device_(std::move(setup.device)),
      pcm_(std::move(setup.pcm)),
      geometry_(setup.geometry),
      format_(setup.format),
      closed_(std::move(setup.closed)) {}

PcmDevice::~PcmDevice() {
    // A thread left to end by itself is detached; it may drop the last owner itself.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    if (thread_.joinable()) thread_.detach();
}

Status PcmDevice::attach(StreamQueue& queue) {
    queue_ = &queue;
    if (thread_.joinable()) {  // a parked device taken over: its thread runs on
        takenOver();
        wake();
        return {};
    }
    const int count = snd_pcm_poll_descriptors_count(pcm());
    if (count <= 0) return failAlsa("snd_pcm_poll_descriptors_count", count < 0 ? count : -EIO);
    try {
        wake_.emplace();
        fds_.assign(static_cast<size_t>(count) + 1, pollfd{});
        fds_[0] = {wake_->fd(), POLLIN, 0};
        // The thread owns the device too: one left to end by itself keeps it alive meanwhile.
        thread_ = std::thread([self = shared_from_this()] { self->run(); });
    } catch (const std::system_error& e) {
        return Status::fail(MMResult::Error, "could not start the driver thread for \"" + device_ +
                                                 "\": " + e.what());
    }
    return {};
}

int PcmDevice::pollTimeout() const {
    if (!parked_) return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(parkedUntil_ - SteadyClock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

void PcmDevice::run() {
    const size_t pcmFds = fds_.size() - 1;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (quit_) break;
        // Parked and not taken over in time, or failed meanwhile: the device closes.
        if (parked_ && (failed_ || SteadyClock::now() >= parkedUntil_)) break;
        const bool failed = failed_ || (queue_ != nullptr && queue_->failed());
        if (!failed) {
            if (const Change change = nextChange(); change != Change::None) {
                lock.unlock();  // the change may wait for the device: the UI thread must not
                const Outcome outcome = makeChange(change);
                lock.lock();
                changeMade(change, outcome);
                continue;
            }
        }
        nfds_t watched = 1;
        if (!failed && wantsDevice()) {
            const int n = snd_pcm_poll_descriptors(pcm(), &fds_[1], static_cast<unsigned>(pcmFds));
            if (n < 0) {
                deviceFailed(n, "snd_pcm_poll_descriptors");
                continue;
            }
            watched += static_cast<nfds_t>(n);
        }
        const int timeout = pollTimeout();
        lock.unlock();
        const int polled = ::poll(fds_.data(), watched, timeout);
        const int pollError = errno;
        if (polled > 0 && (fds_[0].revents & POLLIN) != 0) wake_->clear();
        lock.lock();
        if (quit_) break;
        if (polled < 0) {
            if (pollError == EINTR) continue;
            // Waiting is impossible, so the device is of no more use: it fails and closes.
            deviceFailed(-pollError, "poll");
            break;
        }
        // The UI thread may have reset, paused or closed the stream while we waited.
        if (polled == 0 || watched == 1 || failed_ || (queue_ != nullptr && queue_->failed()) ||
            !wantsDevice())
            continue;
        unsigned short revents = 0;
        const int err = snd_pcm_poll_descriptors_revents(
            pcm(), &fds_[1], static_cast<unsigned>(watched - 1), &revents);
        if (err < 0) {
            deviceFailed(err, "snd_pcm_poll_descriptors_revents");
            continue;
        }
        if ((revents & kDeviceEvents) != 0) transfer();
    }

    quit_ = true;
    parked_ = false;
    // Once quit_ is set nothing changes closing_ or deadline_; the thread is alone with the PCM.
    const bool playOutFirst = closing_.has_value() && !failed_;
    lock.unlock();
    if (playOutFirst && holdsFrames()) playOut(deadline_);
    pcm_.close();  // the device is gone either way; nobody is left to hear of an error
    lock.lock();
    if (closing_ && !abandoned_) closing_->post();
    finished_.store(true, std::memory_order_release);
}

void PcmDevice::playOut(SteadyClock::time_point deadline) {
    for (;;) {
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm());
        // An error here is an underrun: nothing is left to play.
        if (avail < 0 || static_cast<snd_pcm_uframes_t>(avail) >= geometry_.bufferFrames) return;
        const snd_pcm_state_t state = snd_pcm_state(pcm());
        if (state == SND_PCM_STATE_PREPARED) {
            // It had not started yet: start what was written.
            if (snd_pcm_start(pcm()) < 0) return;
        } else if (state != SND_PCM_STATE_RUNNING) {
            return;
        }
        const auto now = SteadyClock::now();
        if (now >= deadline) return;  // a device that stopped consuming: give up on the rest
        std::this_thread::sleep_for(std::min<SteadyClock::duration>(kPlayOutStep, deadline - now));
    }
}

Status PcmDevice::close(const ClosedNotice& closed) {
    const std::shared_ptr<ClosedDevices> keeper = closed_.lock();
    bool postNow = direction_ == Direction::Capture;
    {
        std::lock_guard lock(mutex_);
        const bool healthy = !failed_ && !queue_->failed();
        queue_ = nullptr;
        if (keeper && direction_ == Direction::Capture && healthy) {
            parked_ = true;
            parkedUntil_ = SteadyClock::now() + kWarmGrace;
        } else {
            // Nothing to play out: no frames since the last reset, a paused stream (closed as it
            // stands), or a thread that has ended already (it could not wait).
            if (!postNow && healthy && mayPlayOut() && !finished()) {
                const auto ring = std::chrono::milliseconds(1000 * geometry_.bufferFrames /
                                                            std::max(geometry_.rate, 1u));
                closing_ = closed;
                deadline_ = SteadyClock::now() + ring + kPlayOutMargin;
            } else {
                postNow = true;
            }
            quit_ = true;
        }
    }
    if (postNow) closed.post();
    wake();
    if (keeper) {
        keeper->adopt(shared_from_this());
    } else if (postNow) {
        thread_.detach();  // nothing more to post: it ends by itself
    } else {
        // Without the driver nobody would wait for the play-out and its message: this does, as
        // long as the play-out may last and a moment for the close.
        joinBy(deadline_ + kPlayOutMargin);
    }
    return {};
}

bool PcmDevice::takeOver(const std::string& device, const WaveFormat& format) {
    std::lock_guard lock(mutex_);
    if (!parked_ || quit_ || failed_ || device != device_ || !sameFormat(format, format_))
        return false;
    parked_ = false;
    return true;
}

void PcmDevice::retire() {
    {
        std::lock_guard lock(mutex_);
        if (!parked_) return;
        quit_ = true;
    }
    wake();
}

bool PcmDevice::joinBy(SteadyClock::time_point until) {
    while (!finished() && SteadyClock::now() < until) std::this_thread::sleep_for(kJoinStep);
    if (finished()) {
        if (thread_.joinable()) thread_.join();
        return true;
    }
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    if (thread_.joinable()) thread_.detach();
    return false;
}

void PcmDevice::deviceFailed(int err, const char* call) {
    failed_ = true;
    // What alsa-lib said on this thread, as callText adds it, from its fixed buffer.
    const std::string_view said = libraryMessages();
    if (queue_ != nullptr) {
        queue_->fail({call, "(\"", device_, "\"): ", snd_strerror(err),
                      said.empty() ? "" : " (alsa-lib: ", said, said.empty() ? "" : ")"});
    }
    discardLibraryMessages();
}

Status PcmDevice::failAlsa(const char* call, int err) const {
    return Status::fail(MMResult::Error, callText(call, '"' + device_ + '"', err));
}

}  // namespace platform::alsa
