#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <memory>

#include "platform/sim/SimCard.h"
#include "platform_test_support.h"

namespace {

using namespace platform;
using namespace platform::sim;
using Steady = std::chrono::steady_clock;

// Puts every returned capture buffer straight back, as a continuous capture does.
struct Requeuer final : MessageTarget {
    WaveStream* stream = nullptr;
    int buffers = 0;
    void handleMessage(uint32_t message, uintptr_t, uintptr_t header) override {
        if (message != messageId(WaveMessage::CaptureData)) return;
        ++buffers;
        stream->addBuffer(*reinterpret_cast<WaveHeader*>(header));
    }
};

TEST(SimCardRealtime, DeliversBuffersAtRoughlyTheFrameRate) {
    constexpr int kBuffers = 40;  // of 10 ms each: 0.4 s on the card's clock
    MessageLoop loop;
    Requeuer target;
    SimCard card(SimClock::Realtime);
    platformtest::Pool pool(4, 441 * 4);
    std::unique_ptr<WaveStream> s;
    ASSERT_EQ(card.open(Direction::Capture, kWaveMapper, platformtest::pcm(2, 16), loop,
                        loop.registerTarget(&target), s),
              MMResult::NoError);
    target.stream = s.get();
    for (auto& h : pool.headers) {
        ASSERT_EQ(s->prepareHeader(h), MMResult::NoError);
        ASSERT_EQ(s->addBuffer(h), MMResult::NoError);
    }
    const uint64_t startFrame = card.now();
    const auto begin = Steady::now();
    ASSERT_EQ(s->start(), MMResult::NoError);

    // Pumped as the program's event loop does, woken by the loop's descriptor, until the buffers
    // have come in; the deadline only ends a test that would otherwise hang.
    const auto deadline = begin + std::chrono::seconds(20);
    while (target.buffers < kBuffers && Steady::now() < deadline) {
        pollfd p{loop.wakeFd(), POLLIN, 0};
        ::poll(&p, 1, 100);
        loop.pump();
    }
    ASSERT_GE(target.buffers, kBuffers);
    const double seconds = std::chrono::duration<double>(Steady::now() - begin).count();
    const auto frames = static_cast<double>(card.now() - startFrame);

    // Time on the card's clock against time on the wall clock. Generous bounds: the clock thread
    // may be held up on a busy machine (and makes up at most half a second at once).
    EXPECT_GT(frames, 0.5 * 44100 * seconds);
    EXPECT_LT(frames, 1.5 * 44100 * seconds);
    ASSERT_EQ(s->reset(), MMResult::NoError);
    ASSERT_EQ(s->close(), MMResult::NoError);
}

}  // namespace
