// The acquisition cycle through the real window: buffers arriving between idle passes, the display
// modes as the user switches them, the erase command and the idle handler on the event loop.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>
#include <vector>

#include "support/WindowFixture.h"

namespace {

using platform::sim::makeSine;
using platform::sim::makeSquare;
using platform::sim::makeStereo;
using window_test::click;
using window_test::clickMenuEntry;
using window_test::kBufferFrames;
using window_test::WindowOnSimCard;

// 441 Hz: a half period of exactly 50 frames.
constexpr double kSquareHz = 441.0;
constexpr int kAmplitude = 12000;
constexpr int kHalfPeriod = 50;

int squareAt(uint64_t frame) {
    return (frame / kHalfPeriod) % 2 == 0 ? kAmplitude : -kAmplitude;
}

std::unique_ptr<platform::sim::StereoSource> squareOnR(double hz = kSquareHz) {
    return makeStereo(makeSquare(hz, kAmplitude), makeSine(hz / 2, kAmplitude));
}

// Channel R of RawSamples (even positions) against the square from card frame `firstFrame` on.
::testing::AssertionResult holdsSquareFrom(const app::TForm1& form, uint64_t firstFrame) {
    for (uint32_t k = 0; k < kBufferFrames; ++k) {
        if (form.instrument().RawSamples[2 * k] != squareAt(firstFrame + k))
            return ::testing::AssertionFailure()
                   << "frame " << firstFrame + k << ": " << form.instrument().RawSamples[2 * k];
    }
    return ::testing::AssertionSuccess();
}

TEST(Acquisition, EachPassTakesTheBufferCompletedBeforeIt) {
    WindowOnSimCard w(squareOnR());
    w.pass();  // works on the start values; the first buffer completes afterwards
    EXPECT_EQ(w.form->instrument().SampleCount, 22100);
    w.pass();
    EXPECT_EQ(w.form->instrument().SampleCount, 22050);
    EXPECT_TRUE(holdsSquareFrom(*w.form, 0));
    EXPECT_EQ(w.form->instrument().RawSamples[22050], 0)
        << "positions past the buffer stay as they were";
}

TEST(Acquisition, CaptureRunsFollowEachOtherWithoutGaps) {
    // Four buffers make a run; the pass that takes the fourth opens the next run at once.
    WindowOnSimCard w(squareOnR());
    w.passes(20);
    EXPECT_TRUE(holdsSquareFrom(*w.form, 18 * kBufferFrames));
    EXPECT_EQ(w.form->instrument().R.Peak, kAmplitude);
    EXPECT_TRUE(w.form->instrument().AudioIn1->DeviceOpen());
}

TEST(Acquisition, SingleShotClickDrawsOneFrameAndUnchecksBothButtons) {
    WindowOnSimCard w(squareOnR());
    w.passes(3);
    auto* periodic = w.find<QRadioButton>("RadioButton1");
    auto* single = w.find<QRadioButton>("RadioButton2");

    click(single);
    EXPECT_EQ(w.form->instrument().PeriodicMode, 0);
    EXPECT_FALSE(periodic->isChecked());
    EXPECT_FALSE(single->isChecked());
    const QImage frame = w.form->screen().image().copy();

    // A new signal: the read-outs follow it on every pass, the screen does not.
    const QString before = w.find<QLineEdit>("Edit8")->text();
    w.card.setSource(squareOnR(2 * kSquareHz));
    w.passes(6);
    EXPECT_NE(w.find<QLineEdit>("Edit8")->text(), before);
    EXPECT_EQ(w.form->screen().image(), frame);

    // A second click draws a second frame, from the new samples.
    click(single);
    EXPECT_NE(w.form->screen().image(), frame);
    EXPECT_FALSE(single->isChecked());

    // Back to periodic display: every pass redraws.
    click(periodic);
    EXPECT_EQ(w.form->instrument().PeriodicMode, 1);
    EXPECT_TRUE(periodic->isChecked());
}

TEST(Acquisition, EraseEntryRedrawsTheFrameASingleShotWouldDraw) {
    // Two windows brought into the same state: single-shot display, then new samples.
    WindowOnSimCard erased(squareOnR()), clicked(squareOnR());
    for (WindowOnSimCard* w : {&erased, &clicked}) {
        w->passes(3);
        click(w->find<QRadioButton>("RadioButton2"));
        w->card.setSource(squareOnR(2 * kSquareHz));
        w->passes(6);
    }
    const QImage before = erased.form->screen().image().copy();

    clickMenuEntry(*erased.form, erased.form->design().file1);
    click(clicked.find<QRadioButton>("RadioButton2"));
    EXPECT_NE(erased.form->screen().image(), before);
    EXPECT_EQ(erased.form->screen().image(), clicked.form->screen().image());
}

TEST(Acquisition, MenuEntriesWithoutActionChangeNothing) {
    WindowOnSimCard w(squareOnR());
    w.passes(3);
    click(w.find<QRadioButton>("RadioButton2"));
    const QImage frame = w.form->screen().image().copy();
    const auto& d = w.form->design();
    const std::vector<QAction*> entries{d.spoutn1,    d.mickanl1,    d.volbarozsahu1,
                                        d.frekvence1, d.naptR1,      d.volbarozsahu2,
                                        d.frekvence2, d.asovzkladna1};
    int chosen = 0;
    for (QAction* entry : entries) {
        QObject::connect(entry, &QAction::triggered, [&chosen] { ++chosen; });
        clickMenuEntry(*w.form, entry);
    }
    QObject::connect(d.dosebe1, &QAction::triggered, [&chosen] { ++chosen; });
    clickMenuEntry(*w.form, d.dosebe1, d.volbazobrazen1);
    EXPECT_EQ(chosen, static_cast<int>(entries.size()) + 1) << "every entry was chosen";
    EXPECT_EQ(w.form->screen().image(), frame);
    EXPECT_EQ(w.form->instrument().PeriodicMode, 0);
}

TEST(IdleHandler, MeasuresFromTheEventLoopButNotInsideAModalBox) {
    WindowOnSimCard w(squareOnR(), app::IdleDriving::EventLoop);
    // A whole run passes: the idle handler opens the next one.
    w.card.advance(4 * kBufferFrames);
    ASSERT_TRUE(window_test::waitUntil([&] { return w.form->instrument().SampleCount == 22050; }));
    ASSERT_TRUE(
        window_test::waitUntil([&] { return w.form->instrument().AudioIn1->DeviceOpen(); }));

    // While a message box is open the run that ends is not followed by another.
    bool openedInsideBox = true;
    QTimer::singleShot(0, w.form.get(), [&] {
        QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("modal"),
                        QMessageBox::Ok, w.form.get());
        QTimer::singleShot(0, &box, [&] { w.card.advance(4 * kBufferFrames); });
        QTimer::singleShot(200, &box, [&] {
            openedInsideBox = w.form->instrument().AudioIn1->DeviceOpen();
            box.accept();
        });
        box.exec();
    });
    ASSERT_TRUE(window_test::waitUntil([&] { return !openedInsideBox; }));
    EXPECT_TRUE(window_test::waitUntil([&] { return w.form->instrument().AudioIn1->DeviceOpen(); }))
        << "measuring resumes once the box has closed";
}

}  // namespace
