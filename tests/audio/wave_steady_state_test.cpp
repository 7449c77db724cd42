// Capture in its steady state allocates nothing: this binary replaces the global operator new with
// one that counts, and a run of deliveries after warm-up must leave the count at zero.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "audio/WaveIO.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "wave_test_support.h"

namespace {
std::atomic<long> gAllocations{0};

void* countedAllocation(std::size_t size, std::size_t alignment) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0) size = 1;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) {
    return countedAllocation(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a) {
    return countedAllocation(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace {

TEST(SteadyStateTest, DeliveriesAllocateNothing) {
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    card.setSource(wave_test::makeTestSignal());
    auto AudioIn1 = std::make_unique<audio::TAudioIn>(card, loop);
    wave_test::configureLikeAudioIn1(*AudioIn1);
    long checksum = 0;
    int delivered = 0;
    AudioIn1->OnBufferFilled = [&](std::byte* buffer, int32_t& size) {
        for (int32_t i = 0; i < size; i += 4) checksum += static_cast<long>(buffer[i]);
        ++delivered;
        return true;
    };
    ASSERT_TRUE(AudioIn1->StartDevice(&AudioIn1));
    for (int i = 0; i < 8; ++i) {  // warm-up: the first pass through every path
        card.completeBuffers(1);
        loop.pump();
    }

    const long before = gAllocations.load();
    for (int i = 0; i < 200; ++i) {
        card.completeBuffers(1);
        loop.pump();
    }
    const long during = gAllocations.load() - before;

    EXPECT_EQ(during, 0);
    EXPECT_EQ(delivered, 208);
    EXPECT_EQ(AudioIn1->QueuedCount(), 4);
    EXPECT_NE(checksum, 0);
}

}  // namespace
