// The measurement window's trace view of one channel: a buffer (11025 frames) measured as a logic
// signal through the coupling and drawn on its screen image of 645 x 72 pixels, as each capture
// drawn while the window is open does for both channels (target: well under 1 ms a channel), with
// no allocation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "instrument/MeasuredTrace.h"
#include "measurement/RestoredChannel.h"
#include "platform/sim/SignalSource.h"
#include "support/BenchCapture.h"
#include "support/CountingNew.h"
#include "window/ScreenCanvas.h"

namespace {

using namespace platform::sim;

constexpr int kWidth = 645;
constexpr int kHeight = 72;

void drawTrace(benchmark::State& state, const PulseTrain& pulse) {
    const std::vector<int32_t> values = bench_support::channelCapture(*makePulse(pulse, LineIn{}));
    measurement::RestoredChannel restored;
    const measurement::ChannelView captured(values.data(), values.size(), 1);
    measurement::measureRestored(captured, 44100, 0, restored);
    window::ScreenCanvas canvas(kWidth, kHeight);
    instrument::TraceInput in;
    in.samples = restored.view();
    in.captured = captured;
    in.measured = &restored.measurement;
    in.frameRate = 44100;
    in.voltsPerUnit = 5.0 / 8000;
    instrument::drawMeasuredTrace(canvas, in);
    const long before = testing_support::allocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(instrument::drawMeasuredTrace(canvas, in));
        benchmark::ClobberMemory();
    }
    state.counters["allocs_per_draw"] =
        benchmark::Counter(static_cast<double>(testing_support::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
}

// Two periods of a 50 Hz servo train: 1764 frames over 645 columns.
void BM_ServoTrace(benchmark::State& state) {
    drawTrace(state, {50, 5, 8000, 0, 0});
}
// Two periods of 4.9 kHz: fewer frames than columns.
void BM_FastPwmTrace(benchmark::State& state) {
    drawTrace(state, {4900, 25, 8000, 0, 0});
}

}  // namespace

BENCHMARK(BM_ServoTrace)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FastPwmTrace)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
