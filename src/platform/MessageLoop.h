// The message loop that carries driver notifications to the UI thread.
//
// Any thread may post; dispatch happens on the thread that pumps, one message at a time. Messages
// go to targets by id, so a target that unregisters never receives a late message: its pending
// messages are dropped. Posting does not allocate while the queue stays within its capacity.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

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
    MessageLoop();
    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // UI thread only.
    TargetId registerTarget(MessageTarget* target);
    void unregisterTarget(TargetId id);
    size_t targetCount() const { return slots_.size() - freeSlots_.size(); }

    // Any thread.
    void post(TargetId target, uint32_t message, uintptr_t param1 = 0, uintptr_t param2 = 0);

    // UI thread. Dispatches the oldest pending message; false when none was pending.
    bool dispatchOne();
    // UI thread. Dispatches until the queue is empty; returns the number dispatched. Messages
    // posted by the handlers themselves are dispatched too.
    int pump();
    size_t pending() const;

    // A file descriptor that becomes readable when messages are pending, for an event loop to
    // watch (eventfd). Reading it is done by dispatchOne/pump.
    int wakeFd() const { return wakeFd_; }

  private:
    struct Message {
        TargetId target;
        uint32_t message;
        uintptr_t param1;
        uintptr_t param2;
    };

    void clearWake();

    // Guards ring_, head_, count_: the queue of posted messages.
    mutable std::mutex mutex_;
    std::vector<Message> ring_;
    size_t head_ = 0;
    size_t count_ = 0;

    // UI thread only. An id is (generation << 16) | (slot + 1); a slot is reused with a new
    // generation, so a message posted to a retired id is never delivered to a newer target.
    struct Slot {
        MessageTarget* target = nullptr;
        uint16_t generation = 0;
    };
    MessageTarget* lookup(TargetId id) const;
    std::vector<Slot> slots_;
    std::vector<uint16_t> freeSlots_;

    int wakeFd_ = -1;
};

}  // namespace platform
