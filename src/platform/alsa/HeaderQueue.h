// HeaderQueue: the buffers queued to a stream, oldest first, in a fixed-capacity ring so that
// queueing and completing a buffer never allocates.
#pragma once

#include <array>
#include <cstddef>

#include "platform/WaveTypes.h"

namespace platform::alsa {

class HeaderQueue {
  public:
    // More than any component queues (a pool has a handful of buffers).
    static constexpr size_t kCapacity = 64;

    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == kCapacity; }
    size_t size() const { return count_; }

    WaveHeader* front() const { return count_ == 0 ? nullptr : ring_[head_]; }
    // False when full.
    bool push(WaveHeader* header) {
        if (full()) return false;
        ring_[(head_ + count_) % kCapacity] = header;
        ++count_;
        return true;
    }
    WaveHeader* pop() {
        if (count_ == 0) return nullptr;
        WaveHeader* header = ring_[head_];
        head_ = (head_ + 1) % kCapacity;
        --count_;
        return header;
    }
    bool contains(const WaveHeader* header) const {
        for (size_t i = 0; i < count_; ++i) {
            if (ring_[(head_ + i) % kCapacity] == header) return true;
        }
        return false;
    }

  private:
    std::array<WaveHeader*, kCapacity> ring_{};
    size_t head_ = 0;
    size_t count_ = 0;
};

}  // namespace platform::alsa
