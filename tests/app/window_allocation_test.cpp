// The real window's idle passes allocate nothing once the signal is steady: read-outs that show
// the same text are not set again, the screen is drawn without allocating, and the capture runs
// circulate their pool. The one allocation left is the driver's: opening a device (a new capture
// run, once a second) makes the driver's stream object, as opening a real PCM does. This program
// replaces the global operator new with a counting one.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTemporaryDir>

#include "support/WindowFixture.h"
#include "app/MeasurementWindow.h"
#include "support/CountingNew.h"

namespace {

using platform::sim::makeSquare;
using platform::sim::makeStereo;

// Squares of a whole number of samples per period measure the same in every buffer, whatever
// phase a capture run starts at, so every read-out holds still.
std::unique_ptr<platform::sim::StereoSource> steadySignal() {
    return makeStereo(makeSquare(441.0, 6000), makeSquare(220.5, 4000));
}

// The simulated driver makes one stream object per open.
constexpr long kAllocationsPerDeviceOpen = 1;

struct Counts {
    long allocations = 0;
    long opens = 0;
};

Counts overPasses(window_test::WindowOnSimCard& w, long& opens, int passes) {
    const long allocationsBefore = testing_support::allocationCount();
    const long opensBefore = opens;
    w.passes(passes);
    return {testing_support::allocationCount() - allocationsBefore, opens - opensBefore};
}

TEST(WindowAllocation, PassesAllocateNothingButTheDriverOpeningEachCaptureRun) {
    window_test::WindowOnSimCard w(steadySignal());
    long opens = 0;
    w.form->instrument().AudioIn1->OnStart = [&opens] { ++opens; };
    w.passes(30);  // warm-up: every capture path, band and glyph once

    const Counts periodic = overPasses(w, opens, 40);
    EXPECT_GE(periodic.opens, 8);  // a run is four buffers, one per pass, then a new open
    EXPECT_EQ(periodic.allocations, periodic.opens * kAllocationsPerDeviceOpen) << "periodic";

    window_test::click(w.find<QRadioButton>("RadioButton2"));  // single-shot display
    w.passes(10);
    const Counts singleShot = overPasses(w, opens, 40);
    EXPECT_GE(singleShot.opens, 8);
    EXPECT_EQ(singleShot.allocations, singleShot.opens * kAllocationsPerDeviceOpen)
        << "single shot";
}

TEST(WindowAllocation, TheMeasurementLogWritesItsRowsWithoutAllocating) {
    window_test::WindowOnSimCard w(steadySignal());
    long opens = 0;
    w.form->instrument().AudioIn1->OnStart = [&opens] { ++opens; };
    QTemporaryDir dir;
    app::MeasurementWindow& m = w.form->measurementWindow();  // closed: the log runs on
    ASSERT_TRUE(m.startLog(dir.filePath(QStringLiteral("log.csv"))));
    w.passes(30);

    const Counts logging = overPasses(w, opens, 40);
    EXPECT_GE(m.log().rows(), 60u) << "a row per buffer measured";
    EXPECT_EQ(logging.allocations, logging.opens * kAllocationsPerDeviceOpen);
    m.stopLog();
}

TEST(WindowAllocation, LogicChannelsAreRestoredAndLoggedWithoutAllocating) {
    // Pulse trains through the LINE IN's coupling (without noise, of a whole number of samples
    // per period, so that the main window's read-outs hold still), both channels measured as
    // logic signals: the corner found, the samples restored and measured again in storage kept
    // from the first.
    window_test::WindowOnSimCard w(
        makeStereo(platform::sim::makePulse({50, 25, 9000, 0, 0}, {10, 20000, 0, 3}),
                   platform::sim::makePulse({441, 10, 5000, 0, 0}, {10, 20000, 0, 4})));
    long opens = 0;
    w.form->instrument().AudioIn1->OnStart = [&opens] { ++opens; };
    QTemporaryDir dir;
    app::MeasurementWindow& m = w.form->measurementWindow();
    m.setLogic(app::Channel::R, true);
    m.setLogic(app::Channel::L, true);
    ASSERT_TRUE(m.startLog(dir.filePath(QStringLiteral("log.csv"))));
    w.passes(30);
    ASSERT_TRUE(w.form->instrument().measured.restoredR.restoration.restored);
    ASSERT_TRUE(w.form->instrument().measured.restoredL.restoration.restored);

    const Counts logging = overPasses(w, opens, 40);
    EXPECT_GE(m.log().rows(), 60u);
    EXPECT_EQ(logging.allocations, logging.opens * kAllocationsPerDeviceOpen);
    m.stopLog();
}

}  // namespace
