// Inside the simulated card: the state its streams and its clock share, and the device behind each
// open stream. Private to src/platform/sim.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ErrorLog.h"
#include "platform/StreamQueue.h"
#include "platform/WaveDevice.h"
#include "platform/sim/SignalSource.h"
#include "platform/sim/SimCard.h"

namespace platform::sim::detail {

inline constexpr size_t kDirections = 2;
inline constexpr size_t kSimCalls = 9;  // enumerators of WaveCall
// The clock moves in steps of at most this many frames, so that playback and capture (and the
// loopback between them) advance together.
inline constexpr uint32_t kChunkFrames = 1024;
// Frames of played signal kept for the loopback source.
inline constexpr uint32_t kHistoryFrames = 8192;

constexpr size_t index(Direction d) {
    return d == Direction::Capture ? 0 : 1;
}

// The signal the playback stream played, by card frame, for the loopback source. Holds the
// latest kHistoryFrames frames up to `end`; everything else reads as silence.
class PlaybackHistory {
  public:
    PlaybackHistory() : ring_(2 * kHistoryFrames, 0) {}
    // Moves the end to `newEnd`, the new frames silent until played.
    void extendTo(uint64_t newEnd);
    void put(uint64_t frame, int16_t left, int16_t right);
    void read(uint64_t firstFrame, std::span<int16_t> out) const;

  private:
    std::vector<int16_t> ring_;  // interleaved stereo, frame f at f mod kHistoryFrames
    uint64_t end_ = 0;
};

struct Core;

// The device of one direction of the card, behind whichever stream of that direction is open: its
// format, its run state and the open stream's queue. The card has one per direction, for good.
class SimDevice final : public WaveDevice {
  public:
    SimDevice(Core& core, Direction direction) : direction(direction), core_(core) {}

    std::mutex& mutex() override;
    MMResult admit(WaveCall call) override;
    Status attach(StreamQueue& queue) override;  // becomes the open device of its direction
    Status start() override { return set(started, true); }
    Status pause() override { return set(paused, true); }
    Status restart() override { return set(paused, false); }
    // Capture stops until the next start; playback keeps its pause.
    Status stop() override { return set(started, false); }
    Status close(const ClosedNotice& closed) override;

    // Guarded by Core::mutex.
    const Direction direction;
    WaveFormat format;             // the open stream's, set before it attaches
    StreamQueue* queue = nullptr;  // the open stream's; null while none is open
    bool started = false;          // capture: start() called, no reset since
    bool paused = false;           // playback: held by pause()

    bool open() const { return queue != nullptr; }
    bool running() const {
        return !queue->failed() && (direction == Direction::Capture ? started : !paused);
    }
    uint32_t framesIn(const WaveHeader& h) const { return h.bufferLength / format.blockAlign; }
    uint32_t frontFrames() const { return queue->frontBytes() / format.blockAlign; }

  private:
    static Status set(bool& state, bool value) {
        state = value;
        return {};
    }

    Core& core_;
};

struct Core {
    // Guards every member below, the devices and the queues of the open streams (it is their
    // WaveDevice::mutex), and the data of the queued buffers: the clock thread and the UI thread
    // both reach them.
    std::mutex mutex;
    uint64_t now = 0;
    std::unique_ptr<StereoSource> source;
    std::array<SimDevice, kDirections> devices{SimDevice(*this, Direction::Capture),
                                               SimDevice(*this, Direction::Playback)};
    std::array<bool, kDirections> busy{};
    std::array<std::optional<MMResult>, kSimCalls> failures{};
    std::shared_ptr<PlaybackHistory> history = std::make_shared<PlaybackHistory>();
    std::array<int16_t, 2 * kChunkFrames> captured{};  // scratch for one step of the source

    // The card's and its streams' failure details; has its own lock.
    const std::shared_ptr<ErrorLog> errors = std::make_shared<ErrorLog>("simulated card");

    Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    std::optional<MMResult> takeFailure(WaveCall call);
    void advanceLocked(uint64_t frames);

  private:
    void step(uint32_t frames);
    bool active() const;
};

}  // namespace platform::sim::detail
