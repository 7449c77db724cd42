// Capture in its steady state allocates nothing: this binary replaces the global operator new with
// one that counts, and a run of deliveries after warm-up must leave the count at zero.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "support/CountingNew.h"
#include "wave_test_support.h"

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

    const long before = testing_support::allocationCount();
    for (int i = 0; i < 200; ++i) {
        card.completeBuffers(1);
        loop.pump();
    }
    const long during = testing_support::allocationCount() - before;

    EXPECT_EQ(during, 0);
    EXPECT_EQ(delivered, 208);
    EXPECT_EQ(AudioIn1->QueuedCount(), 4);
    EXPECT_NE(checksum, 0);
}

// Playback likewise: a done message, the refill and the write allocate nothing.
TEST(SteadyStateTest, RefillsAllocateNothing) {
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    auto AudioOut1 = std::make_unique<audio::TAudioOut>(card, loop);
    AudioOut1->setBufferSize(22000);
    AudioOut1->setFrameRate(44100);
    AudioOut1->OnFillBuffer = [](std::byte* buffer, int32_t& size) {
        std::fill(buffer, buffer + size, std::byte{1});
        return true;
    };
    ASSERT_TRUE(AudioOut1->StartDevice(&AudioOut1));
    auto playOne = [&] {
        card.advance(11000);
        loop.pump();
    };
    for (int i = 0; i < 8; ++i) playOne();

    const long before = testing_support::allocationCount();
    for (int i = 0; i < 200; ++i) playOne();
    EXPECT_EQ(testing_support::allocationCount() - before, 0);
    EXPECT_EQ(AudioOut1->DoneCount(), 208);
}

}  // namespace
