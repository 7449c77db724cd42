// Both channels of one capture buffer (11025 frames, interleaved in 32-bit slots as the instrument
// keeps them) measured: levels, edges and timing. Target: median at most 0.3 ms, no allocation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "measurement/Measurement.h"
#include "platform/sim/SignalSource.h"
#include "support/BenchCapture.h"
#include "support/CountingNew.h"

namespace {

using namespace platform::sim;
using measurement::ChannelMeasurement;
using measurement::ChannelView;

using bench_support::interleavedCapture;

void measureBoth(benchmark::State& state, const std::vector<int32_t>& values) {
    ChannelMeasurement r, l;
    // The first measurement of each channel reserves room for its edges.
    measurement::measureChannel(ChannelView::interleaved(values, 2, 0), 44100, r);
    measurement::measureChannel(ChannelView::interleaved(values, 2, 1), 44100, l);
    const long before = testing_support::allocationCount();
    for (auto _ : state) {
        measurement::measureChannel(ChannelView::interleaved(values, 2, 0), 44100, r);
        measurement::measureChannel(ChannelView::interleaved(values, 2, 1), 44100, l);
        benchmark::ClobberMemory();
    }
    state.counters["allocs_per_buffer"] =
        benchmark::Counter(static_cast<double>(testing_support::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["edges"] = static_cast<double>(r.edges.size() + l.edges.size());
}

// A PWM at 490 Hz, 25 % on R and a 1 kHz sine on L, both through the LINE IN.
void BM_MeasureBuffer(benchmark::State& state) {
    measureBoth(state, interleavedCapture(*makePulse({490, 25, 8000, 0}, LineIn{}),
                                          *makeSine(1000, 8000, LineIn{})));
}
BENCHMARK(BM_MeasureBuffer)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// The busiest buffer: 5 kHz squares, some 2500 edges per channel, one of them noisy.
void BM_MeasureBufferManyEdges(benchmark::State& state) {
    measureBoth(state,
                interleavedCapture(*makePulse({5000, 50, 8000, -8000}, LineIn{}),
                                   *makePulse({5000, 50, 8000, -8000}, LineIn{10, 20000, 400})));
}
BENCHMARK(BM_MeasureBufferManyEdges)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// Silence: no edges, the levels only.
void BM_MeasureBufferSilence(benchmark::State& state) {
    measureBoth(state, interleavedCapture(*makeSilence(), *makeSilence()));
}
BENCHMARK(BM_MeasureBufferSilence)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
