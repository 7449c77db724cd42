// Inside the simulated card: the state its streams and its clock share, and the stream class.
// Private to src/platform/sim.
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

#include "platform/WaveDriver.h"
#include "platform/sim/SignalSource.h"
#include "platform/sim/SimCard.h"

namespace platform::sim::detail {

inline constexpr size_t kDirections = 2;
inline constexpr size_t kSimCalls = 9;  // enumerators of SimCall
// The clock moves in steps of at most this many frames, so that playback and capture (and the
// loopback between them) advance together.
inline constexpr uint32_t kChunkFrames = 1024;
// Frames of played signal kept for the loopback source.
inline constexpr uint32_t kHistoryFrames = 8192;

constexpr size_t index(Direction d) {
    return d == Direction::Capture ? 0 : 1;
}

// The headers queued on one stream, oldest first, in a fixed ring: queueing never allocates.
class HeaderQueue {
  public:
    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == slots_.size(); }
    size_t size() const { return count_; }
    WaveHeader* front() const { return slots_[head_]; }
    WaveHeader* at(size_t i) const { return slots_[(head_ + i) % slots_.size()]; }
    bool contains(const WaveHeader* header) const;
    void push(WaveHeader* header);  // not full
    WaveHeader* pop();              // not empty

  private:
    std::array<WaveHeader*, kSimMaxQueuedBuffers> slots_{};
    size_t head_ = 0;
    size_t count_ = 0;
};

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

// One open stream as the clock sees it. Owned by its SimStream, reachable from the core while
// open.
struct StreamState {
    Direction direction = Direction::Capture;
    WaveFormat format;
    MessageLoop* loop = nullptr;
    TargetId notify = kNoTarget;
    uintptr_t identity = 0;
    HeaderQueue queue;
    uint32_t headFrames = 0;  // frames already recorded into or played from the head buffer
    bool started = false;     // capture: start() called, no reset since
    bool paused = false;      // playback: held by pause()

    bool running() const { return direction == Direction::Capture ? started : !paused; }
    uint32_t framesPerBuffer(const WaveHeader& h) const {
        return h.bufferLength / format.blockAlign;
    }
    uint32_t dataMessage() const;
    uint32_t closeMessage() const;
    // Marks the head buffer done and posts its message.
    void completeHead();
    // Returns every queued buffer with its message, in order.
    void returnAll();
};

struct Failure {
    MMResult result = MMResult::NoError;
    std::string reason;
};

struct Core {
    // Guards every member below and the StreamStates they point at, including the queued headers
    // and their data: the clock thread and the UI thread both reach them.
    mutable std::mutex mutex;
    uint64_t now = 0;
    std::unique_ptr<StereoSource> source;
    std::array<StreamState*, kDirections> streams{};  // the open stream per direction, or null
    std::array<bool, kDirections> busy{};
    std::array<std::optional<MMResult>, kSimCalls> failures{};
    std::array<Failure, kDirections> lastFailure{};
    std::shared_ptr<PlaybackHistory> history = std::make_shared<PlaybackHistory>();
    std::array<int16_t, 2 * kChunkFrames> captured{};  // scratch for one step of the source

    Core();

    std::optional<MMResult> takeFailure(SimCall call);
    MMResult fail(Direction direction, MMResult result, std::string reason);
    void advanceLocked(uint64_t frames);

  private:
    void step(uint32_t frames);
    bool active() const;
};

class SimStream final : public WaveStream {
  public:
    // Registers itself with the core as the open stream of its direction and posts the open
    // message. The caller holds the core's lock.
    SimStream(std::shared_ptr<Core> core, Direction direction, const WaveFormat& format,
              MessageLoop& loop, TargetId notify);
    ~SimStream() override;
    SimStream(const SimStream&) = delete;
    SimStream& operator=(const SimStream&) = delete;

    MMResult prepareHeader(WaveHeader& header) override;
    MMResult unprepareHeader(WaveHeader& header) override;
    MMResult addBuffer(WaveHeader& header) override;
    MMResult start() override;
    MMResult pause() override;
    MMResult restart() override;
    MMResult reset() override;
    MMResult close() override;

  private:
    // Shared steps of every call: the injected failure, then the handle check.
    std::optional<MMResult> enter(SimCall call) const;
    void closeLocked();

    std::shared_ptr<Core> core_;
    StreamState state_;  // guarded by core_->mutex
    bool open_ = true;   // guarded by core_->mutex
};

}  // namespace platform::sim::detail
