#include "platform/alsa/PcmDevice.h"

#include <cerrno>
#include <system_error>
#include <utility>

namespace platform::alsa {

namespace {

constexpr short kDeviceEvents = POLLIN | POLLOUT | POLLERR | POLLHUP | POLLNVAL;

}  // namespace

PcmDevice::PcmDevice(Setup setup)
    : direction_(setup.direction),
      device_(std::move(setup.device)),
      pcm_(std::move(setup.pcm)),
      geometry_(setup.geometry) {}

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
            if (quit_) return;
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
        if (::poll(fds_.data(), watched, -1) < 0) continue;  // EINTR: look again
        if ((fds_[0].revents & POLLIN) != 0) wake_->clear();
        if (watched == 1) continue;

        std::lock_guard lock(mutex_);
        if (quit_) return;
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
}

Status PcmDevice::close(const ClosedNotice& closed) {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake();
    thread_.join();
    // The thread is gone: the PCM is ours alone from here on.
    Status finished = queue_->failed() ? Status{} : finishDevice();
    queue_ = nullptr;
    const int err = pcm_.close();
    // The device is closed even when finishing or closing reported an error, so the component
    // hears of it either way.
    closed.post();
    if (err < 0 && finished.ok()) return failAlsa("snd_pcm_close", err);
    return finished;
}

Status PcmDevice::dropAndPrepare() {
    if (const int err = snd_pcm_drop(pcm()); err < 0) return failAlsa("snd_pcm_drop", err);
    if (const int err = snd_pcm_prepare(pcm()); err < 0) return failAlsa("snd_pcm_prepare", err);
    return {};
}

void PcmDevice::deviceFailed(int err, const char* call) {
    queue_->fail({call, "(\"", device_, "\"): ", snd_strerror(err)});
}

Status PcmDevice::failAlsa(const char* call, int err) const {
    return Status::fail(MMResult::Error, callText(call, '"' + device_ + '"', err));
}

}  // namespace platform::alsa
