// The card's clock must not allocate once buffers circulate. This binary replaces the global
// operator new with a counting one (tests/support); it holds only this test.
#include <gtest/gtest.h>

#include <memory>

#include "platform/sim/SimCard.h"
#include "platform_test_support.h"
#include "support/CountingNew.h"

namespace {

using namespace platform;
using namespace platform::sim;

// Re-queues every returned buffer on the stream it came from.
struct Requeuer final : MessageTarget {
    WaveStream* capture = nullptr;
    WaveStream* playback = nullptr;
    void handleMessage(uint32_t message, uintptr_t, uintptr_t header) override {
        auto* h = reinterpret_cast<WaveHeader*>(header);  // null in open and close messages
        if (message == messageId(WaveMessage::CaptureData)) capture->addBuffer(*h);
        if (message == messageId(WaveMessage::PlaybackDone)) playback->addBuffer(*h);
    }
};

TEST(SimCardAllocation, SteadyStateCaptureAndPlaybackAllocateNothing) {
    MessageLoop loop;
    Requeuer target;
    const TargetId id = loop.registerTarget(&target);
    SimCard card;
    card.setSource(makeLoopback(card));

    platformtest::Pool captured(4, 11025 * 4);
    platformtest::Pool played(4, 11000 * 2);
    std::unique_ptr<WaveStream> in, out;
    ASSERT_EQ(card.open(Direction::Capture, 0, platformtest::pcm(2, 16), loop, id, in),
              MMResult::NoError);
    ASSERT_EQ(card.open(Direction::Playback, 0, platformtest::pcm(1, 16), loop, id, out),
              MMResult::NoError);
    target.capture = in.get();
    target.playback = out.get();
    for (auto& h : captured.headers) {
        ASSERT_EQ(in->prepareHeader(h), MMResult::NoError);
        ASSERT_EQ(in->addBuffer(h), MMResult::NoError);
    }
    for (auto& h : played.headers) {
        ASSERT_EQ(out->prepareHeader(h), MMResult::NoError);
        ASSERT_EQ(out->addBuffer(h), MMResult::NoError);
    }
    ASSERT_EQ(in->start(), MMResult::NoError);
    card.advance(30000);
    loop.pump();

    long before = testing_support::allocationCount();
    for (int round = 0; round < 50; ++round) {
        card.advance(5000);
        card.completeBuffers(1);
        loop.pump();
    }
    EXPECT_EQ(testing_support::allocationCount() - before, 0) << "loopback";

    card.setSource(makeStereo(makeSquare(441, 1000), makeSine(1000, 1000)));
    before = testing_support::allocationCount();
    for (int round = 0; round < 50; ++round) {
        card.advance(5000);
        loop.pump();
    }
    EXPECT_EQ(testing_support::allocationCount() - before, 0) << "generated signal";
    EXPECT_EQ(card.queuedBuffers(Direction::Capture), 4u);  // everything kept circulating
    EXPECT_EQ(card.queuedBuffers(Direction::Playback), 4u);
}

}  // namespace
