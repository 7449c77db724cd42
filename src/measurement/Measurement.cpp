#include "measurement/Measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace measurement {

namespace {

// Mean and RMS over samples [first, last).
void averages(ChannelView samples, size_t first, size_t last, Levels& levels) {
    if (first >= last) return;
    int64_t sum = 0;
    double squares = 0.0;  // exact for 16-bit samples: 2^23 squares of at most 2^30 stay below 2^53
    for (size_t i = first; i < last; ++i) {
        const int64_t x = samples[i];
        sum += x;
        squares += static_cast<double>(x * x);
    }
    const auto count = static_cast<double>(last - first);
    levels.mean = static_cast<double>(sum) / count;
    levels.rms = std::sqrt(squares / count);
}

}  // namespace

void measureChannel(ChannelView samples, double frameRate, ChannelMeasurement& result) {
    result.frames = samples.size();
    result.levels = findLevels(samples);
    result.edgeLevels = edgeLevels(result.levels);
    result.edges.reserve(samples.size());
    findEdges(samples, result.edgeLevels, result.edges);
    result.timing = measureTiming(samples, result.edges, result.levels, frameRate);

    size_t first = 0;
    size_t last = samples.size();
    if (const auto& whole = result.timing.wholePeriods) {
        // The samples from the first edge up to the last one: whole periods to within a sample.
        first = static_cast<size_t>(std::ceil(whole->first));
        last = std::min(static_cast<size_t>(std::ceil(whole->last)), samples.size());
    }
    averages(samples, first, last, result.levels);
}

}  // namespace measurement
