// The display's controls through the real window, worked as a user works them: the time base list
// (ComboBox1), the trigger source list (ComboBox4) and the channel shift bar (ScrollBar3).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QTest>

#include "support/WindowFixture.h"
#include "instrument/Display.h"
#include "window/Controls.h"

namespace {

using platform::sim::makeSine;
using platform::sim::makeSquare;
using platform::sim::makeStereo;
using window_test::choose;
using window_test::WindowOnSimCard;

constexpr int kAmplitude = 8000;

// A square on R, which sets the automatic band, and a sine of half its frequency on L.
std::unique_ptr<platform::sim::StereoSource> squareOnR(double hz) {
    return makeStereo(makeSquare(hz, kAmplitude), makeSine(hz / 2, kAmplitude));
}

// The rows below the zero line that hold the time scale's labels, right of the scale columns. No
// trace (drawn at or above the zero line), grid line or tick reaches them.
QImage labelStrip(const app::TForm1& form) {
    constexpr int kLeft = instrument::kTraceLeft + 5;
    constexpr int kTopBelowZero = 4, kRows = 16;
    const window::ScreenCanvas& screen = form.screen();
    return screen.image().copy(kLeft, screen.clientHeight() / 2 + kTopBelowZero,
                               screen.clientWidth() - kLeft, kRows);
}

// Pixels of L's colour left of `x`.
int yellowLeftOf(const app::TForm1& form, int x) {
    const QImage& image = form.screen().image();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int column = 0; column < x; ++column)
            count += image.pixel(column, y) == qRgb(255, 255, 0);
    return count;
}

bool isBlack(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(0, 0, 0)) return false;
    return true;
}

TEST(DisplayControls, ChoosingATimeBaseSetsTheBandAndItsScale) {
    // 500 Hz lies in band 5 (250 to 600 Hz), 2 kHz in band 7; item 7 of the list is band 7.
    WindowOnSimCard w(squareOnR(500)), band7(squareOnR(2000));
    w.passes(3);
    band7.passes(3);
    const instrument::Instrument& s = w.form->instrument();
    ASSERT_EQ(s.bandInForce(), 5);
    ASSERT_EQ(band7.form->instrument().bandInForce(), 7);
    const QImage automatic = labelStrip(*w.form);
    ASSERT_NE(automatic, labelStrip(*band7.form));

    auto* timeBase = w.find<QComboBox>("ComboBox1");
    choose(timeBase, 7);
    EXPECT_EQ(timeBase->currentText(), QStringLiteral("      1 msec"));
    EXPECT_EQ(s.AutoTimeBase, 0);
    w.pass();  // the choice takes effect at the next redraw
    EXPECT_EQ(s.bandInForce(), 7);
    EXPECT_DOUBLE_EQ(s.PointSpacing, 17.0);
    EXPECT_EQ(labelStrip(*w.form), labelStrip(*band7.form));

    choose(timeBase, 0);  // "automatická": R's frequency decides again
    EXPECT_EQ(s.AutoTimeBase, 1);
    w.pass();
    EXPECT_EQ(s.bandInForce(), 5);
    EXPECT_EQ(labelStrip(*w.form), automatic);
}

TEST(DisplayControls, ChoosingATriggerSourceClearsTheScreenUntilTheNextPass) {
    WindowOnSimCard w(squareOnR(500));
    w.passes(3);
    ASSERT_FALSE(isBlack(w.form->screen().image()));

    auto* trigger = w.find<QComboBox>("ComboBox4");
    choose(trigger, 0);  // "automaticky"
    EXPECT_TRUE(isBlack(w.form->screen().image()));

    w.pass();
    EXPECT_FALSE(isBlack(w.form->screen().image()));
    EXPECT_EQ(trigger->currentText(), QStringLiteral("od kanálu R")) << "the trigger stays on R";
}

TEST(DisplayControls, MovingTheShiftBarShiftsTheLTraceAndRedrawsAtOnce) {
    // Band 5: 3.3 pixels per point. L's points lie ChannelShift - 1 points left of R's, which start
    // at the trace's left edge. Left of that edge L's scale column is yellow too; left of x = 24
    // only L's trace is.
    WindowOnSimCard w(squareOnR(500));
    w.passes(3);
    const instrument::Instrument& s = w.form->instrument();
    auto* shift = w.find<window::ScrollBar>("ScrollBar3");
    ASSERT_EQ(shift->position(), 50);
    ASSERT_EQ(s.ChannelShift, 5);
    const int leftOfEdge = yellowLeftOf(*w.form, instrument::kTraceLeft);  // L from x = 42
    EXPECT_EQ(yellowLeftOf(*w.form, 24), 0);
    const uint64_t passes = w.form->idlePasses();

    QTest::keyClick(shift, Qt::Key_End);  // to 200
    EXPECT_EQ(s.ChannelShift, 20);
    EXPECT_GT(yellowLeftOf(*w.form, 24), 0) << "L starts left of the window";
    EXPECT_GT(yellowLeftOf(*w.form, instrument::kTraceLeft), leftOfEdge);

    QTest::keyClick(shift, Qt::Key_Home);  // to 10
    EXPECT_EQ(s.ChannelShift, 1);
    EXPECT_EQ(yellowLeftOf(*w.form, 24), 0);
    EXPECT_LT(yellowLeftOf(*w.form, instrument::kTraceLeft), leftOfEdge) << "L starts with R";
    EXPECT_EQ(w.form->idlePasses(), passes) << "the bar redraws by itself";
}

}  // namespace
