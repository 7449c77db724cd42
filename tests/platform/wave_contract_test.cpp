// The stream contract of the platform layer (QueuedWaveStream), run against both backends: the
// simulated card on its manual clock, and the ALSA driver on alsa-lib's file plugin over a null
// slave. Whatever a component may rely on of one backend, it may rely on of the other: header
// rules, result codes, queue order, reset and close, messages and identities, failure texts.

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "file_pcms.h"
#include "platform/MessageLoop.h"
#include "platform/StreamQueue.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaWaveDriver.h"
#include "platform/sim/SimCard.h"
#include "platform_test_support.h"

namespace {

using namespace platform;
using platformtest::Messages;
using platformtest::pcm;
using platformtest::Pool;
using platformtest::Recorder;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new filepcm::Environment);

constexpr Direction kDirections[] = {Direction::Capture, Direction::Playback};
constexpr uint32_t kBufferBytes = 4400;  // 1100 frames of 16-bit stereo: 25 ms

const char* name(Direction d) {
    return d == Direction::Capture ? "capture" : "playback";
}

// The simulated card on its manual clock: time passes only when the test lets it.
struct SimulatedCard {
    static constexpr const char* kName = "SimulatedCard";
    sim::SimCard card{sim::SimClock::Manual};
    WaveDriver& driver() { return card; }
    void letTimePass(MessageLoop&) { card.advance(441); }  // 10 ms of the card's clock
};

// The ALSA driver on the file plugin. Its devices are not paced: a started capture or an unpaused
// playback completes its buffers as fast as the driver thread moves them.
struct AlsaFilePlugin {
    static constexpr const char* kName = "AlsaFilePlugin";
    alsa::AlsaWaveDriver alsa{filepcm::kCapturePcm, filepcm::kPlaybackPcm};
    WaveDriver& driver() { return alsa; }
    void letTimePass(MessageLoop& loop) {  // up to 10 ms, less when a message comes in
        pollfd fd{loop.wakeFd(), POLLIN, 0};
        ::poll(&fd, 1, 10);
    }
};

struct BackendNames {
    template <class Backend>
    static std::string GetName(int) {
        return Backend::kName;
    }
};

template <class Backend>
class WaveContract : public ::testing::Test {
  protected:
    ~WaveContract() override { loop.unregisterTarget(target); }

    MMResult open(Direction d, Backend& on) {
        return on.driver().open(d, kWaveMapper, pcm(2, 16), loop, target, stream);
    }
    MMResult open(Direction d) { return open(d, backend); }

    // Opens `d` with every header of `pool` prepared, so that what is queued stays queued:
    // capture is not started, playback is paused.
    void openHolding(Direction d, Pool& pool) {
        ASSERT_EQ(open(d), MMResult::NoError);
        for (WaveHeader& h : pool.headers) ASSERT_EQ(stream->prepareHeader(h), MMResult::NoError);
        if (d == Direction::Playback) {
            ASSERT_EQ(stream->pause(), MMResult::NoError);
        }
    }
    void queue(Pool& pool, std::initializer_list<size_t> which) {
        for (size_t i : which) ASSERT_EQ(stream->addBuffer(pool.headers[i]), MMResult::NoError);
    }

    // Dispatches messages and lets time pass until `done` holds; false if it still does not
    // after a generous deadline.
    bool waitUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            loop.pump();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            backend.letTimePass(loop);
        }
    }
    // Lets about `steps` × 10 ms pass, dispatching messages: for what must not happen.
    void letTimePass(int steps) {
        for (int i = 0; i < steps; ++i) {
            backend.letTimePass(loop);
            loop.pump();
        }
    }
    Messages pumped() {
        recorder.got.clear();
        loop.pump();
        return recorder.got;
    }
    std::string text(Direction d, MMResult code) { return backend.driver().errorText(d, code); }

    // Declared in this order so that they go in the reverse one: the stream returns its buffers
    // before the pool goes, and the driver (which may still post) goes before the loop.
    MessageLoop loop;
    Backend backend;
    Recorder recorder;
    TargetId target = loop.registerTarget(&recorder);
    Pool pool{4, kBufferBytes};
    std::unique_ptr<WaveStream> stream;
};

using Backends = ::testing::Types<SimulatedCard, AlsaFilePlugin>;
TYPED_TEST_SUITE(WaveContract, Backends, BackendNames);

// --- Messages ------------------------------------------------------------------------------------

TYPED_TEST(WaveContract, MessagesCarryTheStreamsIdentityWhichNoLaterStreamReuses) {
    for (Direction d : kDirections) {
        SCOPED_TRACE(name(d));
        ASSERT_EQ(this->open(d), MMResult::NoError);
        const uintptr_t first = streamIdentity(*this->stream);
        EXPECT_NE(first, 0u);
        EXPECT_EQ(this->pumped(), (Messages{{openMessage(d), first, 0}}));
        ASSERT_EQ(this->stream->close(), MMResult::NoError);
        this->stream.reset();
        // The new stream is likely to sit where the old one was; its identity still differs.
        ASSERT_EQ(this->open(d), MMResult::NoError);
        const uintptr_t second = streamIdentity(*this->stream);
        EXPECT_NE(second, first);
        ASSERT_EQ(this->stream->close(), MMResult::NoError);
        EXPECT_EQ(this->pumped(), (Messages{{closeMessage(d), first, 0},
                                            {openMessage(d), second, 0},
                                            {closeMessage(d), second, 0}}));
        this->stream.reset();
    }
}

TYPED_TEST(WaveContract, BuffersCompleteInQueueOrderAndComeBackDone) {
    for (Direction d : kDirections) {
        SCOPED_TRACE(name(d));
        Pool pool(3, kBufferBytes);
        ASSERT_EQ(this->open(d), MMResult::NoError);
        for (WaveHeader& h : pool.headers)
            ASSERT_EQ(this->stream->prepareHeader(h), MMResult::NoError);
        this->queue(pool, {1, 0, 2});
        if (d == Direction::Capture) {
            ASSERT_EQ(this->stream->start(), MMResult::NoError);
        }
        const uintptr_t id = streamIdentity(*this->stream);
        ASSERT_TRUE(
            this->waitUntil([&] { return this->recorder.headers(doneMessage(d)).size() == 3; }));
        ASSERT_EQ(this->stream->reset(), MMResult::NoError);
        ASSERT_EQ(this->stream->close(), MMResult::NoError);
        ASSERT_TRUE(this->waitUntil([&] {
            return !this->recorder.got.empty() &&
                   this->recorder.got.back().message == closeMessage(d);
        }));

        EXPECT_EQ(this->recorder.headers(doneMessage(d)),
                  (std::vector<uintptr_t>{pool.address(1), pool.address(0), pool.address(2)}));
        for (const WaveHeader& h : pool.headers) {
            EXPECT_EQ(h.flags, kHeaderPrepared | kHeaderDone);
            if (d == Direction::Capture) {
                EXPECT_EQ(h.bytesRecorded, kBufferBytes);
            }
        }
        EXPECT_EQ(this->recorder.got.front(), (platformtest::Message{openMessage(d), id, 0}));
        for (const platformtest::Message& m : this->recorder.got) EXPECT_EQ(m.param1, id);
        this->recorder.got.clear();
        this->stream.reset();
    }
}

// --- Header rules and result codes ---------------------------------------------------------------

TYPED_TEST(WaveContract, HeaderRulesProtectTheQueue) {
    for (Direction d : kDirections) {
        SCOPED_TRACE(name(d));
        Pool pool(2, kBufferBytes);
        ASSERT_EQ(this->open(d), MMResult::NoError);
        WaveStream& s = *this->stream;
        WaveHeader& h = pool.headers[0];
        EXPECT_EQ(s.addBuffer(h), MMResult::Unprepared);
        WaveHeader noBuffer{};
        EXPECT_EQ(s.prepareHeader(noBuffer), MMResult::InvalidParam);
        WaveHeader noLength{pool.data[1].data(), 0};
        EXPECT_EQ(s.prepareHeader(noLength), MMResult::InvalidParam);
        WaveHeader tiny{pool.data[1].data(), 3};  // less than one 16-bit stereo frame
        ASSERT_EQ(s.prepareHeader(tiny), MMResult::NoError);
        EXPECT_EQ(s.addBuffer(tiny), MMResult::InvalidParam);

        ASSERT_EQ(s.prepareHeader(h), MMResult::NoError);
        if (d == Direction::Playback) {
            ASSERT_EQ(s.pause(), MMResult::NoError);
        }
        ASSERT_EQ(s.addBuffer(h), MMResult::NoError);
        // Once queued, the driver holds the header whatever its flags say: a component may have
        // rewritten them, and queueing it twice would hand the same bytes out twice.
        const struct {
            const char* flags;
            uint32_t value;
        } scribbles[] = {
            {"as queued", h.flags}, {"cleared", 0}, {"prepared only", kHeaderPrepared}};
        for (const auto& c : scribbles) {
            SCOPED_TRACE(c.flags);
            h.flags = c.value;
            EXPECT_EQ(s.addBuffer(h), MMResult::StillPlaying);
            EXPECT_EQ(s.prepareHeader(h), MMResult::StillPlaying);
            EXPECT_EQ(s.unprepareHeader(h), MMResult::StillPlaying);
        }
        EXPECT_NE(this->text(d, MMResult::StillPlaying).find("queued"), std::string::npos);

        ASSERT_EQ(s.reset(), MMResult::NoError);
        EXPECT_EQ(s.unprepareHeader(h), MMResult::NoError);
        EXPECT_EQ(h.flags, kHeaderDone);
        this->pumped();
        EXPECT_EQ(this->recorder.headers(doneMessage(d)), std::vector<uintptr_t>{pool.address(0)});
        ASSERT_EQ(s.close(), MMResult::NoError);
        this->stream.reset();
    }
}

TYPED_TEST(WaveContract, AFullQueueRefusesWithNoMemAndSaysHowMuchItHolds) {
    for (Direction d : kDirections) {
        SCOPED_TRACE(name(d));
        Pool pool(kMaxQueuedBuffers + 1, 400);
        this->openHolding(d, pool);
        for (size_t i = 0; i < kMaxQueuedBuffers; ++i) {
            ASSERT_EQ(this->stream->addBuffer(pool.headers[i]), MMResult::NoError) << i;
        }
        EXPECT_EQ(this->stream->addBuffer(pool.headers.back()), MMResult::NoMem);
        const std::string text = this->text(d, MMResult::NoMem);
        EXPECT_EQ(text.rfind(standardErrorText(MMResult::NoMem), 0), 0u) << text;
        EXPECT_NE(text.find("64 buffers"), std::string::npos) << text;
        EXPECT_EQ(pool.headers.back().flags, kHeaderPrepared);  // refused: untouched
        ASSERT_EQ(this->stream->reset(), MMResult::NoError);
        ASSERT_EQ(this->stream->close(), MMResult::NoError);
        this->stream.reset();
    }
}

TYPED_TEST(WaveContract, ClosedStreamRefusesEveryCallWithInvalidHandle) {
    using Call = MMResult (*)(WaveStream&, WaveHeader&);
    const struct {
        const char* call;
        Call make;
    } calls[] = {
        {"prepareHeader", [](WaveStream& s, WaveHeader& h) { return s.prepareHeader(h); }},
        {"unprepareHeader", [](WaveStream& s, WaveHeader& h) { return s.unprepareHeader(h); }},
        {"addBuffer", [](WaveStream& s, WaveHeader& h) { return s.addBuffer(h); }},
        {"start", [](WaveStream& s, WaveHeader&) { return s.start(); }},
        {"pause", [](WaveStream& s, WaveHeader&) { return s.pause(); }},
        {"restart", [](WaveStream& s, WaveHeader&) { return s.restart(); }},
        {"reset", [](WaveStream& s, WaveHeader&) { return s.reset(); }},
        {"close", [](WaveStream& s, WaveHeader&) { return s.close(); }},
    };
    for (Direction d : kDirections) {
        SCOPED_TRACE(name(d));
        ASSERT_EQ(this->open(d), MMResult::NoError);
        WaveHeader& h = this->pool.headers[0];
        ASSERT_EQ(this->stream->prepareHeader(h), MMResult::NoError);
        ASSERT_EQ(this->stream->close(), MMResult::NoError);
        this->pumped();
        for (const auto& c : calls) {
            EXPECT_EQ(c.make(*this->stream, h), MMResult::InvalidHandle) << c.call;
            const std::string text = this->text(d, MMResult::InvalidHandle);
            EXPECT_NE(text.find(std::string(c.call) + "(\""), std::string::npos) << text;
            EXPECT_NE(text.find("the stream is closed"), std::string::npos) << text;
        }
        EXPECT_TRUE(this->pumped().empty());
        this->stream.reset();
    }
}

TYPED_TEST(WaveContract, CallsOfTheOtherDirectionAreNotSupported) {
    ASSERT_EQ(this->open(Direction::Capture), MMResult::NoError);
    EXPECT_EQ(this->stream->pause(), MMResult::NotSupported);
    EXPECT_EQ(this->stream->restart(), MMResult::NotSupported);
    ASSERT_EQ(this->stream->close(), MMResult::NoError);
    ASSERT_EQ(this->open(Direction::Playback), MMResult::NoError);
    EXPECT_EQ(this->stream->start(), MMResult::NotSupported);
    EXPECT_NE(this->text(Direction::Playback, MMResult::NotSupported).find("start(\""),
              std::string::npos);
    ASSERT_EQ(this->stream->close(), MMResult::NoError);
}

// --- Reset and close -----------------------------------------------------------------------------

TYPED_TEST(WaveContract, ResetReturnsEveryBufferInQueueOrderBeforeItReturns) {
    for (Direction d : kDirections) {
        SCOPED_TRACE(name(d));
        this->openHolding(d, this->pool);
        this->queue(this->pool, {2, 0, 3});
        const uintptr_t id = streamIdentity(*this->stream);
        this->pumped();

        EXPECT_EQ(this->stream->close(), MMResult::StillPlaying);
        const std::string text = this->text(d, MMResult::StillPlaying);
        EXPECT_EQ(text.rfind(standardErrorText(MMResult::StillPlaying), 0), 0u) << text;
        EXPECT_NE(text.find("3 buffers are still queued"), std::string::npos) << text;

        ASSERT_EQ(this->stream->reset(), MMResult::NoError);
        // Returned by the time reset() is back, before any message is dispatched.
        for (size_t i : {2, 0, 3}) {
            EXPECT_EQ(this->pool.headers[i].flags, kHeaderPrepared | kHeaderDone);
            if (d == Direction::Capture) {
                EXPECT_EQ(this->pool.headers[i].bytesRecorded, 0u);
            }
        }
        ASSERT_EQ(this->stream->close(), MMResult::NoError);
        EXPECT_EQ(this->pumped(), (Messages{{doneMessage(d), id, this->pool.address(2)},
                                            {doneMessage(d), id, this->pool.address(0)},
                                            {doneMessage(d), id, this->pool.address(3)},
                                            {closeMessage(d), id, 0}}));
        this->stream.reset();
    }
}

TYPED_TEST(WaveContract, DestroyingAnOpenStreamReturnsItsBuffersThenClosesIt) {
    for (Direction d : kDirections) {
        SCOPED_TRACE(name(d));
        this->openHolding(d, this->pool);
        this->queue(this->pool, {0, 1});
        const uintptr_t id = streamIdentity(*this->stream);
        this->pumped();
        this->stream.reset();
        EXPECT_EQ(this->pumped(), (Messages{{doneMessage(d), id, this->pool.address(0)},
                                            {doneMessage(d), id, this->pool.address(1)},
                                            {closeMessage(d), id, 0}}));
    }
}

TYPED_TEST(WaveContract, AStreamOutlivingItsDriverStaysUsable) {
    {
        TypeParam other;
        ASSERT_EQ(this->open(Direction::Capture, other), MMResult::NoError);
        ASSERT_EQ(this->stream->prepareHeader(this->pool.headers[0]), MMResult::NoError);
        this->queue(this->pool, {0});
    }
    const uintptr_t id = streamIdentity(*this->stream);
    this->pumped();
    EXPECT_EQ(this->stream->reset(), MMResult::NoError);
    EXPECT_EQ(this->stream->close(), MMResult::NoError);
    EXPECT_EQ(this->pumped(), (Messages{{WaveMessage::CaptureData, id, this->pool.address(0)},
                                        {WaveMessage::CaptureClose, id, 0}}));
}

// --- Running -------------------------------------------------------------------------------------

TYPED_TEST(WaveContract, ResetStopsRecordingUntilTheNextStart) {
    ASSERT_EQ(this->open(Direction::Capture), MMResult::NoError);
    WaveHeader& h = this->pool.headers[0];
    ASSERT_EQ(this->stream->prepareHeader(h), MMResult::NoError);
    ASSERT_EQ(this->stream->start(), MMResult::NoError);
    ASSERT_EQ(this->stream->reset(), MMResult::NoError);
    this->queue(this->pool, {0});
    this->letTimePass(20);
    EXPECT_EQ(h.bytesRecorded, 0u);
    EXPECT_TRUE(this->recorder.headers(WaveMessage::CaptureData).empty());
    ASSERT_EQ(this->stream->start(), MMResult::NoError);
    ASSERT_TRUE(this->waitUntil(
        [&] { return this->recorder.headers(WaveMessage::CaptureData).size() == 1; }));
    EXPECT_EQ(h.bytesRecorded, kBufferBytes);
}

TYPED_TEST(WaveContract, PauseHoldsPlaybackThroughResetUntilRestart) {
    this->openHolding(Direction::Playback, this->pool);
    const auto done = [&] { return this->recorder.headers(WaveMessage::PlaybackDone).size(); };
    this->queue(this->pool, {0, 1});
    this->letTimePass(20);
    EXPECT_EQ(done(), 0u);
    ASSERT_EQ(this->stream->reset(), MMResult::NoError);
    this->loop.pump();
    EXPECT_EQ(done(), 2u);

    this->queue(this->pool, {0, 1});
    this->letTimePass(20);
    EXPECT_EQ(done(), 2u) << "a reset does not resume a paused stream";
    ASSERT_EQ(this->stream->restart(), MMResult::NoError);
    ASSERT_TRUE(this->waitUntil([&] { return done() == 4; }));
}

// A driver thread that cannot post a completion fails its stream rather than leave the component
// waiting for a buffer that never comes back.
TYPED_TEST(WaveContract, AFullMessageLoopFailsTheStreamWithAText) {
    MessageLoop small(2);  // the open message and one completion
    Pool pool(3, kBufferBytes);
    std::unique_ptr<WaveStream> s;
    ASSERT_EQ(this->backend.driver().open(Direction::Capture, kWaveMapper, pcm(2, 16), small,
                                          kNoTarget, s),
              MMResult::NoError);
    for (WaveHeader& h : pool.headers) {
        ASSERT_EQ(s->prepareHeader(h), MMResult::NoError);
        ASSERT_EQ(s->addBuffer(h), MMResult::NoError);
    }
    ASSERT_EQ(s->start(), MMResult::NoError);
    // start() of a running capture succeeds until the stream has failed.
    ASSERT_TRUE(this->waitUntil([&] { return s->start() == MMResult::Error; }));

    EXPECT_GE(small.dropped(), 1u);
    const std::string text = this->text(Direction::Capture, MMResult::Error);
    EXPECT_NE(text.find("the message loop is full"), std::string::npos) << text;
    for (const WaveHeader& h : pool.headers) EXPECT_EQ(h.flags, kHeaderPrepared | kHeaderDone);
    EXPECT_EQ(s->addBuffer(pool.headers[0]), MMResult::Error);
    EXPECT_EQ(s->reset(), MMResult::NoError);
    EXPECT_EQ(s->close(), MMResult::NoError);
}

}  // namespace
