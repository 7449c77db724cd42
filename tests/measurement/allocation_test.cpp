// Counts every allocation of this test program: once a first buffer has been measured, measuring
// both channels of the next ones allocates nothing.
#include <gtest/gtest.h>

#include "capture.h"
#include "measurement/RestoredChannel.h"
#include "support/CountingNew.h"

namespace {

using namespace platform::sim;
using namespace measurement;

TEST(MeasurementAllocation, BothChannelsOfABufferAfterTheFirst) {
    // Noise on the pulse train makes the edge count differ from buffer to buffer.
    const auto pulse = makePulse({490, 25, 8000, 0}, LineIn{10, 20000, 400});
    const auto sine = makeSine(1000, 8000, LineIn{});
    ChannelMeasurement r, l;
    const auto measureBuffer = [&](uint64_t start) {
        const std::vector<int32_t> values =
            measurement_test::render(*pulse, *sine, measurement_test::kBufferFrames, start);
        const long before = testing_support::allocationCount();
        measureChannel(ChannelView::interleaved(values, 2, 0), 44100, r);
        measureChannel(ChannelView::interleaved(values, 2, 1), 44100, l);
        return testing_support::allocationCount() - before;
    };
    measureBuffer(0);
    for (uint64_t buffer = 1; buffer <= 20; ++buffer)
        EXPECT_EQ(measureBuffer(buffer * measurement_test::kBufferFrames), 0) << buffer;
    EXPECT_TRUE(r.timing.frequency && l.timing.frequency) << "the buffers were measured";
}

TEST(MeasurementAllocation, BothChannelsRestoredAfterTheFirstBuffer) {
    // The corner found in the droop on one channel, given on the other.
    const auto servo = makePulse({50, 5, 8000, 0}, LineIn{10, 20000, 40});
    const auto square = makePulse({100, 50, 8000, 0}, LineIn{10, 20000, 40});
    RestoredChannel r, l;
    const auto restoreBuffer = [&](uint64_t start) {
        const std::vector<int32_t> values =
            measurement_test::render(*servo, *square, measurement_test::kBufferFrames, start);
        const long before = testing_support::allocationCount();
        measureRestored(ChannelView::interleaved(values, 2, 0), 44100, 0, r);
        measureRestored(ChannelView::interleaved(values, 2, 1), 44100, 10, l);
        return testing_support::allocationCount() - before;
    };
    restoreBuffer(0);
    for (uint64_t buffer = 1; buffer <= 20; ++buffer)
        EXPECT_EQ(restoreBuffer(buffer * measurement_test::kBufferFrames), 0) << buffer;
    EXPECT_TRUE(r.restoration.restored && l.restoration.restored) << "the buffers were restored";
}

}  // namespace
