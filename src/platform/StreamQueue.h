// StreamQueue: the buffers queued on one open stream, oldest first, in a fixed ring (queueing and
// completing never allocate), and their completion: done flag, out of the queue, one post, in
// queue order. QueuedWaveStream fills it; a backend's device I/O empties it. Every call is made
// with the stream's lock held (WaveDevice::mutex), on the UI thread or the device's thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/MessageLoop.h"
#include "platform/WaveTypes.h"

namespace platform {

// The most buffers one stream holds (a component's pool has a handful); more fail with NoMem.
inline constexpr size_t kMaxQueuedBuffers = 64;

class StreamQueue {
  public:
    StreamQueue(Direction direction, uint32_t frameBytes, MessageLoop& loop, TargetId notify,
                uintptr_t identity)
        : direction_(direction),
          frameBytes_(frameBytes),
          loop_(loop),
          notify_(notify),
          identity_(identity) {}
    StreamQueue(const StreamQueue&) = delete;
    StreamQueue& operator=(const StreamQueue&) = delete;

    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == ring_.size(); }
    size_t size() const { return count_; }
    WaveHeader* front() const { return count_ == 0 ? nullptr : ring_[head_]; }
    WaveHeader* at(size_t i) const { return ring_[(head_ + i) % ring_.size()]; }  // i < size()
    bool contains(const WaveHeader* header) const;

    // Hands `header` over (not full): in the queue, not done; a capture buffer is emptied.
    void push(WaveHeader& header);

    uint32_t frontBytes() const { return frontBytes_; }  // of the oldest, transferred so far
    // `bytes` more of the oldest buffer were transferred (bytesRecorded follows for capture). With
    // less than a frame of room left it is complete: a partial frame is not recorded or played.
    void advanceFront(uint32_t bytes);
    void completeFront();
    void returnAll();  // oldest first; a partly recorded buffer keeps what it holds

    // The device failed beyond recovery: keeps the joined `parts` as the detail (cut to a fixed
    // buffer, since a driver thread must not allocate; the first failure stays) and returns every
    // buffer, so that the component is not left waiting.
    void fail(std::initializer_list<std::string_view> parts);
    bool failed() const { return failed_; }
    std::string_view failure() const { return {failure_.data(), failureLength_}; }

  private:
    std::array<WaveHeader*, kMaxQueuedBuffers> ring_{};
    size_t head_ = 0;
    size_t count_ = 0;
    uint32_t frontBytes_ = 0;
    bool failed_ = false;
    std::array<char, 256> failure_{};
    size_t failureLength_ = 0;

    const Direction direction_;
    const uint32_t frameBytes_;
    MessageLoop& loop_;
    const TargetId notify_;
    const uintptr_t identity_;
};

}  // namespace platform
