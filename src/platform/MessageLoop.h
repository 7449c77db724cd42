// The message loop that carries driver notifications to the UI thread.
//
// Any thread may post; dispatch happens on the thread that pumps, one message at a time, in the
// order the posts were made. Messages go to targets by id, so a target that unregisters never
// receives a late message: its pending messages are dropped.
//
// The queue is a fixed ring sized at construction; posting claims a slot with one atomic step, so
// it never allocates or blocks. On a full ring the message is dropped and counted, and post
// returns false; a wave stream then fails with a text saying so (StreamQueue) rather than leave a
// component waiting for a buffer that never returns. The default is far above what the program
// has outstanding: a stream has at most kMaxQueuedBuffers completions pending, plus open and close.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WakeEvent.h"

namespace platform {

class MessageTarget {
  public:
    virtual void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) = 0;

  protected:
    ~MessageTarget() = default;
};

using TargetId = uint32_t;
inline constexpr TargetId kNoTarget = 0;

class MessageLoop {
  public:
    static constexpr size_t kDefaultCapacity = 4096;

    // Holds up to `capacity` pending messages (rounded up to a power of two). Throws
    // std::system_error naming eventfd when the wake-up descriptor cannot be made: a loop nobody
    // can be woken by would leave the UI deaf to every driver.
    explicit MessageLoop(size_t capacity = kDefaultCapacity);
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // UI thread only.
    TargetId registerTarget(MessageTarget* target);
    void unregisterTarget(TargetId id);
    size_t targetCount() const { return slots_.size() - freeSlots_.size(); }

    // Any thread; never allocates or blocks. False when the ring is full: the message is dropped
    // and counted.
    bool post(TargetId target, uint32_t message, uintptr_t param1 = 0, uintptr_t param2 = 0);

    // UI thread. Dispatches the oldest pending message; false when none was pending.
    bool dispatchOne();
    // UI thread. Dispatches until the queue is empty; returns the number dispatched. Messages
    // posted by the handlers themselves are dispatched too.
    int pump();
    size_t pending() const;  // posted (or being posted) and not yet dispatched
    // UI thread. Messages taken off the queue since the loop was made, those to retired targets
    // included: a change of this number means that a handler may have run.
    uint64_t dispatched() const { return nextDispatch_.load(std::memory_order_relaxed); }
    size_t capacity() const { return mask_ + 1; }
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }  // ring full

    // A file descriptor that becomes readable when messages are pending, for an event loop to
    // watch (eventfd). Reading it is done by dispatchOne/pump.
    int wakeFd() const { return wake_.fd(); }

  private:
    struct Message {
        TargetId target = kNoTarget;
        uint32_t message = 0;
        uintptr_t param1 = 0;
        uintptr_t param2 = 0;
    };
    // `sequence` is a post's ticket while the cell is free for it, ticket + 1 once it is written.
    struct Cell {
        std::atomic<size_t> sequence{0};
        Message message;
    };

    bool ready() const;  // UI thread: the oldest pending message is fully posted

    // The ring: lock-free, many posting threads, one dispatching thread (Vyukov's bounded queue).
    const size_t mask_;
    const std::unique_ptr<Cell[]> cells_;
    std::atomic<size_t> nextPost_{0};      // ticket of the next post
    std::atomic<size_t> nextDispatch_{0};  // ticket of the next message to dispatch; UI thread
    std::atomic<uint64_t> dropped_{0};

    // UI thread only. An id is (generation << 16) | (slot + 1); a slot is reused with a new
    // generation, so a message posted to a retired id is never delivered to a newer target.
    struct Slot {
        MessageTarget* target = nullptr;
        uint16_t generation = 0;
    };
    MessageTarget* lookup(TargetId id) const;
    std::vector<Slot> slots_;
    std::vector<uint16_t> freeSlots_;

    WakeEvent wake_;
};

}  // namespace platform
