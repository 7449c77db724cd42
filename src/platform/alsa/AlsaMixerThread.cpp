#include "platform/alsa/AlsaMixerThread.h"

#include <poll.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/WakeEvent.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaMixerHandle.h"

namespace platform::alsa {

struct AlsaMixerThread::Command {
    Work work;  // released on the mixer's thread once it has run
    Status result;
    bool done = false;
};

struct AlsaMixerThread::Core {
    explicit Core(std::string name) : device(std::move(name)) {}

    Status late(const std::string& why) const {
        return Status::fail(MMResult::Error,
                            "mixer \"" + device + "\" does not answer (" + why + ")");
    }

    const std::string device;
    const WakeEvent wake;        // a command was queued, or the thread is asked to end
    std::shared_ptr<void> kept;  // released by the thread once the mixer is closed

    // Guards everything below and each Command's result and done flag.
    mutable std::mutex mutex;
    std::condition_variable changed;  // a command is done, or the thread has ended
    std::deque<std::shared_ptr<Command>> queue;
    std::shared_ptr<Command> current;  // taken from the queue and not done yet
    bool quit = false;
    bool ended = false;
    Status eventFailure;
};

namespace {

using Core = AlsaMixerThread::Core;

// Waits for the mixer's events or a wake-up and handles the events; returns the failure that
// ends the event handling, or ok.
Status waitAndHandle(Core& core, snd_mixer_t* mixer, std::vector<pollfd>& fds) {
    const auto fail = [&](const char* call, int err) {
        return Status::fail(MMResult::Error, callText(call, '"' + core.device + '"', err));
    };
    nfds_t watched = 1;
    if (mixer != nullptr) {
        const int count = snd_mixer_poll_descriptors_count(mixer);
        if (count < 0) return fail("snd_mixer_poll_descriptors_count", count);
        fds.resize(static_cast<size_t>(count) + 1);
        const int n = snd_mixer_poll_descriptors(mixer, &fds[1], static_cast<unsigned>(count));
        if (n < 0) return fail("snd_mixer_poll_descriptors", n);
        watched += static_cast<nfds_t>(n);
    }
    fds[0] = {core.wake.fd(), POLLIN, 0};
    if (::poll(fds.data(), watched, -1) < 0) {
        return errno == EINTR ? Status{} : fail("poll", -errno);
    }
    if ((fds[0].revents & POLLIN) != 0) core.wake.clear();
    if (mixer == nullptr || watched == 1) return {};
    unsigned short revents = 0;
    if (const int err = snd_mixer_poll_descriptors_revents(
            mixer, &fds[1], static_cast<unsigned>(watched - 1), &revents);
        err < 0) {
        return fail("snd_mixer_poll_descriptors_revents", err);
    }
    if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return fail("snd_mixer_poll_descriptors_revents", -ENODEV);
    }
    if ((revents & POLLIN) == 0) return {};
    // Calls the callbacks of the elements that changed.
    if (const int err = snd_mixer_handle_events(mixer); err < 0) {
        return fail("snd_mixer_handle_events", err);
    }
    return {};
}

// The mixer's thread: opens the mixer, then runs commands as they come and handles events in
// between, until asked to end; closes the mixer and says it has ended.
void body(const std::shared_ptr<Core>& core) {
    AlsaMixerHandle mixer;
    const Status opened = AlsaMixerHandle::open(core->device, mixer);
    bool watching = opened.ok();
    std::vector<pollfd> fds(1);
    for (;;) {
        std::shared_ptr<AlsaMixerThread::Command> next;
        {
            std::lock_guard lock(core->mutex);
            if (core->quit) break;
            if (!core->queue.empty()) {
                next = std::move(core->queue.front());
                core->queue.pop_front();
                core->current = next;
            }
        }
        if (next) {
            Status result = opened;
            if (opened.ok()) {
                try {
                    result = next->work(mixer.get());
                } catch (const std::exception& e) {  // memory ran out for what it builds
                    result = Status::fail(MMResult::Error, e.what());
                }
            }
            next->work = nullptr;  // what it captured goes here, not on a caller's thread
            {
                std::lock_guard lock(core->mutex);
                next->result = std::move(result);
                next->done = true;
                core->current.reset();
            }
            core->changed.notify_all();
            continue;
        }
        Status events = waitAndHandle(*core, watching ? mixer.get() : nullptr, fds);
        if (!events.ok()) {
            watching = false;  // from now on the thread waits for commands only
            std::lock_guard lock(core->mutex);
            core->eventFailure = std::move(events);
        }
    }
    mixer.close();
    std::shared_ptr<void> kept;
    {
        std::lock_guard lock(core->mutex);
        kept = std::move(core->kept);
        core->ended = true;
    }
    kept.reset();
    core->changed.notify_all();
}

}  // namespace

AlsaMixerThread::AlsaMixerThread(std::shared_ptr<Core> core) : core_(std::move(core)) {}

Status AlsaMixerThread::start(const std::string& device, Work setUp, std::shared_ptr<void> kept,
                              std::unique_ptr<AlsaMixerThread>& out) {
    std::shared_ptr<Core> core;
    std::unique_ptr<AlsaMixerThread> started;
    auto first = std::make_shared<Command>();
    first->work = std::move(setUp);
    try {
        core = std::make_shared<Core>(device);
        core->kept = std::move(kept);
        core->queue.push_back(first);
        started.reset(new AlsaMixerThread(core));
        started->thread_ = std::thread([core] { body(core); });
    } catch (const std::system_error& e) {
        // The thread's quit request finds no thread; the destructor has nothing to join.
        return Status::fail(MMResult::Error,
                            "could not start the thread of mixer \"" + device + "\": " + e.what());
    }
    Status s = started->await(first);
    if (s.ok()) out = std::move(started);
    return s;
}

AlsaMixerThread::~AlsaMixerThread() {
    if (!thread_.joinable()) return;
    bool late = false;
    {
        std::lock_guard lock(core_->mutex);
        core_->quit = true;
        late = core_->current || !core_->queue.empty();  // a command it has not answered
    }
    core_->wake.signal();
    bool ended = false;
    if (!late) {
        std::unique_lock lock(core_->mutex);
        ended = core_->changed.wait_for(lock, kMixerAnswerTime, [this] { return core_->ended; });
    }
    // A thread that does not end is stuck inside alsa-lib: it is left behind rather than waited
    // for without end, and ends by itself if alsa-lib ever lets it go.
    if (ended) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

Status AlsaMixerThread::await(const std::shared_ptr<Command>& command) {
    std::unique_lock lock(core_->mutex);
    if (!core_->changed.wait_for(lock, kMixerAnswerTime, [&] { return command->done; })) {
        return core_->late("no reply within " + std::to_string(kMixerAnswerTime.count()) + " ms");
    }
    return command->result;
}

Status AlsaMixerThread::run(Work work) {
    auto command = std::make_shared<Command>();
    command->work = std::move(work);
    {
        std::lock_guard lock(core_->mutex);
        if (core_->current || !core_->queue.empty()) {
            return core_->late("a call made earlier has not finished");
        }
        core_->queue.push_back(command);
    }
    core_->wake.signal();
    return await(command);
}

Status AlsaMixerThread::eventFailure() const {
    std::lock_guard lock(core_->mutex);
    return core_->eventFailure;
}

}  // namespace platform::alsa
