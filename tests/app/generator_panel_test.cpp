// The generator panel's handlers through the window's controls.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "support/WindowFixture.h"
#include "generator/Sine.h"
#include "platform/sim/SimMixer.h"
#include "window/Controls.h"

namespace {

using window::ScrollBar;
using window_test::choose;
using window_test::WindowOnSimCard;

struct Panel {
    WindowOnSimCard w;
    ScrollBar* amplitude = w.find<ScrollBar>("ScrollBar4");
    ScrollBar* frequency = w.find<ScrollBar>("ScrollBar5");
    QComboBox* amplitudeRange = w.find<QComboBox>("ComboBox7");
    QComboBox* frequencyRange = w.find<QComboBox>("ComboBox8");
    QString edit13() const { return w.find<QLineEdit>("Edit13")->text(); }
    QString edit14() const { return w.find<QLineEdit>("Edit14")->text(); }
    bool warning() const { return !w.find<QLabel>("Panel14")->isHidden(); }
};

struct FrequencyCase {
    int position;
    int frequency;
    const char* text;  // null: not checked
    int largeChange;
    int smallChange;
    bool warning;
};

TEST(GeneratorPanel, FrequencyBarBands) {
    const std::vector<FrequencyCase> cases{
        {99, 99, " 99 Hz", 10, 1, false},
        {100, 100, " 100 Hz", 100, 1, false},
        {999, 999, " 999 Hz", 100, 1, false},
        {1000, 1000, " 1.0 kHz", 1000, 100, false},
        {2540, 2500, " 2.5 kHz", 1000, 100, false},  // 2500 itself gives no warning
        {2550, 2600, nullptr, 1000, 100, true},      // Round(25.5) = 26
        {2650, 2600, nullptr, 1000, 100, true},      // Round(26.5) = 26, halves to even
        {12345, 12300, " 12.3 kHz", 1000, 100, true},
        {20000, 20000, " 20.0 kHz", 1000, 100, true},
    };
    Panel p;
    p.frequency->setMin(10);
    p.frequency->setMax(20000);
    for (const FrequencyCase& c : cases) {
        SCOPED_TRACE(c.position);
        p.frequency->setPosition(c.position);
        EXPECT_EQ(p.w.form->instrument().GeneratorFrequency, c.frequency);
        if (c.text != nullptr) {
            EXPECT_EQ(p.edit14(), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(p.frequency->largeChange(), c.largeChange);
        EXPECT_EQ(p.frequency->smallChange(), c.smallChange);
        EXPECT_EQ(p.warning(), c.warning);
    }
}

TEST(GeneratorPanel, PositionAboveTheBandsChangesNothingButTheWarningTest) {
    Panel p;
    p.frequency->setMax(30000);
    p.frequency->setPosition(1500);
    p.frequency->setPosition(25000);
    EXPECT_EQ(p.w.form->instrument().GeneratorFrequency, 1500);
    EXPECT_EQ(p.edit14(), QStringLiteral(" 1.5 kHz"));
    EXPECT_FALSE(p.warning());
}

TEST(GeneratorPanel, FrequencyBarRequestsACaptureStart) {
    Panel p;
    p.w.card.completeBuffers(4);  // the run started at start-up ends
    p.w.loop.pump();
    ASSERT_FALSE(p.w.form->instrument().AudioIn1->DeviceOpen());
    QTest::keyClick(p.frequency, Qt::Key_End);  // the user moves the bar
    EXPECT_TRUE(p.w.form->instrument().AudioIn1->DeviceOpen());
}

// The bar's request is the idle pass's own way in: while the device fails it opens only when the
// retry is due, the run it opens is counted, and the notice goes once a buffer has come, not
// before (a device that opens may still deliver nothing).
TEST(GeneratorPanel, TheFrequencyBarsCaptureRequestIsPacedCountedAndClearsTheNoticeOnceItWorks) {
    Panel p;
    const instrument::Instrument& s = p.w.form->instrument();
    const QLabel& notice = *p.w.find<QLabel>("DeviceNotice");
    p.w.card.setBusy(platform::Direction::Capture, true);
    p.w.card.completeBuffers(4);  // the run started at start-up ends; the next open is refused
    p.w.pass();
    ASSERT_FALSE(s.AudioIn1->DeviceOpen());
    ASSERT_FALSE(notice.isHidden());
    const uint64_t runs = s.captureRuns;

    p.w.card.setBusy(platform::Direction::Capture, false);
    p.frequency->setPosition(p.frequency->position() + 1);
    EXPECT_FALSE(s.AudioIn1->DeviceOpen()) << "not due yet";
    p.w.now += instrument::kRetryInterval;
    p.frequency->setPosition(p.frequency->position() + 1);
    ASSERT_TRUE(s.AudioIn1->DeviceOpen());
    EXPECT_EQ(s.captureRuns, runs + 1);
    EXPECT_FALSE(notice.isHidden()) << "opened, but nothing came yet";
    p.w.card.completeBuffers(1);
    p.w.pass();
    EXPECT_TRUE(notice.isHidden());
}

TEST(GeneratorPanel, FrequencyRangesNeverInvertTheBar) {
    struct Range {
        int min, max, preset;
    };
    const std::vector<Range> ranges{
        {20, 100, 50}, {100, 1000, 1000}, {1000, 20000, 4000}, {10, 20000, 100}};
    for (int from = 0; from < 4; ++from) {
        for (int to = 0; to < 4; ++to) {
            SCOPED_TRACE(testing::Message() << "item " << from << " then " << to);
            Panel p;
            choose(p.frequencyRange, from);
            choose(p.frequencyRange, to);
            const Range& r = ranges[static_cast<size_t>(to)];
            EXPECT_EQ(p.frequency->minimum(), r.min);
            EXPECT_EQ(p.frequency->maximum(), r.max);
            EXPECT_EQ(p.frequency->position(), r.preset);
        }
    }
}

TEST(GeneratorPanel, SamePresetRunsNoChangeHandler) {
    Panel p;
    choose(p.frequencyRange, 1);                      // 100..1000 at 1000
    p.w.form->instrument().GeneratorFrequency = 123;  // would be overwritten by a change handler
    choose(p.frequencyRange, 1);
    EXPECT_EQ(p.w.form->instrument().GeneratorFrequency, 123);
}

struct AmplitudeCase {
    int item;
    int maximum;
    int preset;
    const char* atPreset;
    const char* atMaximum;
};

TEST(GeneratorPanel, AmplitudeRanges) {
    const std::vector<AmplitudeCase> cases{
        {0, 32767, 16384, "550 mV", "1100 mV"}, {1, 16384, 8192, "275 mV", "550 mV"},
        {2, 8200, 4100, "138 mV", "275 mV"},    {3, 3280, 164, "6 mV", "110 mV"},
        {4, 1640, 164, "6 mV", "55 mV"},        {5, 820, 164, "6 mV", "28 mV"},
        {6, 328, 164, "6 mV", "11 mV"},
    };
    for (const AmplitudeCase& c : cases) {
        SCOPED_TRACE(c.item);
        Panel p;
        choose(p.amplitudeRange, c.item);
        EXPECT_EQ(p.amplitude->minimum(), 0);
        EXPECT_EQ(p.amplitude->maximum(), c.maximum);
        EXPECT_EQ(p.w.form->instrument().GeneratorAmplitude, c.preset);
        EXPECT_EQ(p.edit13(), QString::fromUtf8(c.atPreset));
        QTest::keyClick(p.amplitude, Qt::Key_End);
        EXPECT_EQ(p.edit13(), QString::fromUtf8(c.atMaximum));
    }
}

TEST(GeneratorPanel, NarrowAmplitudeRangeClampsThenPresets) {
    Panel p;
    choose(p.amplitudeRange, 0);
    std::vector<int> seen;
    QObject::connect(p.amplitude, &QScrollBar::valueChanged,
                     [&](int position) { seen.push_back(position); });
    choose(p.amplitudeRange, 6);
    EXPECT_EQ(seen, (std::vector<int>{328, 164}));
    EXPECT_EQ(p.edit13(), QStringLiteral("6 mV"));
}

TEST(GeneratorPanel, WideRangesRewriteTheReadOutEvenWithoutAChange) {
    Panel p;
    choose(p.amplitudeRange, 0);
    p.w.form->instrument().GeneratorAmplitude =
        1;  // no change handler will run for the same preset
    choose(p.amplitudeRange, 0);
    EXPECT_EQ(p.w.form->instrument().GeneratorAmplitude, 16384);
    EXPECT_EQ(p.edit13(), QStringLiteral("550 mV"));
}

// What the card's output carried over the last `frames` frames.
std::vector<int16_t> lastPlayed(platform::sim::SimCard& card, size_t frames) {
    std::vector<int16_t> stereo(2 * frames);
    platform::sim::makeLoopback(card)->render(card.now() - frames, stereo);
    std::vector<int16_t> mono(frames);
    for (size_t i = 0; i < frames; ++i) mono[i] = stereo[2 * i];
    return mono;
}

int peak(const std::vector<int16_t>& samples) {
    int most = 0;
    for (int16_t v : samples) most = std::max(most, std::abs(static_cast<int>(v)));
    return most;
}

// Lets `buffers` playback buffers play; each one finished is refilled.
void play(Panel& p, int buffers) {
    for (int i = 0; i < buffers; ++i) {
        p.w.card.advance(instrument::kPlaybackBufferBytes / 2);
        p.w.loop.pump();
    }
}

TEST(GeneratorPanel, StartUpPlaysTheSineFromItsFirstSample) {
    Panel p;
    const auto& out = *p.w.form->instrument().AudioOut1;
    ASSERT_TRUE(out.DeviceOpen()) << out.LastErrorText();
    p.w.card.advance(4);
    EXPECT_EQ(lastPlayed(p.w.card, 4), (std::vector<int16_t>{0, 47, 93, 140}));
    // Across the seam of the first two buffers the sine runs on: each sample is the formula's.
    p.w.card.advance(11000 + 10 - 4);
    p.w.loop.pump();
    const std::vector<int16_t> seam = lastPlayed(p.w.card, 20);
    for (size_t k = 0; k < seam.size(); ++k) {
        EXPECT_EQ(seam[k], generator::sineSample(11000 - 10 + k, {44100, 100, 3276})) << k;
    }
}

TEST(GeneratorPanel, OffItemSilencesTheOutputAndAnyRangeBringsItBack) {
    Panel p;
    choose(p.amplitudeRange, 7);
    // The bar, the amplitude and the read-out stay as they were.
    EXPECT_EQ(p.amplitude->maximum(), 32767);
    EXPECT_EQ(p.amplitude->position(), 3276);
    EXPECT_EQ(p.w.form->instrument().GeneratorAmplitude, 3276);
    EXPECT_EQ(p.edit13(), QStringLiteral("110 mV"));
    play(p, 5);  // the four buffers queued before the choice play out
    EXPECT_EQ(peak(lastPlayed(p.w.card, 5000)), 0);
    QTest::keyClick(p.amplitude, Qt::Key_End);  // a bar moved while off stays silent
    play(p, 5);
    EXPECT_EQ(peak(lastPlayed(p.w.card, 5000)), 0);
    choose(p.amplitudeRange, 3);  // 0..3280 at 164
    play(p, 5);
    EXPECT_EQ(peak(lastPlayed(p.w.card, 5000)), 164);
}

TEST(GeneratorPanel, BusyOutputLeavesTheScopeMeasuring) {
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    platform::sim::SimMixer mixer;
    card.setBusy(platform::Direction::Playback, true);
    app::TForm1 form(app::Backend{card, loop, mixer}, app::IdleDriving::Caller);
    EXPECT_TRUE(form.startupError().isEmpty());
    EXPECT_FALSE(form.instrument().AudioOut1->DeviceOpen());
    EXPECT_TRUE(form.idleHandlerInstalled());
}

}  // namespace
