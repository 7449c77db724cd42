// Both channels of one capture buffer (11025 frames, interleaved in 32-bit slots as the instrument
// keeps them) measured as logic signals through an AC-coupled input: measured as they came, the
// coupling's corner found in their droop, restored and measured again. Beside it the plain
// measurement of the same buffer: the difference is what the restoration adds (target: well under
// 0.3 ms), with no allocation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "measurement/Measurement.h"
#include "measurement/RestoredChannel.h"
#include "platform/sim/SignalSource.h"
#include "support/BenchCapture.h"
#include "support/CountingNew.h"

namespace {

using namespace platform::sim;
using measurement::ChannelMeasurement;
using measurement::ChannelView;
using measurement::RestoredChannel;

using bench_support::interleavedCapture;

// A 50 Hz servo pulse train (5 %) on R and a 100 Hz square on L through the LINE IN at 10 Hz.
const std::vector<int32_t>& servoAndSquare() {
    static const std::vector<int32_t> values = interleavedCapture(
        *makePulse({50, 5, 8000, 0}, LineIn{}), *makePulse({100, 50, 8000, 0}, LineIn{}));
    return values;
}

// The busiest logic buffer the restoration sees: 490 Hz PWMs, some 250 edges per channel.
const std::vector<int32_t>& pwm() {
    static const std::vector<int32_t> values = interleavedCapture(
        *makePulse({490, 25, 8000, 0}, LineIn{}), *makePulse({490, 75, 8000, 0}, LineIn{}));
    return values;
}

void countAllocations(benchmark::State& state, long before) {
    state.counters["allocs_per_buffer"] =
        benchmark::Counter(static_cast<double>(testing_support::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
}

void measureOnly(benchmark::State& state, const std::vector<int32_t>& values) {
    ChannelMeasurement r, l;
    measurement::measureChannel(ChannelView::interleaved(values, 2, 0), 44100, r);
    measurement::measureChannel(ChannelView::interleaved(values, 2, 1), 44100, l);
    const long before = testing_support::allocationCount();
    for (auto _ : state) {
        measurement::measureChannel(ChannelView::interleaved(values, 2, 0), 44100, r);
        measurement::measureChannel(ChannelView::interleaved(values, 2, 1), 44100, l);
        benchmark::ClobberMemory();
    }
    countAllocations(state, before);
}

// The corner from each channel's droop (givenHz 0), or given (the loopback's).
void measureRestored(benchmark::State& state, const std::vector<int32_t>& values, double givenHz) {
    RestoredChannel r, l;
    measurement::measureRestored(ChannelView::interleaved(values, 2, 0), 44100, givenHz, r);
    measurement::measureRestored(ChannelView::interleaved(values, 2, 1), 44100, givenHz, l);
    const long before = testing_support::allocationCount();
    for (auto _ : state) {
        measurement::measureRestored(ChannelView::interleaved(values, 2, 0), 44100, givenHz, r);
        measurement::measureRestored(ChannelView::interleaved(values, 2, 1), 44100, givenHz, l);
        benchmark::ClobberMemory();
    }
    countAllocations(state, before);
    state.counters["restored"] = r.restoration.restored && l.restoration.restored ? 1 : 0;
}

void BM_ServoAndSquareMeasured(benchmark::State& state) {
    measureOnly(state, servoAndSquare());
}
void BM_ServoAndSquareRestored(benchmark::State& state) {
    measureRestored(state, servoAndSquare(), 0);
}
void BM_ServoAndSquareRestoredGivenCorner(benchmark::State& state) {
    measureRestored(state, servoAndSquare(), 10);
}
void BM_PwmMeasured(benchmark::State& state) {
    measureOnly(state, pwm());
}
void BM_PwmRestored(benchmark::State& state) {
    measureRestored(state, pwm(), 0);
}

}  // namespace

BENCHMARK(BM_ServoAndSquareMeasured)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ServoAndSquareRestored)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ServoAndSquareRestoredGivenCorner)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PwmMeasured)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PwmRestored)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
