#include "platform/alsa/PcmOpener.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/alsa/PcmDevice.h"

namespace platform::alsa {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kBusyStep{5};

// The first attempt's text says how long it was waited for, a later one how long it has taken
// (in tenths of a second, written without the locale's decimal separator).
std::string noAnswerText(const std::string& device, SteadyClock::duration waited, bool first) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(waited).count();
    const std::string amount =
        first ? "within " + std::to_string(ms) + " ms"
              : "for " + std::to_string(ms / 1000) + '.' + std::to_string(ms % 1000 / 100) + " s";
    return "snd_pcm_open(\"" + device + "\"): no answer " + amount + "; still waiting for it";
}

}  // namespace

// What one open is for, set before its thread starts, and what it came to, under `mutex`.
struct PcmOpener::Attempt {
    std::string device;
    Direction direction = Direction::Capture;
    WaveFormat format;
    std::vector<std::shared_ptr<PcmDevice>> busy;
    SteadyClock::time_point began;

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    Status status;
    PcmHandle pcm;
    PcmGeometry geometry;

    // The attempt's thread. Whoever lets go of the attempt last closes an unclaimed PCM: this
    // thread when the opener is gone.
    void run() {
        PcmHandle opened;
        Status s = PcmHandle::open(device, direction, opened);
        if (s.code == MMResult::Allocated && !busy.empty()) {
            // Held by our own device of the direction that is still closing: wait and try once
            // more.
            const auto until = SteadyClock::now() + kBusyWait;
            for (const std::shared_ptr<PcmDevice>& d : busy)
                while (!d->finished() && SteadyClock::now() < until)
                    std::this_thread::sleep_for(kBusyStep);
            s = PcmHandle::open(device, direction, opened);
        }
        busy.clear();
        PcmGeometry set;
        if (s.ok()) s = setUpPcm(opened.get(), device, format, set);
        if (!s.ok()) opened.close();  // here: closing may wait as long as opening
        std::lock_guard lock(mutex);
        status = std::move(s);
        pcm = std::move(opened);
        geometry = set;
        done = true;
        finished.notify_all();
    }
};

PcmOpener::~PcmOpener() {
    if (!pending_) return;
    std::lock_guard lock(pending_->mutex);
    if (pending_->done) closeAside(std::move(pending_->pcm));
}

Status PcmOpener::take(Attempt& attempt, PcmHandle& pcm, PcmGeometry& geometry) {
    pcm = std::move(attempt.pcm);
    geometry = attempt.geometry;
    return std::move(attempt.status);
}

Status PcmOpener::open(const std::string& device, Direction direction, const WaveFormat& format,
                       std::vector<std::shared_ptr<PcmDevice>> busy, PcmHandle& pcm,
                       PcmGeometry& geometry) {
    if (pending_) {
        const std::shared_ptr<Attempt> earlier = pending_;
        std::unique_lock lock(earlier->mutex);
        if (!earlier->done) {
            return Status::fail(
                MMResult::NoAnswer,
                noAnswerText(earlier->device, SteadyClock::now() - earlier->began, false));
        }
        pending_.reset();
        // A device that has answered since is taken as it is; an old refusal is not: the device
        // is asked again.
        if (earlier->status.ok() && earlier->device == device &&
            sameFormat(earlier->format, format)) {
            return take(*earlier, pcm, geometry);
        }
        closeAside(std::move(earlier->pcm));
    }

    auto attempt = std::make_shared<Attempt>();
    attempt->device = device;
    attempt->direction = direction;
    attempt->format = format;
    attempt->busy = std::move(busy);
    attempt->began = SteadyClock::now();
    try {
        std::thread([attempt] { attempt->run(); }).detach();
    } catch (const std::system_error& e) {
        return Status::fail(MMResult::Error, "could not start the thread that opens \"" + device +
                                                 "\": " + e.what());
    }
    std::unique_lock lock(attempt->mutex);
    if (!attempt->finished.wait_for(lock, kOpenWait, [&] { return attempt->done; })) {
        pending_ = attempt;
        return Status::fail(MMResult::NoAnswer, noAnswerText(device, kOpenWait, true));
    }
    return take(*attempt, pcm, geometry);
}

void closeAside(PcmHandle pcm) {
    if (!pcm) return;
    try {
        std::thread([p = std::move(pcm)]() mutable { p.close(); }).detach();
    } catch (const std::system_error&) {
        // No thread: the handle went with the function that held it, closing the PCM here.
    }
}

}  // namespace platform::alsa
