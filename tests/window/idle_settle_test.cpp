// The idle passes settle: once a pass over the same input changes nothing, the window waits for
// the next event, shows what passing on would have shown, and every input wakes it.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <functional>

#include "WindowFixture.h"
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
    EXPECT_EQ(w.form->instrument().CaptureRuns, 2u) << "start-up's run and this one";
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
            return s.DrawnBuffers == buffer && w.form->lastPassDone();
        })) << "buffer "
            << buffer;
        EXPECT_EQ(s.CapturedBuffers, buffer);
    }
    EXPECT_EQ(s.CaptureRuns, 4u) << "start-up opened the first run, the passes the next three";
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
    const uint64_t runs = s.CaptureRuns;
    w.card.setBusy(platform::Direction::Capture, false);
    w.now += instrument::kRetryInterval;
    ASSERT_TRUE(window_test::waitUntil([&] { return s.CaptureRuns == runs + 1; }));
    EXPECT_TRUE(s.AudioIn1->DeviceOpen());
}

}  // namespace
