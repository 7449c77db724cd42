#include "platform/MessageLoop.h"

#include <algorithm>
#include <bit>

namespace platform {

MessageLoop::MessageLoop(size_t capacity)
    : mask_(std::bit_ceil(std::max<size_t>(capacity, 2)) - 1),
      cells_(std::make_unique<Cell[]>(mask_ + 1)) {
    for (size_t i = 0; i <= mask_; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
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

bool MessageLoop::post(TargetId target, uint32_t message, uintptr_t param1, uintptr_t param2) {
    size_t ticket = nextPost_.load(std::memory_order_relaxed);
    Cell* cell = nullptr;
    for (;;) {
        cell = &cells_[ticket & mask_];
        const size_t sequence = cell->sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::ptrdiff_t>(sequence - ticket);
        if (lag == 0) {
            // The slot is free for this ticket: claim the ticket (on failure `ticket` is reloaded).
            if (nextPost_.compare_exchange_weak(ticket, ticket + 1, std::memory_order_relaxed)) {
                break;
            }
        } else if (lag < 0) {
            // The slot still holds the message one lap behind: the ring is full.
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return false;
        } else {
            ticket = nextPost_.load(std::memory_order_relaxed);  // another post took the ticket
        }
    }
    cell->message = {target, message, param1, param2};
    cell->sequence.store(ticket + 1, std::memory_order_release);
    wake_.signal();
    return true;
}

bool MessageLoop::ready() const {
    const size_t ticket = nextDispatch_.load(std::memory_order_relaxed);
    return cells_[ticket & mask_].sequence.load(std::memory_order_acquire) == ticket + 1;
}

bool MessageLoop::dispatchOne() {
    // With nothing ready the descriptor is cleared, and the ring looked at once more: a post that
    // completed just before the clear had its signal swallowed. (One still writing signals later.)
    if (!ready()) {
        wake_.clear();
        if (!ready()) return false;
    }
    const size_t ticket = nextDispatch_.load(std::memory_order_relaxed);
    Cell& cell = cells_[ticket & mask_];
    const Message m = cell.message;
    cell.sequence.store(ticket + mask_ + 1, std::memory_order_release);  // free for the next lap
    nextDispatch_.store(ticket + 1, std::memory_order_relaxed);
    if (!ready()) {  // the descriptor stays readable only while more is ready
        wake_.clear();
        if (ready()) wake_.signal();
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
    return nextPost_.load(std::memory_order_relaxed) -
           nextDispatch_.load(std::memory_order_relaxed);
}

}  // namespace platform
