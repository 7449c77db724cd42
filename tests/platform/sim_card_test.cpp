#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimCard.h"
#include "platform_test_support.h"

// What the simulated card does beyond the stream contract (wave_contract_test.cpp): its clock, its
// sources and formats, its refusals and texts, and the faults a test injects.

namespace {

using namespace platform;
using namespace platform::sim;
using platformtest::Messages;
using platformtest::pcm;
using platformtest::Pool;
using platformtest::Recorder;
using platformtest::sample16;

uintptr_t address(const WaveHeader& h) {
    return reinterpret_cast<uintptr_t>(&h);
}

constexpr WaveMessage kData = WaveMessage::CaptureData;
constexpr WaveMessage kDone = WaveMessage::PlaybackDone;

// The capture signal used throughout: a square on the left input and a sine on the right.
std::unique_ptr<StereoSource> testSignal() {
    return makeStereo(makeSquare(441, 12000), makeSine(1000, 20000));
}

class SimCardTest : public ::testing::Test {
  protected:
    MMResult open(Direction d, const WaveFormat& f, std::unique_ptr<WaveStream>& s,
                  uint32_t device = kWaveMapper) {
        return card.open(d, device, f, loop, target, s);
    }

    // Opens a stream and queues the whole pool on it; capture is started unless told otherwise.
    std::unique_ptr<WaveStream> openWith(Pool& pool, Direction d = Direction::Capture,
                                         const WaveFormat& f = pcm(2, 16), bool start = true) {
        std::unique_ptr<WaveStream> s;
        EXPECT_EQ(open(d, f, s), MMResult::NoError);
        for (auto& h : pool.headers) {
            EXPECT_EQ(s->prepareHeader(h), MMResult::NoError);
            EXPECT_EQ(s->addBuffer(h), MMResult::NoError);
        }
        if (start && d == Direction::Capture) {
            EXPECT_EQ(s->start(), MMResult::NoError);
        }
        return s;
    }

    Messages pumped() {
        recorder.got.clear();
        loop.pump();
        return recorder.got;
    }

    // The buffer holds the test signal's frames [first, first + frames) as stereo 16-bit.
    static void expectSignal(const std::vector<std::byte>& bytes, uint64_t first, size_t frames) {
        std::vector<int16_t> expected(2 * frames);
        testSignal()->render(first, expected);
        for (size_t i = 0; i < 2 * frames; ++i) ASSERT_EQ(sample16(bytes, i), expected[i]) << i;
    }

    SimCard card;
    MessageLoop loop;
    Recorder recorder;
    TargetId target = loop.registerTarget(&recorder);
    int sourceSet = (card.setSource(testSignal()), 0);
};

TEST_F(SimCardTest, BuffersFillInQueueOrderFromTheSourceOnTheCardClock) {
    Pool pool(3, 400);  // 100 stereo frames each
    auto s = openWith(pool, Direction::Capture, pcm(2, 16), /*start=*/false);
    const uintptr_t id = streamIdentity(*s);
    EXPECT_EQ(pumped(), (Messages{{WaveMessage::CaptureOpen, id, 0}}));
    card.advance(500);  // not started: nothing is recorded, the clock runs on
    EXPECT_EQ(pool.headers[0].bytesRecorded, 0u);

    ASSERT_EQ(s->start(), MMResult::NoError);
    card.advance(250);
    EXPECT_EQ(pumped(), (Messages{{kData, id, address(pool.headers[0])},
                                  {kData, id, address(pool.headers[1])}}));
    expectSignal(pool.data[0], 500, 100);
    expectSignal(pool.data[1], 600, 100);
    EXPECT_EQ(pool.headers[0].bytesRecorded, 400u);
    EXPECT_EQ(pool.headers[0].flags, kHeaderPrepared | kHeaderDone);
    EXPECT_EQ(pool.headers[2].flags, kHeaderPrepared | kHeaderInQueue);  // half full

    card.advance(1050);  // completes buffer 2; then nothing is queued and the frames are lost
    ASSERT_EQ(s->addBuffer(pool.headers[0]), MMResult::NoError);
    card.advance(100);
    expectSignal(pool.data[2], 700, 100);
    expectSignal(pool.data[0], 1800, 100);

    // A new stream continues the signal where the card's clock stands.
    ASSERT_EQ(s->close(), MMResult::NoError);
    card.advance(37);
    s = openWith(pool);
    card.advance(100);
    expectSignal(pool.data[0], 1937, 100);
}

TEST_F(SimCardTest, CaptureConvertsTheStereoSourceToTheStreamFormat) {
    // Mono takes the left input; 8-bit samples are unsigned with silence at 128.
    for (uint16_t channels : {1, 2}) {
        for (uint16_t bits : {8, 16}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, " << bits << " bits");
            const WaveFormat f = pcm(channels, bits);
            Pool pool(1, 300u * f.blockAlign);
            auto s = openWith(pool, Direction::Capture, f);
            std::vector<int16_t> source(600);
            testSignal()->render(card.now(), source);
            card.advance(300);
            ASSERT_EQ(pool.headers[0].bytesRecorded, 300u * f.blockAlign);
            for (size_t k = 0; k < 300 * channels; ++k) {
                const int16_t v = source[2 * (k / channels) + k % channels];
                if (bits == 16) {
                    ASSERT_EQ(sample16(pool.data[0], k), v) << k;
                }
                if (bits == 8) {
                    ASSERT_EQ(std::to_integer<int>(pool.data[0][k]), (v + 32768) >> 8);
                }
            }
            ASSERT_EQ(s->close(), MMResult::NoError);
        }
    }
}

TEST_F(SimCardTest, CompleteBuffersAdvancesExactlyToTheNthCompletion) {
    EXPECT_EQ(card.completeBuffers(1), 0);  // nothing open
    Pool pool(4, 400);
    auto s = openWith(pool, Direction::Capture, pcm(2, 16), /*start=*/false);
    EXPECT_EQ(card.completeBuffers(1), 0);  // not started
    EXPECT_EQ(card.now(), 0u);
    ASSERT_EQ(s->start(), MMResult::NoError);
    card.advance(30);
    EXPECT_EQ(card.completeBuffers(2), 2);
    EXPECT_EQ(card.now(), 200u);
    EXPECT_EQ(pool.headers[2].bytesRecorded, 0u);
    EXPECT_EQ(card.completeBuffers(5), 2);  // only two were left
    EXPECT_EQ(card.now(), 400u);
    EXPECT_EQ(card.completeBuffers(1), 0);
    EXPECT_EQ(card.now(), 400u);
    expectSignal(pool.data[3], 300, 100);
}

TEST_F(SimCardTest, RefusedOpensSayWhyAndPostNothing) {
    const auto with = [](WaveFormat f, const std::function<void(WaveFormat&)>& change) {
        change(f);
        return f;
    };
    const struct {
        Direction direction;
        uint32_t device;
        WaveFormat format;
        MMResult result;
        const char* reason;
    } cases[] = {
        {Direction::Capture, 1, pcm(2, 16), MMResult::BadDeviceId, "device 1"},
        {Direction::Playback, 7, pcm(1, 16), MMResult::BadDeviceId, "device 7"},
        {Direction::Capture, 0, pcm(2, 16, 22050), MMResult::BadFormat, "22050 frames/s"},
        {Direction::Playback, 0, pcm(1, 16, 48000), MMResult::BadFormat, "48000 frames/s"},
        {Direction::Capture, 0, pcm(3, 16), MMResult::BadFormat, "3 channels"},
        {Direction::Capture, 0, pcm(2, 24), MMResult::BadFormat, "24 bits"},
        {Direction::Playback, 0, pcm(1, 8), MMResult::BadFormat, "8 bits"},
        {Direction::Capture, 0, with(pcm(2, 16), [](auto& f) { f.formatTag = 3; }),
         MMResult::BadFormat, "PCM"},
        {Direction::Capture, 0, with(pcm(2, 16), [](auto& f) { f.blockAlign = 2; }),
         MMResult::BadFormat, "block alignment 2"},
        {Direction::Capture, 0, with(pcm(2, 16), [](auto& f) { f.avgBytesPerSec = 44100; }),
         MMResult::BadFormat, "average bytes per second 44100"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<WaveStream> s;
        EXPECT_EQ(open(c.direction, c.format, s, c.device), c.result) << c.reason;
        EXPECT_EQ(s, nullptr);
        const std::string text = card.errorText(c.direction, c.result);
        EXPECT_EQ(text.find(standardErrorText(c.result)), 0u) << text;
        EXPECT_NE(text.find(" (simulated card: "), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        // The same reason in its parts: the detail apart from the standard text, after the card's
        // name, and nothing of either part lost to the other.
        const platform::ErrorReason why = card.errorReason(c.direction, c.result);
        EXPECT_EQ(why.code, c.result);
        EXPECT_EQ(why.standard, standardErrorText(c.result));
        EXPECT_EQ(why.detail.rfind("simulated card: ", 0), 0u) << why.detail;
        EXPECT_NE(why.detail.find(c.reason), std::string::npos) << why.detail;
        EXPECT_EQ(text, why.standard + " (" + why.detail + ")");
    }
    EXPECT_EQ(loop.pending(), 0u);
    EXPECT_EQ(card.errorText(Direction::Capture, MMResult::NoMem),
              standardErrorText(MMResult::NoMem));
}

TEST_F(SimCardTest, BusyOrAlreadyOpenDeviceIsAllocated) {
    std::unique_ptr<WaveStream> a, b, out;
    card.setBusy(Direction::Capture, true);
    EXPECT_EQ(open(Direction::Capture, pcm(2, 16), a), MMResult::Allocated);
    EXPECT_NE(card.errorText(Direction::Capture, MMResult::Allocated).find("another program"),
              std::string::npos);
    EXPECT_EQ(open(Direction::Playback, pcm(1, 16), out), MMResult::NoError);
    card.setBusy(Direction::Capture, false);
    EXPECT_EQ(open(Direction::Capture, pcm(2, 16), a, 0), MMResult::NoError);
    EXPECT_EQ(open(Direction::Capture, pcm(1, 16), b), MMResult::Allocated);
    ASSERT_EQ(a->close(), MMResult::NoError);
    EXPECT_EQ(open(Direction::Capture, pcm(1, 16), b), MMResult::NoError);
}

TEST_F(SimCardTest, FailNextFailsTheNextCallOnceAndChangesNothing) {
    using Call = std::function<MMResult(WaveStream&, WaveHeader&)>;
    const struct {
        WaveCall call;
        Call make;
        bool queued;  // the header is queued when the call is made
        Direction direction = Direction::Capture;
    } cases[] = {
        {WaveCall::Prepare, [](WaveStream& s, WaveHeader& h) { return s.prepareHeader(h); }, false},
        {WaveCall::Unprepare, [](WaveStream& s, WaveHeader& h) { return s.unprepareHeader(h); },
         false},
        {WaveCall::AddBuffer, [](WaveStream& s, WaveHeader& h) { return s.addBuffer(h); }, false},
        {WaveCall::Start, [](WaveStream& s, WaveHeader&) { return s.start(); }, true},
        {WaveCall::Reset, [](WaveStream& s, WaveHeader&) { return s.reset(); }, true},
        {WaveCall::Close, [](WaveStream& s, WaveHeader&) { return s.close(); }, false},
        {WaveCall::Pause, [](WaveStream& s, WaveHeader&) { return s.pause(); }, true,
         Direction::Playback},
        {WaveCall::Restart, [](WaveStream& s, WaveHeader&) { return s.restart(); }, true,
         Direction::Playback},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.call));
        Pool pool(1, 400);  // outlives the stream, which returns its buffers when destroyed
        std::unique_ptr<WaveStream> s;
        ASSERT_EQ(open(c.direction, pcm(2, 16), s), MMResult::NoError);
        WaveHeader& h = pool.headers[0];
        if (c.call != WaveCall::Prepare) {
            ASSERT_EQ(s->prepareHeader(h), MMResult::NoError);
        }
        if (c.queued) {
            ASSERT_EQ(s->addBuffer(h), MMResult::NoError);
        }
        const uint32_t flags = h.flags;
        pumped();

        card.failNext(c.call, MMResult::NoMem);
        EXPECT_EQ(c.make(*s, h), MMResult::NoMem);
        // An injected failure has no reason to give beyond the standard text.
        EXPECT_EQ(card.errorText(c.direction, MMResult::NoMem), standardErrorText(MMResult::NoMem));
        EXPECT_EQ(card.errorReason(c.direction, MMResult::NoMem).detail, "");
        EXPECT_EQ(h.flags, flags);
        EXPECT_EQ(card.queuedBuffers(c.direction), c.queued ? 1u : 0u);
        if (c.direction == Direction::Capture) {
            card.advance(100);  // a capture whose start failed records nothing
            EXPECT_EQ(h.bytesRecorded, 0u);
        }
        EXPECT_TRUE(pumped().empty());
        EXPECT_EQ(c.make(*s, h), MMResult::NoError);  // once only
    }
    pumped();

    std::unique_ptr<WaveStream> s;
    card.failNext(WaveCall::Open, MMResult::NoDriver);
    EXPECT_EQ(open(Direction::Capture, pcm(2, 16), s), MMResult::NoDriver);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(loop.pending(), 0u);
    EXPECT_EQ(open(Direction::Capture, pcm(2, 16), s), MMResult::NoError);
    card.failNext(WaveCall::Start, MMResult::Error);
    card.failNext(WaveCall::Start, MMResult::NoError);  // withdrawn
    EXPECT_EQ(s->start(), MMResult::NoError);
}

TEST_F(SimCardTest, ResetKeepsWhatAPartlyRecordedBufferHoldsAndTheSignalRunsOn) {
    Pool pool(3, 400);
    auto s = openWith(pool);
    card.advance(130);  // buffer 0 done, buffer 1 holds 30 frames
    pumped();
    ASSERT_EQ(s->reset(), MMResult::NoError);
    const uintptr_t id = streamIdentity(*s);
    EXPECT_EQ(pumped(), (Messages{{kData, id, address(pool.headers[1])},
                                  {kData, id, address(pool.headers[2])}}));
    EXPECT_EQ(pool.headers[1].bytesRecorded, 120u);
    EXPECT_EQ(pool.headers[2].bytesRecorded, 0u);
    expectSignal(pool.data[1], 100, 30);

    // The clock ran on while the stream was stopped; recording resumes where it stands.
    ASSERT_EQ(s->addBuffer(pool.headers[0]), MMResult::NoError);
    card.advance(200);
    ASSERT_EQ(s->start(), MMResult::NoError);
    card.advance(100);
    expectSignal(pool.data[0], 330, 100);
}

TEST_F(SimCardTest, PlaybackReturnsEachBufferAtItsLastFrame) {
    Pool pool(3, 200);  // 100 mono frames each
    auto out = openWith(pool, Direction::Playback, pcm(1, 16));
    const uintptr_t id = streamIdentity(*out);
    card.advance(99);
    EXPECT_EQ(pumped(), (Messages{{WaveMessage::PlaybackOpen, id, 0}}));
    card.advance(1);
    EXPECT_EQ(pumped(), (Messages{{kDone, id, address(pool.headers[0])}}));
    ASSERT_EQ(out->pause(), MMResult::NoError);
    card.advance(1000);
    EXPECT_TRUE(pumped().empty());
    ASSERT_EQ(out->restart(), MMResult::NoError);
    card.advance(150);
    EXPECT_EQ(pumped(), (Messages{{kDone, id, address(pool.headers[1])}}));
}

TEST_F(SimCardTest, LoopbackCapturesWhatWasPlayedAtTheSameFrames) {
    card.setSource(makeLoopback(card));
    for (uint16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        card.advance(10000);              // earlier playback has left the cable
        constexpr size_t kFrames = 3000;  // several steps of the clock
        Pool played(1, static_cast<uint32_t>(kFrames * 2 * channels));
        for (size_t i = 0; i < kFrames * channels; ++i) {
            const auto v = static_cast<uint16_t>(i * 7 - 9000);
            played.data[0][2 * i] = std::byte(v & 0xFF);
            played.data[0][2 * i + 1] = std::byte(v >> 8);
        }
        // Capture runs from 100 frames before the playback buffer to 100 frames after it.
        Pool recorded(1, (kFrames + 200) * 4);
        auto in = openWith(recorded);
        card.advance(100);
        auto out = openWith(played, Direction::Playback, pcm(channels, 16));
        card.advance(kFrames + 100);
        ASSERT_EQ(recorded.headers[0].flags & kHeaderDone, kHeaderDone);
        for (size_t k = 0; k < kFrames + 200; ++k) {
            const bool playing = k >= 100 && k < 100 + kFrames;
            const size_t p = (k - 100) * channels;
            ASSERT_EQ(sample16(recorded.data[0], 2 * k), playing ? sample16(played.data[0], p) : 0);
            ASSERT_EQ(sample16(recorded.data[0], 2 * k + 1),
                      playing ? sample16(played.data[0], p + channels - 1) : 0);
        }
    }
}

}  // namespace
