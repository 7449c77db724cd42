// The simulated card: opening streams, the clock that moves them, and the realtime clock thread.
#include "platform/sim/SimCard.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>
#include <utility>

#include "platform/QueuedWaveStream.h"
#include "platform/sim/SimCore.h"

namespace platform::sim {

namespace detail {

namespace {

int16_t readSample16(const std::byte* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0]) | (static_cast<uint16_t>(p[1]) << 8));
}

void writeSample16(std::byte* p, int16_t value) {
    const auto bits = static_cast<uint16_t>(value);
    p[0] = static_cast<std::byte>(bits & 0xFF);
    p[1] = static_cast<std::byte>(bits >> 8);
}

// 8-bit PCM is unsigned, with silence at 128.
std::byte toUnsigned8(int16_t value) {
    return static_cast<std::byte>((value >> 8) + 128);
}

// Records `frames` frames of interleaved stereo into the capture stream's oldest buffers, in the
// stream's format. Frames beyond the queued buffers are lost.
void record(SimDevice& s, std::span<const int16_t> stereo) {
    StreamQueue& queue = *s.queue;
    const size_t frames = stereo.size() / 2;
    const uint16_t block = s.format.blockAlign;
    const bool mono = s.format.channels == 1;
    const bool eightBit = s.format.bitsPerSample == 8;
    size_t done = 0;
    while (done < frames && !queue.empty()) {
        const WaveHeader& h = *queue.front();
        const auto take =
            static_cast<uint32_t>(std::min<size_t>(s.framesIn(h) - s.frontFrames(), frames - done));
        std::byte* out = h.data + queue.frontBytes();
        for (uint32_t i = 0; i < take; ++i) {
            const int16_t left = stereo[2 * (done + i)];
            const int16_t right = stereo[2 * (done + i) + 1];
            if (eightBit) {
                out[0] = toUnsigned8(left);
                if (!mono) out[1] = toUnsigned8(right);
            } else {
                writeSample16(out, left);
                if (!mono) writeSample16(out + 2, right);
            }
            out += block;
        }
        done += take;
        queue.advanceFront(take * block);  // completes the buffer once it is full
    }
}

// Plays up to `frames` frames from the playback stream's oldest buffers into the history, from
// card frame `first` on. Playback formats are 16-bit.
void play(SimDevice& s, PlaybackHistory& history, uint64_t first, uint32_t frames) {
    StreamQueue& queue = *s.queue;
    const uint16_t block = s.format.blockAlign;
    const bool mono = s.format.channels == 1;
    uint32_t done = 0;
    while (done < frames && !queue.empty()) {
        const WaveHeader& h = *queue.front();
        const uint32_t take = std::min(s.framesIn(h) - s.frontFrames(), frames - done);
        const std::byte* in = h.data + queue.frontBytes();
        for (uint32_t i = 0; i < take; ++i) {
            const int16_t left = readSample16(in);
            history.put(first + done + i, left, mono ? left : readSample16(in + 2));
            in += block;
        }
        done += take;
        queue.advanceFront(take * block);
    }
}

}  // namespace

void PlaybackHistory::extendTo(uint64_t newEnd) {
    const uint64_t from = std::max(end_, newEnd > kHistoryFrames ? newEnd - kHistoryFrames : 0);
    for (uint64_t f = from; f < newEnd; ++f) put(f, 0, 0);
    end_ = newEnd;
}

void PlaybackHistory::put(uint64_t frame, int16_t left, int16_t right) {
    const size_t slot = 2 * static_cast<size_t>(frame % kHistoryFrames);
    ring_[slot] = left;
    ring_[slot + 1] = right;
}

void PlaybackHistory::read(uint64_t firstFrame, std::span<int16_t> out) const {
    const uint64_t oldest = end_ > kHistoryFrames ? end_ - kHistoryFrames : 0;
    for (size_t i = 0; i < out.size() / 2; ++i) {
        const uint64_t frame = firstFrame + i;
        const bool kept = frame >= oldest && frame < end_;
        const size_t slot = 2 * static_cast<size_t>(frame % kHistoryFrames);
        out[2 * i] = kept ? ring_[slot] : int16_t{0};
        out[2 * i + 1] = kept ? ring_[slot + 1] : int16_t{0};
    }
}

Core::Core() : source(makeStereo(makeSilence(), makeSilence())) {}

std::optional<MMResult> Core::takeFailure(WaveCall call) {
    return std::exchange(failures[static_cast<size_t>(call)], std::nullopt);
}

bool Core::active() const {
    return std::any_of(devices.begin(), devices.end(), [](const SimDevice& d) {
        return d.open() && d.running() && !d.queue->empty();
    });
}

void Core::step(uint32_t frames) {
    history->extendTo(now + frames);
    if (SimDevice& out = devices[index(Direction::Playback)]; out.open() && out.running()) {
        play(out, *history, now, frames);
    }
    if (SimDevice& in = devices[index(Direction::Capture)]; in.open() && in.running()) {
        const std::span<int16_t> block(captured.data(), 2 * static_cast<size_t>(frames));
        if (!in.queue->empty()) source->render(now, block);
        record(in, block);
    }
    now += frames;
}

void Core::advanceLocked(uint64_t frames) {
    while (frames > 0) {
        if (!active()) {
            // Nothing records or plays: time passes in one go.
            history->extendTo(now + frames);
            now += frames;
            return;
        }
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(frames, kChunkFrames));
        step(n);
        frames -= n;
    }
}

namespace {

class Loopback final : public StereoSource {
  public:
    // `couplingHz`: the corner of a first-order high-pass on each input (a LINE IN's coupling
    // capacitor); 0: none.
    Loopback(std::shared_ptr<const PlaybackHistory> history, double couplingHz)
        : history_(std::move(history)),
          pole_(couplingHz > 0.0 ? std::exp(-2.0 * std::numbers::pi * couplingHz / kFrameRate)
                                 : 0.0) {}
    // Called by the card under its lock, which also guards the history.
    void render(uint64_t firstFrame, std::span<int16_t> out) override {
        history_->read(firstFrame, out);
        if (pole_ <= 0.0) return;
        // y[n] = p (y[n-1] + x[n] - x[n-1]): the high-pass with its pole where the analogue
        // one maps. A block that does not follow the last one starts it from rest.
        if (firstFrame != nextFrame_) last_ = {};
        nextFrame_ = firstFrame + out.size() / 2;
        for (size_t k = 0; k < out.size(); ++k) {
            State& s = last_[k % 2];
            const double x = out[k];
            s.output = pole_ * (s.output + x - s.input);
            s.input = x;
            out[k] = static_cast<int16_t>(std::clamp(std::lround(s.output), -32768L, 32767L));
        }
    }

  private:
    struct State {
        double input = 0.0;
        double output = 0.0;
    };
    static constexpr double kFrameRate = 44100.0;
    std::shared_ptr<const PlaybackHistory> history_;
    double pole_;
    uint64_t nextFrame_ = 0;
    std::array<State, 2> last_{};
};

}  // namespace

}  // namespace detail

namespace {

// Why the format is refused, or empty when the card takes it.
std::string formatProblem(Direction direction, const WaveFormat& f) {
    if (f.formatTag != kFormatPcm) return "only PCM is supported";
    if (f.channels != 1 && f.channels != 2) {
        return std::to_string(f.channels) + " channels; only 1 or 2 are supported";
    }
    const bool bitsOk = direction == Direction::Capture
                            ? (f.bitsPerSample == 8 || f.bitsPerSample == 16)
                            : f.bitsPerSample == 16;
    if (!bitsOk) {
        return std::to_string(f.bitsPerSample) + " bits per sample; " +
               (direction == Direction::Capture ? "8 or 16 are supported"
                                                : "playback supports 16 only");
    }
    if (f.samplesPerSec != kSimFrameRate) {
        return std::to_string(f.samplesPerSec) + " frames/s; only 44100 is supported";
    }
    const unsigned block = f.channels * (f.bitsPerSample / 8u);
    if (f.blockAlign != block) {
        return "block alignment " + std::to_string(f.blockAlign) + " does not match " +
               std::to_string(block) + " bytes per frame";
    }
    if (f.avgBytesPerSec != block * kSimFrameRate) {
        return "average bytes per second " + std::to_string(f.avgBytesPerSec) + " does not match " +
               std::to_string(block * kSimFrameRate);
    }
    return {};
}

const char* directionName(Direction d) {
    return d == Direction::Capture ? "capture" : "playback";
}

// Steps of the realtime clock, and the most time one step makes up for after the thread was held
// up (a longer gap is lost, as an overrun loses it on a real card).
constexpr std::chrono::milliseconds kTick{5};
constexpr uint64_t kMaxCatchUpFrames = kSimFrameRate / 2;

}  // namespace

struct SimCard::Impl {
    std::shared_ptr<detail::Core> core = std::make_shared<detail::Core>();
    std::jthread clock;  // the realtime clock; not running on the manual clock

    void runClock(const std::stop_token& stop) const {
        using Steady = std::chrono::steady_clock;
        const Steady::time_point begin = Steady::now();
        uint64_t passed = 0;  // frames the thread has let pass since `begin`
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(kTick);
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now() - begin);
            const uint64_t due =
                static_cast<uint64_t>(elapsed.count()) * kSimFrameRate / 1'000'000'000ull;
            const uint64_t frames = std::min(due - passed, kMaxCatchUpFrames);
            passed = due;
            std::lock_guard lock(core->mutex);
            core->advanceLocked(frames);
        }
    }
};

SimCard::SimCard(SimClock clock) : impl_(std::make_unique<Impl>()) {
    if (clock == SimClock::Realtime) {
        impl_->clock =
            std::jthread([impl = impl_.get()](std::stop_token stop) { impl->runClock(stop); });
    }
}

SimCard::~SimCard() {
    // The clock thread goes first; open streams keep the core alive after the card.
    if (impl_->clock.joinable()) {
        impl_->clock.request_stop();
        impl_->clock.join();
    }
}

void SimCard::setSource(std::unique_ptr<StereoSource> source) {
    if (!source) source = makeStereo(makeSilence(), makeSilence());
    std::lock_guard lock(impl_->core->mutex);
    std::swap(impl_->core->source, source);
    // The previous source is destroyed here, still under the lock: the clock may be rendering it
    // only while holding the lock.
}

void SimCard::advance(uint64_t frames) {
    std::lock_guard lock(impl_->core->mutex);
    impl_->core->advanceLocked(frames);
}

int SimCard::completeBuffers(int count) {
    detail::Core& core = *impl_->core;
    std::lock_guard lock(core.mutex);
    const detail::SimDevice& in = core.devices[detail::index(Direction::Capture)];
    if (!in.open() || !in.running() || count <= 0) return 0;
    const size_t buffers = std::min(static_cast<size_t>(count), in.queue->size());
    uint64_t frames = 0;
    for (size_t i = 0; i < buffers; ++i) frames += in.framesIn(*in.queue->at(i));
    frames -= in.frontFrames();
    core.advanceLocked(frames);
    return static_cast<int>(buffers);
}

uint64_t SimCard::now() const {
    std::lock_guard lock(impl_->core->mutex);
    return impl_->core->now;
}

size_t SimCard::queuedBuffers(Direction direction) const {
    std::lock_guard lock(impl_->core->mutex);
    const detail::SimDevice& device = impl_->core->devices[detail::index(direction)];
    return device.open() ? device.queue->size() : 0;
}

void SimCard::setBusy(Direction direction, bool busy) {
    std::lock_guard lock(impl_->core->mutex);
    impl_->core->busy[detail::index(direction)] = busy;
}

void SimCard::failNext(WaveCall call, MMResult result) {
    std::lock_guard lock(impl_->core->mutex);
    auto& pending = impl_->core->failures[static_cast<size_t>(call)];
    if (failed(result)) {
        pending = result;
    } else {
        pending.reset();
    }
}

void SimCard::failDevice(Direction direction) {
    std::lock_guard lock(impl_->core->mutex);
    detail::SimDevice& device = impl_->core->devices[detail::index(direction)];
    if (device.open()) {
        device.queue->fail(
            {"device(\"", directionName(direction), "\"): the device is gone (simulated card)"});
    }
}

MMResult SimCard::open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                       MessageLoop& loop, TargetId notify, std::unique_ptr<WaveStream>& stream) {
    const std::shared_ptr<detail::Core>& core = impl_->core;
    detail::SimDevice& device = core->devices[detail::index(direction)];
    const auto refuse = [&](MMResult result, std::string reason) {
        return core->errors->record(direction, Status::fail(result, std::move(reason)));
    };
    {
        std::lock_guard lock(core->mutex);
        if (auto injected = core->takeFailure(WaveCall::Open)) return refuse(*injected, {});
        if (deviceId != kWaveMapper && deviceId != 0) {
            return refuse(MMResult::BadDeviceId,
                          "device " + std::to_string(deviceId) +
                              " does not exist; the simulated card has device 0 only");
        }
        if (std::string problem = formatProblem(direction, format); !problem.empty()) {
            return refuse(MMResult::BadFormat, std::move(problem));
        }
        if (core->busy[detail::index(direction)]) {
            return refuse(MMResult::Allocated, std::string("the ") + directionName(direction) +
                                                   " device is in use by another program");
        }
        if (device.open()) {
            return refuse(MMResult::Allocated, std::string("the ") + directionName(direction) +
                                                   " device is already open");
        }
        device.format = format;
    }
    // The stream takes the device (attach, under the card's lock). It holds the device through
    // the card's core, which it keeps alive: no allocation beyond the stream itself.
    return QueuedWaveStream::open(
        {direction, directionName(direction), format.blockAlign, &loop, notify, core->errors},
        std::shared_ptr<WaveDevice>(core, &device), stream);
}

ErrorReason SimCard::errorReason(Direction direction, MMResult result) const {
    return impl_->core->errors->reason(direction, result);
}

std::unique_ptr<StereoSource> makeLoopback(SimCard& card, double couplingHz) {
    std::lock_guard lock(card.impl_->core->mutex);
    return std::make_unique<detail::Loopback>(card.impl_->core->history, couplingHz);
}

std::string SimCard::deviceName(Direction /*direction*/) const {
    return "simulated card";
}

}  // namespace platform::sim
