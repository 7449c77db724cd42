#include "platform/MessageLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

namespace {
constexpr size_t kInitialCapacity = 256;
}

MessageLoop::MessageLoop() : ring_(kInitialCapacity) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

MessageLoop::~MessageLoop() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

TargetId MessageLoop::registerTarget(MessageTarget* target) {
    uint16_t slot;
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        slot = static_cast<uint16_t>(slots_.size());
        slots_.push_back({});
    }
    Slot& s = slots_[slot];
    s.target = target;
    s.generation = static_cast<uint16_t>(s.generation + 1);
    return (static_cast<TargetId>(s.generation) << 16) | (static_cast<TargetId>(slot) + 1);
}

void MessageLoop::unregisterTarget(TargetId id) {
    if (lookup(id) == nullptr) return;
    const uint16_t slot = static_cast<uint16_t>((id & 0xFFFFu) - 1);
    slots_[slot].target = nullptr;
    freeSlots_.push_back(slot);
}

MessageTarget* MessageLoop::lookup(TargetId id) const {
    const uint32_t slot = (id & 0xFFFFu);
    if (slot == 0 || slot > slots_.size()) return nullptr;
    const Slot& s = slots_[slot - 1];
    return s.generation == (id >> 16) ? s.target : nullptr;
}

void MessageLoop::post(TargetId target, uint32_t message, uintptr_t param1, uintptr_t param2) {
    {
        std::lock_guard lock(mutex_);
        if (count_ == ring_.size()) {
            // Grow in order; only reached when the UI thread falls far behind.
            std::vector<Message> bigger(ring_.size() * 2);
            for (size_t i = 0; i < count_; ++i) bigger[i] = ring_[(head_ + i) % ring_.size()];
            ring_.swap(bigger);
            head_ = 0;
        }
        ring_[(head_ + count_) % ring_.size()] = {target, message, param1, param2};
        ++count_;
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

void MessageLoop::clearWake() {
    if (wakeFd_ >= 0) {
        uint64_t value;
        [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
    }
}

bool MessageLoop::dispatchOne() {
    Message m;
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) return false;
        m = ring_[head_];
        head_ = (head_ + 1) % ring_.size();
        --count_;
        if (count_ == 0) clearWake();
    }
    if (MessageTarget* t = lookup(m.target)) t->handleMessage(m.message, m.param1, m.param2);
    return true;
}

int MessageLoop::pump() {
    int n = 0;
    while (dispatchOne()) ++n;
    return n;
}

size_t MessageLoop::pending() const {
    std::lock_guard lock(mutex_);
    return count_;
}

}  // namespace platform
