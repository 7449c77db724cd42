// One single-shot idle pass on a running capture: a 1 kHz square on channel R and a 440 Hz sine
// on channel L, 22050 values per buffer. Target: median at most 0.2 ms, no allocation.
#include <benchmark/benchmark.h>

#include <memory>
#include <utility>

#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "support/CountingNew.h"
#include "support/QuietPanel.h"

namespace {

using platform::sim::makeSilence;
using platform::sim::makeSine;
using platform::sim::makeSquare;
using platform::sim::makeStereo;

struct RunningInstrument {
    explicit RunningInstrument(std::unique_ptr<platform::sim::StereoSource> source) {
        instrument.PeriodicMode = 0;
        card.setSource(std::move(source));
        bool done = true;
        instrument.MyIdleEvent(done);  // opens a run
        card.completeBuffers(4);
        loop.pump();
        instrument.MyIdleEvent(done);  // opens the next run; the pass measures the last buffer
    }

    platform::MessageLoop loop;
    platform::sim::SimCard card;
    testing_support::QuietPanel panel;
    instrument::Instrument instrument{panel, card, loop};
};

// The pass as the window runs it: capture start attempt (the run is in progress), then the two
// analyses and the two frequency measurements.
void runPasses(benchmark::State& state, RunningInstrument& rig) {
    bool done = true;
    const long before = testing_support::allocationCount();
    for (auto _ : state) {
        rig.instrument.MyIdleEvent(done);
        // Not DoNotOptimize(FreqR): benchmark 1.7 may hand a double to it through an integer
        // register and write back garbage.
        benchmark::ClobberMemory();
    }
    state.counters["allocs_per_pass"] =
        benchmark::Counter(static_cast<double>(testing_support::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["FreqL"] = rig.instrument.L.Freq;
    state.counters["FreqR"] = rig.instrument.R.Freq;
}
void BM_SingleShotIdlePass(benchmark::State& state) {
    RunningInstrument rig(makeStereo(makeSquare(1000, 10000), makeSine(440, 10000)));
    runPasses(state, rig);
}
BENCHMARK(BM_SingleShotIdlePass)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// Silence on both inputs: every edge search runs to its limit, the slowest measurement.
void BM_SingleShotIdlePassSilence(benchmark::State& state) {
    RunningInstrument rig(makeStereo(makeSilence(), makeSilence()));
    runPasses(state, rig);
}
BENCHMARK(BM_SingleShotIdlePassSilence)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
