// The idle passes settle: once a pass over the same input changes nothing, the window waits for
// the next event instead of passing again, shows what passing on would have shown, and every
// input wakes it.
#include <gtest/gtest.h>

#include <QJsonObject>
#include <QRadioButton>
#include <functional>

#include "WindowFixture.h"
#include "app/Report.h"

namespace {

using platform::sim::makeSilence;
using platform::sim::makeSine;
using platform::sim::makeSquare;
using platform::sim::makeStereo;
using platform::sim::StereoSource;
using window_test::click;
using window_test::kBufferFrames;
using window_test::WindowOnSimCard;

// More passes per buffer than any input needs to settle: a window that passes this often shows
// what one that never waits would.
constexpr int kForcedPasses = 12;
// What settling takes at most: the pass that takes the buffer and opens the next run, the one
// that takes the run's open message, and one that changes nothing.
constexpr int kSettlePasses = 3;

// Passes until one reports done; returns how many it took, kForcedPasses + 1 when none did.
int settle(WindowOnSimCard& w) {
    for (int n = 1; n <= kForcedPasses; ++n) {
        w.form->idlePass();
        if (w.form->lastPassDone()) return n;
    }
    return kForcedPasses + 1;
}

// What the user sees and the report says, the pass count left out; the keys that differ.
::testing::AssertionResult showSame(const WindowOnSimCard& a, const WindowOnSimCard& b) {
    const auto report = [](const WindowOnSimCard& w) {
        QJsonObject r = app::makeReport({w.form->instrument(), w.form->controls(), 0});
        return r;
    };
    const QJsonObject ra = report(a), rb = report(b);
    auto result = ::testing::AssertionSuccess();
    bool same = a.form->screen().image() == b.form->screen().image();
    if (!same) result = ::testing::AssertionFailure() << "screens differ; ";
    for (const QString& key : ra.keys()) {
        if (ra[key] == rb[key]) continue;
        if (same) result = ::testing::AssertionFailure();
        same = false;
        result << key.toStdString() << " differs; ";
    }
    return result;
}

struct Signal {
    const char* name;
    std::function<std::unique_ptr<StereoSource>()> make;
};

class Settle : public ::testing::TestWithParam<Signal> {};

TEST_P(Settle, WaitingOnceSettledShowsWhatPassingOnShows) {
    WindowOnSimCard waiting(GetParam().make()), forced(GetParam().make());
    // Ten buffers: two runs and a half, the last four in single-shot display.
    for (int buffer = 0; buffer < 10; ++buffer) {
        SCOPED_TRACE(testing::Message() << "buffer " << buffer);
        if (buffer == 6)
            for (WindowOnSimCard* w : {&waiting, &forced})
                click(w->find<QRadioButton>("RadioButton2"));
        EXPECT_LE(settle(waiting), kSettlePasses);
        for (int pass = 0; pass < kForcedPasses; ++pass) forced.form->idlePass();
        ASSERT_TRUE(showSame(waiting, forced));
        for (WindowOnSimCard* w : {&waiting, &forced}) w->card.advance(kBufferFrames);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, Settle,
    ::testing::Values(
        Signal{"Square441",
               [] { return makeStereo(makeSquare(441, 12000), makeSine(220.5, 12000)); }},
        // 44.1 samples a period: every buffer starts at another phase.
        Signal{"Sine1k", [] { return makeStereo(makeSine(1000, 9000), makeSine(1000, 9000)); }},
        Signal{"Silence", [] { return makeStereo(makeSilence(), makeSilence()); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IdleSettle, ABufferAClickAResizeAndAnOpenedRunEachWakeTheNextPass) {
    WindowOnSimCard w(makeStereo(makeSquare(441, 12000), makeSine(220.5, 12000)));
    w.passes(3);
    const auto wakes = [&](const char* what, const std::function<void()>& input) {
        ASSERT_LE(settle(w), kForcedPasses) << "before " << what;
        input();
        w.form->idlePass();
        EXPECT_FALSE(w.form->lastPassDone()) << what;
    };
    wakes("a buffer", [&] { w.card.advance(kBufferFrames); });
    // Periodic display is on already: the click changes nothing the pass leaves behind.
    wakes("a click", [&] { click(w.find<QRadioButton>("RadioButton1")); });
    wakes("a resize", [&] {
        w.form->resize(900, w.form->height());
        ASSERT_TRUE(window_test::waitUntil([&] { return w.form->screen().clientWidth() == 900; }));
    });

    // The run ends while the device is held elsewhere: the passes settle with no run open. The
    // pass that opens one once the device is free is a change, with no message before it.
    w.card.setBusy(platform::Direction::Capture, true);
    w.passes(4);  // the run's last buffer among them
    ASSERT_LE(settle(w), kForcedPasses);
    ASSERT_FALSE(w.form->instrument().AudioIn1->DeviceOpen());
    wakes("a run opened", [&] { w.card.setBusy(platform::Direction::Capture, false); });
    EXPECT_TRUE(w.form->instrument().AudioIn1->DeviceOpen());

    // State changed with no input counted: the pass leaves something else behind.
    wakes("the shift set from code", [&] { w.form->instrument().ChannelShift = 12; });
    wakes("the read-outs set to follow the generator from code",
          [&] { w.form->instrument().FollowGenerator = instrument::kFollowGenerator; });

    ASSERT_LE(settle(w), kForcedPasses);
    w.form->idlePass();
    EXPECT_TRUE(w.form->lastPassDone()) << "without input it stays settled";
}

TEST(IdleSettle, OnTheEventLoopEveryBufferIsDrawnAndSettledPassesWait) {
    WindowOnSimCard w(makeStereo(makeSquare(441, 12000), makeSine(220.5, 12000)),
                      app::IdleDriving::EventLoop);
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
    // Start-up opened the first run; each of the three that followed was opened at once.
    EXPECT_EQ(s.CaptureRuns, 3u);

    window_test::handlePendingEvents();
    const uint64_t passes = w.form->idlePasses();
    window_test::handlePendingEvents();
    EXPECT_EQ(w.form->idlePasses(), passes) << "no pass without an event";
}

}  // namespace
