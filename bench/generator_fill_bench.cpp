// The generator's output. BM_FillSine fills one playback buffer (11000 samples) as the fill handler
// does: target median at most 0.5 ms. BM_PlaybackCycle is one buffer's whole round on the
// simulated card: the device plays it, its done message is dispatched, the window's handler fills
// it again and it is written back; target no allocation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "generator/Generator.h"
#include "generator/Sine.h"
#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "support/CountingNew.h"
#include "support/QuietPanel.h"

namespace {

constexpr int64_t kBufferSamples = instrument::kPlaybackBufferBytes / 2;

// Arguments: frequency in Hz, and the first sample's index in buffers (0: just opened; 400000: a
// day into the run, where the arguments are large).
void BM_FillSine(benchmark::State& state) {
    std::vector<int16_t> buffer(kBufferSamples);
    const generator::SineSetting setting{44100, static_cast<int32_t>(state.range(0)), 32767};
    uint64_t first = static_cast<uint64_t>(state.range(1)) * kBufferSamples;
    for (auto _ : state) {
        generator::fillSine(buffer, first, setting);
        benchmark::DoNotOptimize(buffer.data());
        first += kBufferSamples;
    }
    state.SetItemsProcessed(state.iterations() * kBufferSamples);
}
BENCHMARK(BM_FillSine)
    ->Args({100, 0})
    ->Args({20000, 0})
    ->Args({20000, 400000})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_PlaybackCycle(benchmark::State& state) {
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    testing_support::QuietPanel panel;
    instrument::Instrument instrument{panel, card, loop};
    generator::Generator generator{instrument, panel};
    auto& AudioOut1 = instrument.AudioOut1;
    if (!AudioOut1->StartDevice(&AudioOut1)) {
        state.SkipWithError(AudioOut1->LastErrorText().c_str());
        return;
    }
    loop.pump();
    const long before = testing_support::allocationCount();
    for (auto _ : state) {
        card.advance(kBufferSamples);
        loop.pump();
    }
    state.counters["allocs_per_cycle"] =
        benchmark::Counter(static_cast<double>(testing_support::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["buffers_done"] = AudioOut1->DoneCount();
}
BENCHMARK(BM_PlaybackCycle)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
