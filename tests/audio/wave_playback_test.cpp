// TAudioOut on the simulated card's manual clock: priming, the refill ring, the counters, the way
// a run ends, pause, and each failure with the text and state it leaves. What the card played is
// read back through its loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioOut.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "wave_test_support.h"

namespace {

using audio::TAudioOut;
using platform::Direction;
using platform::MMResult;
using platform::WaveCall;
using platform::sim::SimCard;

constexpr int32_t kBufferBytes = 22000;  // AudioOut1: 16-bit mono, 11000 frames
constexpr uint64_t kBufferFrames = kBufferBytes / 2;

class PlaybackTest : public ::testing::Test {
  public:  // the case tables below arrange through the fixture
    void SetUp() override {
        AudioOut1 = std::make_unique<TAudioOut>(driver, loop);
        AudioOut1->setBufferSize(kBufferBytes);
        AudioOut1->setFrameRate(44100);
        AudioOut1->OnStart = [this] { ++starts; };
        AudioOut1->OnStop = [this] { ++stops; };
        // Each buffer holds its own number in every sample: 1, 2, 3, ...
        answer([](int) { return true; });
    }
    // The handler fills buffer n (1-based) with n and returns accept(n).
    void answer(std::function<bool(int)> accept) {
        AudioOut1->OnFillBuffer = [this, accept](std::byte* buffer, int32_t& size) {
            ++fills;
            if (!accept(fills)) return false;
            std::vector<int16_t> samples(static_cast<size_t>(size) / 2,
                                         static_cast<int16_t>(fills));
            std::memcpy(buffer, samples.data(), samples.size() * 2);
            if (fills == halfBuffer) size /= 2;
            return true;
        };
    }
    void start() {
        ASSERT_TRUE(AudioOut1->StartDevice(&AudioOut1)) << AudioOut1->LastErrorText();
        loop.pump();
    }
    void play(uint64_t frames) {
        card.advance(frames);
        loop.pump();
    }
    // The sample the card played at each frame of [first, first + frames); the card keeps the
    // last 8192 frames it played.
    std::vector<int16_t> played(uint64_t first, size_t frames) {
        std::vector<int16_t> stereo(2 * frames);
        platform::sim::makeLoopback(card)->render(first, stereo);
        std::vector<int16_t> mono(frames);
        for (size_t i = 0; i < frames; ++i) mono[i] = stereo[2 * i];
        return mono;
    }
    size_t cardQueue() const { return card.queuedBuffers(Direction::Playback); }

    platform::MessageLoop loop;
    SimCard card;
    wave_test::CountingDriver driver{card};
    std::unique_ptr<TAudioOut> AudioOut1;
    int starts = 0, stops = 0, fills = 0;
    int halfBuffer = 0;  // the buffer whose handler halves Size
};

TEST_F(PlaybackTest, AcceptingHandlerPlaysGapFreeWithTrueCounters) {
    start();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(AudioOut1->FilledCount(), 4);
    EXPECT_EQ(cardQueue(), 4u);
    for (int i = 1; i <= 5; ++i) {
        play(kBufferFrames);
        EXPECT_EQ(AudioOut1->DoneCount(), i);
        EXPECT_EQ(AudioOut1->FilledCount(), 4 + i);
        EXPECT_EQ(AudioOut1->QueuedCount(), 4);
        EXPECT_EQ(cardQueue(), 4u);
    }
    // Buffers 5 and 6 follow each other without a gap: the refill is the oldest, just finished.
    play(2);
    const std::vector<int16_t> seam = played(5 * kBufferFrames - 2, 4);
    EXPECT_EQ(seam, (std::vector<int16_t>{5, 5, 6, 6})) << "buffers play in the order filled";
    EXPECT_TRUE(AudioOut1->Streaming());
    EXPECT_EQ(stops, 0);
}

TEST_F(PlaybackTest, ShortenedBufferPlaysForItsSizeOnly) {
    halfBuffer = 2;
    start();
    play(kBufferFrames + kBufferFrames / 2 + 1);
    EXPECT_EQ(AudioOut1->DoneCount(), 2);
    EXPECT_EQ(played(kBufferFrames + kBufferFrames / 2 - 1, 2), (std::vector<int16_t>{2, 3}));
}

// The owner decides how a run ends: declining, StopWhenDrained or StopNow.
TEST_F(PlaybackTest, RunEndsAsTheOwnerSays) {
    struct Case {
        const char* name;
        std::function<void(PlaybackTest&)> end;
        int buffersPlayed;  // before the device closes
    };
    const std::vector<Case> cases{
        {"handler declines from the 6th fill",
         [](PlaybackTest& t) { t.answer([](int n) { return n < 6; }); }, 5},
        {"StopWhenDrained", [](PlaybackTest& t) { t.AudioOut1->StopWhenDrained(); }, 4},
        {"StopNow", [](PlaybackTest& t) { t.AudioOut1->StopNow(); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        starts = stops = fills = 0;
        start();
        c.end(*this);
        const int fillsAtEnd = fills;
        int done = 0;
        while (AudioOut1->DeviceOpen() && done < 10) {
            play(kBufferFrames);
            ++done;
        }
        loop.pump();
        EXPECT_FALSE(AudioOut1->DeviceOpen());
        EXPECT_EQ(AudioOut1->DoneCount(), c.buffersPlayed);
        EXPECT_EQ(cardQueue(), 0u);
        EXPECT_FALSE(AudioOut1->Continuing());
        EXPECT_EQ(stops, 1) << "the close message raises OnStop";
        if (c.buffersPlayed == 4) {
            EXPECT_EQ(fills, fillsAtEnd) << "no request after the stop";
        }
        // The component starts again from a closed state with fresh counters.
        answer([](int) { return true; });
        start();
        EXPECT_EQ(AudioOut1->DoneCount(), 0);
        EXPECT_EQ(AudioOut1->FilledCount(), 4);
        AudioOut1->StopNow();
        loop.pump();
    }
}

TEST_F(PlaybackTest, DeclinedPrimingBufferIsNeverWritten) {
    answer([](int n) { return n != 2; });  // the second request is declined
    start();
    EXPECT_EQ(AudioOut1->FilledCount(), 3);
    EXPECT_EQ(cardQueue(), 3u) << "the driver holds what was counted";
    // The declined slot is offered again: after three buffers the device is still playing.
    play(kBufferFrames + 1);
    EXPECT_EQ(played(kBufferFrames - 1, 2), (std::vector<int16_t>{1, 3}));
    play(2 * kBufferFrames);
    EXPECT_TRUE(AudioOut1->DeviceOpen());
}

TEST_F(PlaybackTest, PausedBeforeStartStaysSilentUntilResumed) {
    AudioOut1->setPaused(true);
    start();
    play(2 * kBufferFrames);
    EXPECT_EQ(AudioOut1->DoneCount(), 0);
    EXPECT_EQ(played(kBufferFrames, 4), (std::vector<int16_t>{0, 0, 0, 0}));
    AudioOut1->setPaused(false);
    const uint64_t resumed = card.now();
    play(2);
    EXPECT_EQ(played(resumed, 2), (std::vector<int16_t>{1, 1}));
    play(kBufferFrames);
    EXPECT_EQ(AudioOut1->DoneCount(), 1);
}

TEST_F(PlaybackTest, DonesOfAnEarlierRunCountNowhere) {
    start();
    play(kBufferFrames);
    AudioOut1->StopNow();  // the reset hands back three buffers; their dones are still posted
    start();               // the new run's open is dispatched after them
    EXPECT_EQ(AudioOut1->DoneCount(), 0);
    EXPECT_EQ(AudioOut1->QueuedCount(), 4);
    EXPECT_EQ(cardQueue(), 4u);
    EXPECT_EQ(loop.targetCount(), 1u) << "one notification target, reused";
}

// Every failure: a false result, its text, and the state it leaves.
TEST_F(PlaybackTest, FailuresLeaveTextAndState) {
    driver.text = "driver text";
    struct Case {
        const char* name;
        std::function<void(PlaybackTest&)> arrange;
        const char* text;
        bool openAfter;
    };
    const std::vector<Case> cases{
        {"no handler", [](PlaybackTest& t) { t.AudioOut1->OnFillBuffer = nullptr; },
         "There must be at least one filled buffer", false},
        {"first buffer declined", [](PlaybackTest& t) { t.answer([](int) { return false; }); },
         "There must be at least one filled buffer", false},
        {"open refused", [](PlaybackTest& t) { t.card.setBusy(Direction::Playback, true); },
         "driver text", false},
        {"prepare fails",
         [](PlaybackTest& t) { t.card.failNext(WaveCall::Prepare, MMResult::NoMem); }, "driver text",
         false},
        {"first write fails",
         [](PlaybackTest& t) { t.card.failNext(WaveCall::AddBuffer, MMResult::NoMem); },
         "driver text", false},
        {"already open", [](PlaybackTest& t) { t.start(); }, "Wave output device is already open",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        card.setBusy(Direction::Playback, false);
        c.arrange(*this);
        EXPECT_FALSE(AudioOut1->StartDevice(&AudioOut1));
        EXPECT_EQ(AudioOut1->LastErrorText(), c.text);
        EXPECT_EQ(AudioOut1->DeviceOpen(), c.openAfter);
        if (!c.openAfter) {
            EXPECT_EQ(cardQueue(), 0u);
        }
        AudioOut1->StopNow();
        loop.pump();
    }
}

TEST_F(PlaybackTest, LaterWriteFailureDrainsWhatIsQueued) {
    driver.text = "driver text";
    start();
    card.failNext(WaveCall::AddBuffer, MMResult::Error);
    play(kBufferFrames);  // the refill cannot be written
    EXPECT_EQ(AudioOut1->LastErrorText(), "driver text");
    EXPECT_TRUE(AudioOut1->DeviceOpen()) << "draining";
    EXPECT_FALSE(AudioOut1->Continuing());
    play(3 * kBufferFrames);
    EXPECT_EQ(AudioOut1->DoneCount(), 4);
    EXPECT_FALSE(AudioOut1->DeviceOpen()) << "a buffer that was never written keeps nothing open";
    EXPECT_EQ(stops, 1);
}

}  // namespace
