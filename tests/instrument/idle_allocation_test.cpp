// Counts every allocation of this test program: once capture runs, an idle pass allocates
// nothing, in single-shot mode and in periodic mode alike.
#include <gtest/gtest.h>

#include <cstdint>

#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "support/CountingNew.h"
#include "support/QuietPanel.h"

namespace {

using instrument::Control;
using platform::sim::makeSine;
using platform::sim::makeSquare;
using platform::sim::makeStereo;
using testing_support::allocationCount;

constexpr int kPasses = 50;

class IdleAllocation : public ::testing::Test {
  protected:
    // A 1 kHz square on R and a 440 Hz sine on L; one run delivered and the next one running.
    void startCapture(int32_t periodicMode) {
        instrument.PeriodicMode = periodicMode;
        card.setSource(makeStereo(makeSquare(1000, 10000), makeSine(440, 10000)));
        pass();
        card.completeBuffers(4);
        loop.pump();
        pass();
        ASSERT_TRUE(instrument.AudioIn1->DeviceOpen());
        for (int warmUp = 0; warmUp < 3; ++warmUp) pass();
    }

    long allocationsOverPasses() {
        const long before = allocationCount();
        for (int i = 0; i < kPasses; ++i) pass();
        return allocationCount() - before;
    }

    void pass() { instrument.MyIdleEvent(done); }

    platform::MessageLoop loop;
    platform::sim::SimCard card;
    testing_support::QuietPanel panel;
    instrument::Instrument instrument{panel, card, loop};
    bool done = true;
};

TEST_F(IdleAllocation, SingleShotPassesAllocateNothingDuringARun) {
    startCapture(0);
    EXPECT_EQ(allocationsOverPasses(), 0);
    EXPECT_FALSE(done);
    EXPECT_TRUE(panel.text(Control::Edit8).ends_with(" Hz")) << "the passes did measure";
}

TEST_F(IdleAllocation, PeriodicPassesAllocateNothingDuringARun) {
    startCapture(1);
    EXPECT_EQ(allocationsOverPasses(), 0);
}

TEST_F(IdleAllocation, MeasuringEachNewBufferOnTheScreenAllocatesNothing) {
    startCapture(1);
    const uint64_t measured = instrument.measured.number;
    const long before = allocationCount();
    for (int buffer = 0; buffer < 3; ++buffer) {  // the rest of the run: no device opens
        card.completeBuffers(1);
        loop.pump();
        pass();
        pass();
    }
    EXPECT_EQ(allocationCount() - before, 0);
    EXPECT_EQ(instrument.measured.number, measured + 3) << "each buffer measured once";
    EXPECT_TRUE(instrument.measured.L.timing.frequency.has_value());
    EXPECT_GT(instrument.measured.R.edges.size(), 20u);
}

}  // namespace
