#include "platform/alsa/PcmDevice.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/alsa/AlsaLog.h"
#include "platform/alsa/DrainingDevices.h"

namespace platform::alsa {

namespace {

constexpr short kDeviceEvents = POLLIN | POLLOUT | POLLERR | POLLHUP | POLLNVAL;
// How often a closed playback device looks whether its ring has played out.
constexpr std::chrono::milliseconds kPlayOutStep{10};

}  // namespace

PcmDevice::PcmDevice(Setup setup)
    : direction_(setup.direction),
      device_(std::move(setup.device)),
      pcm_(std::move(setup.pcm)),
      geometry_(setup.geometry),
      draining_(std::move(setup.draining)) {}

Status PcmDevice::attach(StreamQueue& queue) {
    queue_ = &queue;
    const int count = snd_pcm_poll_descriptors_count(pcm());
    if (count <= 0) return failAlsa("snd_pcm_poll_descriptors_count", count < 0 ? count : -EIO);
    try {
        wake_.emplace();
        fds_.assign(static_cast<size_t>(count) + 1, pollfd{});
        fds_[0] = {wake_->fd(), POLLIN, 0};
        thread_ = std::thread(&PcmDevice::run, this);
    } catch (const std::system_error& e) {
        return Status::fail(MMResult::Error, "could not start the driver thread for \"" + device_ +
                                                 "\": " + e.what());
    }
    return {};
}

void PcmDevice::run() {
    const size_t pcmFds = fds_.size() - 1;
    for (;;) {
        nfds_t watched = 1;
        {
            std::lock_guard lock(mutex_);
            if (quit_) break;
            if (!queue_->failed() && wantsDevice()) {
                const int n =
                    snd_pcm_poll_descriptors(pcm(), &fds_[1], static_cast<unsigned>(pcmFds));
                if (n < 0) {
                    deviceFailed(n, "snd_pcm_poll_descriptors");
                    continue;
                }
                watched += static_cast<nfds_t>(n);
            }
        }
        if (::poll(fds_.data(), watched, -1) < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            std::lock_guard lock(mutex_);
            if (quit_) break;
            // Waiting is impossible, so the device is of no more use; close() joins at once.
            deviceFailed(-err, "poll");
            return;
        }
        if ((fds_[0].revents & POLLIN) != 0) wake_->clear();
        if (watched == 1) continue;

        std::lock_guard lock(mutex_);
        if (quit_) break;
        // The UI thread may have reset, paused or failed the stream while we waited.
        if (queue_->failed() || !wantsDevice()) continue;
        unsigned short revents = 0;
        const int err = snd_pcm_poll_descriptors_revents(
            pcm(), &fds_[1], static_cast<unsigned>(watched - 1), &revents);
        if (err < 0) {
            deviceFailed(err, "snd_pcm_poll_descriptors_revents");
            continue;
        }
        if ((revents & kDeviceEvents) != 0) transfer();
    }

    // quit_ was seen under the lock, so closing_ and deadline_ (set with it, never after) are
    // read safely without it. Playing out, this thread alone touches the PCM.
    if (!closing_) return;
    playOut(deadline_);
    pcm_.close();  // the device is gone either way; nobody is left to hear of an error
    closing_->post();
    finished_.store(true, std::memory_order_release);
}

void PcmDevice::playOut(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm());
        // An error here is an underrun: nothing is left to play.
        if (avail < 0 || static_cast<snd_pcm_uframes_t>(avail) >= geometry_.bufferFrames) return;
        const snd_pcm_state_t state = snd_pcm_state(pcm());
        if (state == SND_PCM_STATE_PREPARED) {
            // Fewer frames than the start threshold were written: start them now.
            if (snd_pcm_start(pcm()) < 0) return;
        } else if (state != SND_PCM_STATE_RUNNING) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;  // a device that stopped consuming: give up on the rest
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kPlayOutStep, deadline - now));
    }
}

Status PcmDevice::close(const ClosedNotice& closed) {
    bool playingOut = false;
    {
        std::lock_guard lock(mutex_);
        playingOut = !queue_->failed() && holdsFrames();
        if (playingOut) {
            const auto ring = std::chrono::milliseconds(1000 * geometry_.bufferFrames /
                                                        std::max(geometry_.rate, 1u));
            closing_ = closed;
            deadline_ = std::chrono::steady_clock::now() + ring + kPlayOutMargin;
        }
        quit_ = true;
        queue_ = nullptr;
    }
    wake();
    if (playingOut) {
        if (const std::shared_ptr<DrainingDevices> draining = draining_.lock()) {
            draining->adopt(shared_from_this());
        } else {
            join();  // the driver is gone: nobody would wait for the thread, so this does
        }
        return {};
    }
    join();
    const int err = pcm_.close();
    closed.post();
    if (err < 0) return failAlsa("snd_pcm_close", err);
    return {};
}

void PcmDevice::join() {
    if (thread_.joinable()) thread_.join();
}

Status PcmDevice::dropAndPrepare() {
    if (const int err = snd_pcm_drop(pcm()); err < 0) return failAlsa("snd_pcm_drop", err);
    if (const int err = snd_pcm_prepare(pcm()); err < 0) return failAlsa("snd_pcm_prepare", err);
    return {};
}

void PcmDevice::deviceFailed(int err, const char* call) {
    // What alsa-lib said on this thread, as callText adds it, from its fixed buffer.
    const std::string_view said = libraryMessages();
    queue_->fail({call, "(\"", device_, "\"): ", snd_strerror(err),
                  said.empty() ? "" : " (alsa-lib: ", said, said.empty() ? "" : ")"});
    discardLibraryMessages();
}

Status PcmDevice::failAlsa(const char* call, int err) const {
    return Status::fail(MMResult::Error, callText(call, '"' + device_ + '"', err));
}

}  // namespace platform::alsa
