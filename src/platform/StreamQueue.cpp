#include "platform/StreamQueue.h"

#include <algorithm>
#include <utility>

namespace platform {

bool StreamQueue::contains(const WaveHeader* header) const {
    for (size_t i = 0; i < count_; ++i) {
        if (at(i) == header) return true;
    }
    return false;
}

void StreamQueue::push(WaveHeader& header) {
    if (direction_ == Direction::Capture) header.bytesRecorded = 0;
    header.flags = (header.flags | kHeaderInQueue) & ~kHeaderDone;
    ring_[(head_ + count_++) % ring_.size()] = &header;
}

void StreamQueue::advanceFront(uint32_t bytes) {
    WaveHeader& header = *ring_[head_];
    frontBytes_ += bytes;
    if (direction_ == Direction::Capture) header.bytesRecorded = frontBytes_;
    if (header.bufferLength - frontBytes_ < frameBytes_) completeFront();
}

void StreamQueue::completeFront() {
    WaveHeader* header = std::exchange(ring_[head_], nullptr);
    head_ = (head_ + 1) % ring_.size();
    --count_;
    frontBytes_ = 0;
    header->flags = (header->flags | kHeaderDone) & ~kHeaderInQueue;
    const auto address = reinterpret_cast<uintptr_t>(header);
    // A full loop means the UI thread is far behind; the component would wait for this buffer
    // forever, so the stream fails and says why. Losses after that are only counted by the loop.
    if (!loop_.post(notify_, messageId(doneMessage(direction_)), identity_, address) && !failed_) {
        fail({"MessageLoop::post: the message loop is full; the completion of a buffer was lost"});
    }
}

void StreamQueue::returnAll() {
    while (count_ > 0) completeFront();
}

void StreamQueue::fail(std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) {
        if (failed_) break;
        const size_t n = std::min(part.size(), failure_.size() - failureLength_);
        failureLength_ += part.copy(failure_.data() + failureLength_, n);
    }
    failed_ = true;
    returnAll();
}

}  // namespace platform
