// The simulated card's streams: header bookkeeping and the calls of the wave stream interface.
#include <utility>

#include "platform/sim/SimCore.h"

namespace platform::sim::detail {

bool HeaderQueue::contains(const WaveHeader* header) const {
    for (size_t i = 0; i < count_; ++i) {
        if (at(i) == header) return true;
    }
    return false;
}

void HeaderQueue::push(WaveHeader* header) {
    slots_[(head_ + count_) % slots_.size()] = header;
    ++count_;
}

WaveHeader* HeaderQueue::pop() {
    WaveHeader* header = slots_[head_];
    slots_[head_] = nullptr;
    head_ = (head_ + 1) % slots_.size();
    --count_;
    return header;
}

uint32_t StreamState::dataMessage() const {
    return direction == Direction::Capture ? MM_WIM_DATA : MM_WOM_DONE;
}

uint32_t StreamState::closeMessage() const {
    return direction == Direction::Capture ? MM_WIM_CLOSE : MM_WOM_CLOSE;
}

void StreamState::completeHead() {
    WaveHeader* header = queue.pop();
    headFrames = 0;
    header->flags = (header->flags | kHeaderDone) & ~kHeaderInQueue;
    loop->post(notify, dataMessage(), identity, reinterpret_cast<uintptr_t>(header));
}

void StreamState::returnAll() {
    // A partly recorded capture buffer keeps its bytesRecorded; a partly played buffer is cut.
    while (!queue.empty()) completeHead();
}

SimStream::SimStream(std::shared_ptr<Core> core, Direction direction, const WaveFormat& format,
                     MessageLoop& loop, TargetId notify)
    : core_(std::move(core)) {
    state_.direction = direction;
    state_.format = format;
    state_.loop = &loop;
    state_.notify = notify;
    state_.identity = streamIdentity(*this);
    core_->streams[index(direction)] = &state_;
    loop.post(notify, direction == Direction::Capture ? MM_WIM_OPEN : MM_WOM_OPEN);
}

SimStream::~SimStream() {
    std::lock_guard lock(core_->mutex);
    if (!open_) return;
    state_.returnAll();
    closeLocked();
}

void SimStream::closeLocked() {
    core_->streams[index(state_.direction)] = nullptr;
    open_ = false;
    state_.loop->post(state_.notify, state_.closeMessage());
}

std::optional<MMResult> SimStream::enter(SimCall call) const {
    if (auto injected = core_->takeFailure(call)) {
        return core_->fail(state_.direction, *injected, {});
    }
    if (!open_) {
        return core_->fail(state_.direction, MMResult::InvalidHandle, "the stream is closed");
    }
    return std::nullopt;
}

MMResult SimStream::prepareHeader(WaveHeader& header) {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::Prepare)) return *refused;
    if (state_.queue.contains(&header)) {
        return core_->fail(state_.direction, MMResult::StillPlaying, "the header is queued");
    }
    header.flags |= kHeaderPrepared;
    return MMResult::NoError;
}

MMResult SimStream::unprepareHeader(WaveHeader& header) {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::Unprepare)) return *refused;
    if (state_.queue.contains(&header)) {
        return core_->fail(state_.direction, MMResult::StillPlaying, "the header is queued");
    }
    header.flags &= ~kHeaderPrepared;
    return MMResult::NoError;
}

MMResult SimStream::addBuffer(WaveHeader& header) {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::AddBuffer)) return *refused;
    const Direction d = state_.direction;
    // The queue itself decides, not the flags: a header whose flags were overwritten while queued
    // must still not be queued twice.
    if (state_.queue.contains(&header)) {
        return core_->fail(d, MMResult::StillPlaying, "the header is already queued");
    }
    if ((header.flags & kHeaderPrepared) == 0) return core_->fail(d, MMResult::Unprepared, {});
    if (header.data == nullptr || state_.framesPerBuffer(header) == 0) {
        return core_->fail(d, MMResult::InvalidParam, "the buffer holds less than one frame");
    }
    if (state_.queue.full()) {
        return core_->fail(
            d, MMResult::NoMem,
            "the stream holds " + std::to_string(kSimMaxQueuedBuffers) + " buffers already");
    }
    if (d == Direction::Capture) header.bytesRecorded = 0;
    header.flags = (header.flags & ~kHeaderDone) | kHeaderInQueue;
    state_.queue.push(&header);
    return MMResult::NoError;
}

MMResult SimStream::start() {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::Start)) return *refused;
    if (state_.direction != Direction::Capture) {
        return core_->fail(state_.direction, MMResult::NotSupported,
                           "playback starts with its first buffer");
    }
    state_.started = true;
    return MMResult::NoError;
}

MMResult SimStream::pause() {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::Pause)) return *refused;
    if (state_.direction != Direction::Playback) {
        return core_->fail(state_.direction, MMResult::NotSupported, "capture cannot be paused");
    }
    state_.paused = true;
    return MMResult::NoError;
}

MMResult SimStream::restart() {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::Restart)) return *refused;
    if (state_.direction != Direction::Playback) {
        return core_->fail(state_.direction, MMResult::NotSupported, "capture cannot be paused");
    }
    state_.paused = false;
    return MMResult::NoError;
}

MMResult SimStream::reset() {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::Reset)) return *refused;
    // Capture stops recording until the next start; playback keeps its pause state.
    state_.started = false;
    state_.returnAll();
    return MMResult::NoError;
}

MMResult SimStream::close() {
    std::lock_guard lock(core_->mutex);
    if (auto refused = enter(SimCall::Close)) return *refused;
    if (!state_.queue.empty()) {
        return core_->fail(state_.direction, MMResult::StillPlaying,
                           std::to_string(state_.queue.size()) + " buffers are still queued");
    }
    closeLocked();
    return MMResult::NoError;
}

}  // namespace platform::sim::detail
