// The instrument measures the capture on the screen: once per capture a drawing pass or the
// single-shot frame keeps, with the figures the measurement library gives for that capture.
#include <gtest/gtest.h>

#include "instrument_rig.h"
#include "measurement/Measurement.h"
#include "platform/sim/SignalSource.h"

namespace {

using namespace platform::sim;

// A 490 Hz PWM of 25 % on R, a 1 kHz square on L: whole periods in every buffer.
void pulses(testing_support::InstrumentRig& rig) {
    rig.setSource(makePulse({490, 25, 8000, 0}), makePulse({1000, 50, 6000, -6000}));
}

TEST(CaptureMeasurement, EachNewBufferIsMeasuredOnceAsTheLibraryMeasuresIt) {
    testing_support::InstrumentRig rig;
    pulses(rig);
    const instrument::CaptureMeasurement& m = rig.scope.measured;
    rig.idlePass();  // draws the start values: measured as an empty signal
    EXPECT_EQ(m.number, 1u);
    EXPECT_EQ(m.buffer, 0u);
    EXPECT_FALSE(m.R.timing.frequency.has_value());

    for (int buffer = 1; buffer <= 3; ++buffer) {
        SCOPED_TRACE(buffer);
        rig.deliver(1);
        for (int pass = 0; pass < 3; ++pass) rig.idlePass();  // one new capture, three passes
        EXPECT_EQ(m.number, 1u + buffer);
        EXPECT_EQ(m.buffer, rig.scope.capturedBuffers);
        // Against the library on the very capture drawn: channel R the first value of each frame.
        const auto values = rig.scope.screenCapture.values();
        measurement::ChannelMeasurement r, l;
        measurement::measureChannel(measurement::ChannelView::interleaved(values, 2, 0), 44100, r);
        measurement::measureChannel(measurement::ChannelView::interleaved(values, 2, 1), 44100, l);
        ASSERT_TRUE(r.timing.frequency && l.timing.frequency && m.R.timing.frequency);
        EXPECT_EQ(m.R.timing.frequency->mean, r.timing.frequency->mean);
        EXPECT_EQ(m.L.timing.frequency->mean, l.timing.frequency->mean);
        EXPECT_EQ(m.R.levels.top, r.levels.top);
        EXPECT_NEAR(m.R.timing.frequency->mean, 490.0, 490.0 * 5e-4);
        EXPECT_NEAR(m.L.timing.frequency->mean, 1000.0, 1000.0 * 5e-4);
        EXPECT_EQ(m.R.frames, 11025u);
    }
}

TEST(CaptureMeasurement, ALogicChoiceMeasuresTheCaptureOnTheScreenAgainAtOnceRestored) {
    // R: a 50 Hz servo train through the LINE IN's coupling, its base below 0 as it came.
    testing_support::InstrumentRig rig;
    rig.setSource(makePulse({50, 25, 9000, 0, 0}, LineIn{}), makePulse({1000, 50, 6000, -6000}));
    const instrument::CaptureMeasurement& m = rig.scope.measured;
    rig.idlePass();
    rig.deliver(1);
    for (int pass = 0; pass < 3; ++pass) rig.idlePass();
    const uint64_t number = m.number, buffer = m.buffer;
    const double rawBase = m.R.levels.base;
    ASSERT_LT(rawBase, -1000);

    rig.scope.setMeasureChoices({instrument::ChannelChoice{true, 0.0}, {}});
    EXPECT_EQ(m.number, number + 1) << "measured again, without a pass";
    EXPECT_EQ(m.buffer, buffer) << "the same capture";
    EXPECT_TRUE(m.choices[0].logic);
    ASSERT_TRUE(m.restoredR.restoration.restored);
    EXPECT_EQ(m.restoredR.source, measurement::CornerSource::Droop);
    EXPECT_NEAR(m.R.levels.base, 0, 0.01 * 9000);
    EXPECT_NEAR(m.R.levels.top, 9000, 0.01 * 9000);
    const double lTop = m.L.levels.top;

    // A given corner (a loopback's) is preferred to the droop's.
    rig.scope.setMeasureChoices({instrument::ChannelChoice{true, 10.0}, {}});
    EXPECT_EQ(m.restoredR.source, measurement::CornerSource::Given);
    EXPECT_EQ(m.restoredR.cornerHz, 10.0);
    EXPECT_EQ(m.L.levels.top, lTop) << "L as it came throughout";

    rig.scope.setMeasureChoices({});
    EXPECT_EQ(m.number, number + 3);
    EXPECT_EQ(m.R.levels.base, rawBase) << "as it came again";
    rig.scope.setMeasureChoices({});
    EXPECT_EQ(m.number, number + 3) << "the same choices: nothing measured";
}

}  // namespace
