// The idle passes settle: once a pass over the same input changes nothing, the window waits for
// the next event, shows what passing on would have shown, and every input wakes it.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <functional>

#include "support/WindowFixture.h"
#include "app/Report.h"

namespace {

using namespace platform::sim;
using window_test::kBufferFrames;
using window_test::WindowOnSimCard;

constexpr int kForcedPasses = 12;  // more than any input needs to settle

std::unique_ptr<StereoSource> squareAndSine() {
    return makeStereo(makeSquare(441, 12000), makeSine(220.5, 12000));
}
// 44.1 samples a period: each buffer starts at another phase.
std::unique_ptr<StereoSource> sines() {
    return makeStereo(makeSine(1000, 9000), makeSine(1000, 9000));
}

// Passes until one reports done; returns how many it took, kForcedPasses + 1 when none did.
int settle(WindowOnSimCard& w) {
    int n = 1;
    while (n <= kForcedPasses && (w.form->idlePass(), !w.form->lastPassDone())) ++n;
    return n;
}

TEST(IdleSettle, WaitingOnceSettledShowsWhatPassingOnShows) {
    for (auto* make : {&squareAndSine, &sines}) {
        WindowOnSimCard waiting(make()), forced(make());
        for (int buffer = 0; buffer < 10; ++buffer) {  // 2.5 runs, the last 4 buffers single-shot
            SCOPED_TRACE(testing::Message() << "buffer " << buffer);
            for (WindowOnSimCard* w : {&waiting, &forced})
                if (buffer == 6) window_test::click(w->find<QRadioButton>("RadioButton2"));
            // The pass taking the buffer (and opening a run), the one taking the run's open
            // message, one that changes nothing.
            EXPECT_LE(settle(waiting), 3);
            for (int pass = 0; pass < kForcedPasses; ++pass) forced.form->idlePass();
            const auto shown = [](const WindowOnSimCard& w) {
                return std::pair(app::makeReport({w.form->instrument(), w.form->controls(), 0}),
                                 w.form->screen().image());
            };
            ASSERT_TRUE(shown(waiting) == shown(forced)) << "read-outs, state or screen differ";
            for (WindowOnSimCard* w : {&waiting, &forced}) w->card.advance(kBufferFrames);
        }
    }
}

TEST(IdleSettle, ABufferAClickAResizeAnOpenedRunAndAChangedStateEachWakeTheNextPass) {
    WindowOnSimCard w(squareAndSine());
    const auto wakes = [&](const char* what, const std::function<void()>& input) {
        ASSERT_LE(settle(w), kForcedPasses) << "before " << what;
        input();
        w.form->idlePass();
        EXPECT_FALSE(w.form->lastPassDone()) << what;
    };
    wakes("a buffer", [&] { w.card.advance(kBufferFrames); });
    // Periodic display is on already: the click changes nothing the pass leaves behind.
    wakes("a click", [&] { window_test::click(w.find<QRadioButton>("RadioButton1")); });
    wakes("a resize", [&] {
        w.form->resize(900, w.form->height());
        ASSERT_TRUE(window_test::waitUntil([&] { return w.form->screen().clientWidth() == 900; }));
    });
    // The run ends while the device is held elsewhere; the pass that opens the next one once the
    // device is free and its retry due has no message before it.
    w.card.setBusy(platform::Direction::Capture, true);
    w.passes(5);
    wakes("a run opened", [&] {
        w.card.setBusy(platform::Direction::Capture, false);
        w.now += instrument::kRetryInterval;
    });
    EXPECT_EQ(w.form->instrument().captureRuns, 2u) << "start-up's run and this one";
    // No input counted, but the pass leaves something else behind.
    wakes("the shift set from code", [&] { w.form->instrument().ChannelShift = 12; });
    ASSERT_LE(settle(w), kForcedPasses);
    w.form->idlePass();
    EXPECT_TRUE(w.form->lastPassDone()) << "without input it stays settled";
}

TEST(IdleSettle, OnTheEventLoopEveryBufferIsDrawnAndSettledPassesWait) {
    WindowOnSimCard w(squareAndSine(), app::IdleDriving::EventLoop);
    const instrument::Instrument& s = w.form->instrument();
    ASSERT_TRUE(window_test::waitUntil([&] { return s.AudioIn1->DeviceOpen(); }));
    for (uint64_t buffer = 1; buffer <= 12; ++buffer) {
        w.card.advance(kBufferFrames);
        ASSERT_TRUE(window_test::waitUntil([&] {
            return s.drawnBuffers == buffer && w.form->lastPassDone();
        })) << "buffer "
            << buffer;
        EXPECT_EQ(s.capturedBuffers, buffer);
    }
    EXPECT_EQ(s.captureRuns, 4u) << "start-up opened the first run, the passes the next three";
    window_test::handlePendingEvents();
    const uint64_t passes = w.form->idlePasses();
    window_test::handlePendingEvents();
    EXPECT_EQ(w.form->idlePasses(), passes) << "no pass without an event";
}

// While the device is held elsewhere the passes wait too; the retry timer alone brings the pass
// that opens it once the device is free and the attempt is due.
TEST(IdleSettle, OnTheEventLoopAFailingDeviceIsRetriedByTheTimerAlone) {
    WindowOnSimCard w(squareAndSine(), app::IdleDriving::EventLoop);
    const instrument::Instrument& s = w.form->instrument();
    w.card.setBusy(platform::Direction::Capture, true);
    ASSERT_TRUE(window_test::waitUntil([&] { return s.AudioIn1->DeviceOpen(); }));
    w.card.advance(4 * kBufferFrames);  // the run ends; the next open is refused
    ASSERT_TRUE(window_test::waitUntil(
        [&] { return !s.AudioIn1->DeviceOpen() && w.form->lastPassDone(); }));
    const uint64_t runs = s.captureRuns;
    w.card.setBusy(platform::Direction::Capture, false);
    w.now += instrument::kRetryInterval;
    ASSERT_TRUE(window_test::waitUntil([&] { return s.captureRuns == runs + 1; }));
    EXPECT_TRUE(s.AudioIn1->DeviceOpen());
}

// A message that changes nothing a pass reads (the generator's finished buffer, refilled in its
// handler) makes no pass once the passes have settled, and neither does the retry timer before
// the attempt is due: their outcome is known.
TEST(IdleSettle, OnTheEventLoopWhatChangesNothingAPassReadsMakesNoPass) {
    WindowOnSimCard w(squareAndSine(), app::IdleDriving::EventLoop);
    const instrument::Instrument& s = w.form->instrument();
    ASSERT_TRUE(window_test::waitUntil([&] { return s.AudioIn1->DeviceOpen(); }));
    // Capture out of the way: its device fails and is held elsewhere, the retry not due yet on
    // the window's clock.
    w.card.setBusy(platform::Direction::Capture, true);
    w.card.failDevice(platform::Direction::Capture);
    constexpr uint64_t kPlaybackFrames = instrument::kPlaybackBufferBytes / 2;
    w.card.advance(kPlaybackFrames);  // the first finished buffer clears nothing, but is read
    ASSERT_TRUE(window_test::waitUntil([&] {
        return !s.AudioIn1->DeviceOpen() && s.AudioOut1->DoneCount() > 0 && w.form->lastPassDone();
    }));
    const uint64_t passes = w.form->idlePasses();
    const int32_t done = s.AudioOut1->DoneCount();
    for (int buffer = 0; buffer < 3; ++buffer) w.card.advance(kPlaybackFrames);
    ASSERT_TRUE(window_test::waitUntil([&] { return s.AudioOut1->DoneCount() >= done + 3; }));
    // The retry timer fires too (after kRetryInterval of real time), not yet due on the clock.
    window_test::waitUntil([] { return false; }, 2 * instrument::kRetryInterval.count());
    EXPECT_EQ(w.form->idlePasses(), passes);
    // Once the attempt is due, the timer's pass makes it.
    w.card.setBusy(platform::Direction::Capture, false);
    w.now += instrument::kRetryInterval;
    EXPECT_TRUE(window_test::waitUntil([&] { return s.AudioIn1->DeviceOpen(); }));
    EXPECT_GT(w.form->idlePasses(), passes);
}

}  // namespace
