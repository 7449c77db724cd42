// TAudioIn on the simulated card's manual clock: capture runs, the owner's handler, stop requests,
// driver failures and the notification window.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "audio/AudioIn.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "wave_test_support.h"

namespace {

using audio::TAudioIn;
using platform::Direction;
using platform::MMResult;
using platform::WaveCall;
using platform::sim::SimCard;
using namespace wave_test;

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        card.setSource(makeTestSignal());
        AudioIn1 = std::make_unique<TAudioIn>(card, loop);
        configureLikeAudioIn1(*AudioIn1);
        AudioIn1->OnStart = [this] { ++starts; };
        AudioIn1->OnStop = [this] { ++stops; };
    }
    void answer(std::function<bool()> body) {
        AudioIn1->OnBufferFilled = [this, body](std::byte*, int32_t&) {
            ++deliveries;
            return body();
        };
    }
    void start() {
        ASSERT_TRUE(AudioIn1->StartDevice(&AudioIn1)) << AudioIn1->LastErrorText();
        loop.pump();
    }
    void completeOne() {  // one buffer completes and its message is dispatched
        card.completeBuffers(1);
        loop.pump();
    }
    size_t cardQueue() const { return card.queuedBuffers(Direction::Capture); }

    platform::MessageLoop loop;
    SimCard card;
    std::unique_ptr<TAudioIn> AudioIn1;
    int starts = 0, stops = 0, deliveries = 0;
};

// --- The owner's answer decides the run ---------------------------------------------------------

enum class Handler { Accepting, Unassigned, Declining };

class CaptureRunTest : public CaptureTest,
                       public ::testing::WithParamInterface<std::tuple<Handler, int>> {};

TEST_P(CaptureRunTest, HandlerAnswerDecidesWhetherTheRunGoesOn) {
    const auto [handler, n] = GetParam();
    AudioIn1->setNumBuffers(n);
    if (handler != Handler::Unassigned) answer([h = handler] { return h == Handler::Accepting; });
    start();
    EXPECT_EQ(starts, 1);
    if (handler == Handler::Declining) {
        for (int i = 0; i < n; ++i) {
            ASSERT_TRUE(AudioIn1->DeviceOpen()) << "closed after " << i << " returns";
            completeOne();
        }
        EXPECT_EQ(deliveries, n);
        EXPECT_EQ(AudioIn1->DoneCount(), n);
        EXPECT_EQ(AudioIn1->FilledCount(), 0);
        EXPECT_FALSE(AudioIn1->DeviceOpen());
        EXPECT_FALSE(AudioIn1->Continuing());
        EXPECT_EQ(cardQueue(), 0u);
        EXPECT_EQ(stops, 1);
        start();  // the next run
        EXPECT_EQ(starts, 2);
        EXPECT_EQ(AudioIn1->DoneCount(), 0);
        EXPECT_EQ(AudioIn1->QueuedCount(), n);
        return;
    }
    for (int i = 1; i <= 3 * n + 1; ++i) {
        completeOne();
        ASSERT_EQ(AudioIn1->FilledCount(), i);
        ASSERT_EQ(AudioIn1->DoneCount(), i);
        ASSERT_EQ(AudioIn1->QueuedCount(), n);
        ASSERT_EQ(cardQueue(), static_cast<size_t>(n));
    }
    EXPECT_EQ(deliveries, handler == Handler::Accepting ? 3 * n + 1 : 0);
    EXPECT_EQ(stops, 0);
}

INSTANTIATE_TEST_SUITE_P(Handlers, CaptureRunTest,
                         ::testing::Combine(::testing::Values(Handler::Accepting,
                                                              Handler::Unassigned,
                                                              Handler::Declining),
                                            ::testing::Values(2, 4)));

// Declined or accepted, the handler gets the buffer the driver returned, each once, whole.
class DeliveredDataTest : public CaptureTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DeliveredDataTest, HandlerSeesTheSourceSamplesOfTheReturnedBuffer) {
    const bool accept = GetParam();
    std::vector<std::vector<int16_t>> seen;
    AudioIn1->OnBufferFilled = [&](std::byte* buffer, int32_t& size) {
        EXPECT_EQ(size, kBufferBytes);
        seen.push_back(samplesOf(buffer, size));
        size = 7;  // the handler's own copy: the next delivery is not affected
        return accept;
    };
    const uint64_t first = card.now();
    start();
    const size_t returns = accept ? 9 : 4;
    for (size_t i = 0; i < returns; ++i) completeOne();
    ASSERT_EQ(seen.size(), returns);
    for (size_t k = 0; k < returns; ++k) {
        EXPECT_EQ(seen[k], referenceSamples(first + k * kBufferFrames, kBufferFrames)) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, DeliveredDataTest, ::testing::Bool());

// --- Requests from outside and inside a run -----------------------------------------------------

TEST_F(CaptureTest, RequestsDuringARunAreRefusedAndChangeNothing) {
    answer([] { return true; });
    start();
    completeOne();
    const auto snapshot = [this] {
        return std::tuple(AudioIn1->FilledCount(), AudioIn1->QueuedCount(), AudioIn1->DoneCount(),
                          AudioIn1->NextIndex(), AudioIn1->Continuing(), AudioIn1->Streaming(),
                          cardQueue(), loop.targetCount(), AudioIn1->bufferAt(0),
                          AudioIn1->BufferSize());
    };
    const auto before = snapshot();
    EXPECT_FALSE(AudioIn1->StartDevice(&AudioIn1));
    EXPECT_EQ(AudioIn1->LastErrorText(), "Wave Input device is already open");
    // The driver holds the pool: it is neither resized nor freed.
    EXPECT_FALSE(AudioIn1->setBufferSize(8192));
    EXPECT_EQ(AudioIn1->LastErrorText(), "Wave buffer size cannot change while the device is open");
    EXPECT_FALSE(AudioIn1->FreeBuffers());
    EXPECT_EQ(snapshot(), before);
    completeOne();
    EXPECT_EQ(deliveries, 2);
    EXPECT_EQ(starts, 1);

    AudioIn1->StopNow();
    EXPECT_TRUE(AudioIn1->setBufferSize(8192));
    EXPECT_EQ(AudioIn1->BufferSize(), 8192);
}

TEST_F(CaptureTest, StopRequests) {
    answer([] { return true; });
    AudioIn1->StopWhenDrained();  // closed: nothing happens
    AudioIn1->StopNow();
    EXPECT_EQ(loop.pending(), 0u);

    start();
    completeOne();
    AudioIn1->StopWhenDrained();  // the queued buffers come back undelivered, then it closes
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(AudioIn1->DeviceOpen());
        completeOne();
    }
    EXPECT_EQ(deliveries, 1);
    EXPECT_EQ(AudioIn1->DoneCount(), 5);
    EXPECT_FALSE(AudioIn1->DeviceOpen());
    EXPECT_EQ(stops, 1);

    start();
    completeOne();
    AudioIn1->StopNow();  // closes at once; the buffers the reset hands back count nowhere
    EXPECT_FALSE(AudioIn1->DeviceOpen());
    EXPECT_EQ(cardQueue(), 0u);
    loop.pump();
    EXPECT_EQ(deliveries, 2);
    EXPECT_EQ(AudioIn1->DoneCount(), 1);
    EXPECT_EQ(stops, 2);

    ASSERT_TRUE(AudioIn1->OpenDevice(&AudioIn1));  // open, not started: nothing will come back
    AudioIn1->StopWhenDrained();
    EXPECT_FALSE(AudioIn1->DeviceOpen());
    loop.pump();
    EXPECT_EQ(stops, 3);
}

TEST_F(CaptureTest, ReturnsOfAClosedRunNeverReachTheNextRun) {
    std::vector<std::vector<int16_t>> seen;
    AudioIn1->OnBufferFilled = [&](std::byte* buffer, int32_t& size) {
        seen.push_back(samplesOf(buffer, size));
        return true;
    };
    start();
    completeOne();
    AudioIn1->StopNow();  // four returns and the close now wait in the loop
    const uint64_t first = card.now();
    start();  // reopened before the loop has run
    EXPECT_EQ(AudioIn1->DoneCount(), 0);
    EXPECT_EQ(AudioIn1->QueuedCount(), 4);
    for (int i = 0; i < 4; ++i) completeOne();
    ASSERT_EQ(seen.size(), 5u);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(seen[k + 1], referenceSamples(first + k * kBufferFrames, kBufferFrames)) << k;
    }
    EXPECT_EQ(AudioIn1->QueuedCount(), 4);
}

// Handlers that do more than answer; each run must still end with the device closed.
struct HandlerCase {
    const char* name;
    std::function<bool(TAudioIn&)> body;
    int deliveries, filled;
    const char* text;
};

class HandlerActionTest : public CaptureTest, public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(HandlerActionTest, RunEndsWithTheDeviceClosed) {
    const HandlerCase& c = GetParam();
    answer([&] { return c.body(*AudioIn1); });
    start();
    for (int i = 0; i < 4 && AudioIn1->DeviceOpen(); ++i) completeOne();
    EXPECT_EQ(deliveries, c.deliveries);
    EXPECT_EQ(AudioIn1->FilledCount(), c.filled);
    EXPECT_FALSE(AudioIn1->DeviceOpen());
    EXPECT_EQ(cardQueue(), 0u);
    EXPECT_EQ(AudioIn1->LastErrorText(), c.text);
    loop.pump();
    EXPECT_EQ(stops, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, HandlerActionTest,
    ::testing::Values(HandlerCase{"Throws",
                                  [](TAudioIn&) -> bool { throw std::runtime_error("bug"); }, 4, 0,
                                  "Wave input buffer handler failed"},
                      HandlerCase{"StopsNowAndAccepts",
                                  [](TAudioIn& in) { return in.StopNow(), true; }, 1, 1, ""},
                      HandlerCase{"StopsWhenDrainedAndAccepts",
                                  [](TAudioIn& in) { return in.StopWhenDrained(), true; }, 1, 1,
                                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Driver failures ----------------------------------------------------------------------------

struct DriverFailure {
    const char* name;
    std::function<void(SimCard&)> arrange;
    MMResult code;
    const char* prefix;
};

class DriverFailureTest : public CaptureTest,
                          public ::testing::WithParamInterface<DriverFailure> {};

TEST_P(DriverFailureTest, FailedStartLeavesTheDeviceClosedWithTheDriverText) {
    const DriverFailure& f = GetParam();
    f.arrange(card);
    EXPECT_FALSE(AudioIn1->StartDevice(&AudioIn1));
    const std::string text = f.prefix + card.errorText(Direction::Capture, f.code);
    EXPECT_EQ(AudioIn1->LastErrorText(), text);
    EXPECT_EQ(AudioIn1->lastError().context, f.prefix);
    EXPECT_EQ(AudioIn1->lastError().reason.code, f.code);
    EXPECT_FALSE(AudioIn1->DeviceOpen());
    EXPECT_EQ(cardQueue(), 0u);
    loop.pump();
    EXPECT_EQ(starts, stops) << "every open the driver reported is followed by its close";

    card.setBusy(Direction::Capture, false);
    start();  // the card was let go; success leaves the text in place
    EXPECT_EQ(AudioIn1->LastErrorText(), text);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, DriverFailureTest,
    ::testing::Values(
        DriverFailure{"Busy", [](SimCard& c) { c.setBusy(Direction::Capture, true); },
                      MMResult::Allocated, ""},
        DriverFailure{"Open", [](SimCard& c) { c.failNext(WaveCall::Open, MMResult::BadDeviceId); },
                      MMResult::BadDeviceId, ""},
        DriverFailure{"Prepare", [](SimCard& c) { c.failNext(WaveCall::Prepare, MMResult::NoMem); },
                      MMResult::NoMem, ""},
        DriverFailure{"Start", [](SimCard& c) { c.failNext(WaveCall::Start, MMResult::Error); },
                      MMResult::Error, "Error starting wave record: "},
        DriverFailure{"FirstQueueing",
                      [](SimCard& c) { c.failNext(WaveCall::AddBuffer, MMResult::InvalidParam); },
                      MMResult::InvalidParam, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A device that fails during the run hands its buffers back unfilled: none is delivered, and the
// device closes with the failure's reason after the component's own words.
TEST_F(CaptureTest, ADeviceThatFailsDuringTheRunClosesWithItsReason) {
    answer([] { return true; });
    start();
    completeOne();
    card.failDevice(Direction::Capture);
    loop.pump();
    EXPECT_EQ(deliveries, 1);
    EXPECT_FALSE(AudioIn1->DeviceOpen());
    EXPECT_TRUE(AudioIn1->deviceFailed());
    const audio::WaveError& failure = AudioIn1->lastError();
    EXPECT_EQ(failure.context, "Wave input device failed: ");
    EXPECT_EQ(failure.reason.code, MMResult::Error);
    EXPECT_EQ(failure.reason.standard, platform::standardErrorText(MMResult::Error));
    EXPECT_EQ(failure.reason.detail.rfind("simulated card: ", 0), 0u) << failure.reason.detail;
    EXPECT_EQ(AudioIn1->LastErrorText(),
              "Wave input device failed: " + card.errorText(Direction::Capture, MMResult::Error));
}

TEST_F(CaptureTest, FailedRequeueDrainsAndClosesWhenTheRestHasComeBack) {
    answer([] { return true; });
    start();
    card.failNext(WaveCall::AddBuffer, MMResult::NoMem);
    completeOne();
    EXPECT_EQ(AudioIn1->LastErrorText(), card.errorText(Direction::Capture, MMResult::NoMem));
    EXPECT_FALSE(AudioIn1->Continuing());
    EXPECT_EQ(AudioIn1->QueuedCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(AudioIn1->DeviceOpen());
        completeOne();
    }
    EXPECT_EQ(deliveries, 1);
    EXPECT_FALSE(AudioIn1->DeviceOpen());
    EXPECT_EQ(stops, 1);
}

// --- Notification window and lifetime -----------------------------------------------------------

TEST_F(CaptureTest, MessagesGoToWhatTheOwnersVariableHoldsWhenTheyArrive) {
    answer([] { return true; });
    start();
    auto held = std::move(AudioIn1);  // the owner's variable is empty while a buffer returns
    completeOne();
    EXPECT_EQ(held->DoneCount(), 0);
    AudioIn1 = std::move(held);
    completeOne();
    EXPECT_EQ(deliveries, 1);
}

TEST_F(CaptureTest, DestructorClosesAnOpenDevice) {
    answer([] { return true; });
    start();
    completeOne();
    AudioIn1.reset();
    EXPECT_EQ(cardQueue(), 0u);
    EXPECT_EQ(loop.targetCount(), 0u);
    loop.pump();                 // the returns and the close go nowhere
    TAudioIn other(card, loop);  // the card's one capture device is free again
    configureLikeAudioIn1(other);
    EXPECT_TRUE(other.StartDevice()) << other.LastErrorText();
}

TEST_F(CaptureTest, TenThousandRunsKeepOneNotificationTargetAndReportEveryClose) {
    AudioIn1->setBufferSize(512);  // small buffers: cheap to render, same bookkeeping
    answer([] { return false; });
    constexpr int kRuns = 10000;
    for (int run = 0; run < kRuns; ++run) {
        ASSERT_TRUE(AudioIn1->StartDevice()) << run << ": " << AudioIn1->LastErrorText();
        ASSERT_FALSE(AudioIn1->StartDevice());  // the owner's second try on the same pass
        ASSERT_EQ(card.completeBuffers(4), 4);
        loop.pump();
        ASSERT_FALSE(AudioIn1->DeviceOpen()) << run;
        ASSERT_LE(loop.targetCount(), 1u) << run;
    }
    EXPECT_EQ(starts, kRuns);
    EXPECT_EQ(stops, kRuns);
    EXPECT_EQ(deliveries, 4 * kRuns);
}

}  // namespace
