#include "measurement/Timing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace measurement {

namespace {

// The sample just after an edge's crossing: a rising crossing lies in [k - 1, k), a falling one in
// (k - 1, k].
size_t sampleAfter(const Edge& edge, size_t frames) {
    const double k = edge.rising ? std::floor(edge.position) + 1.0 : std::ceil(edge.position);
    return static_cast<size_t>(std::clamp(k, 1.0, static_cast<double>(frames - 1)));
}

// Where the straight line between samples i and i + 1 crosses `level` (they lie on either side).
double crossingAt(ChannelView samples, size_t i, double level) {
    const double a = samples[i];
    return static_cast<double>(i) + (level - a) / (samples[i + 1] - a);
}

// The 10-90 % time of edge `j` in frames, or a negative number when it crosses one of the two
// levels only beyond its neighbouring edges or its legs are too unequal. `from` is the level the
// edge leaves, `to` the one it reaches (from < to for a rising edge).
double transitionFrames(ChannelView samples, std::span<const Edge> edges, size_t j, double from,
                        double to) {
    const size_t frames = samples.size();
    const Edge& edge = edges[j];
    const size_t k = sampleAfter(edge, frames);
    const size_t earliest = j > 0 ? sampleAfter(edges[j - 1], frames) : 0;
    const size_t latest = j + 1 < edges.size() ? sampleAfter(edges[j + 1], frames) - 1 : frames - 1;
    // "Not yet past" a level, in the edge's direction.
    const auto before = [&](size_t i, double level) {
        return edge.rising ? samples[i] <= level : samples[i] >= level;
    };

    size_t i = k - 1;  // the last sample not yet past `from`, at or before k - 1
    while (i > earliest && !before(i, from)) --i;
    if (!before(i, from)) return -1.0;
    size_t m = k;  // the first sample past `to`, at or after k
    while (m < latest && before(m, to)) ++m;
    if (before(m, to)) return -1.0;
    const double lead = edge.position - crossingAt(samples, i, from);
    const double trail = crossingAt(samples, m - 1, to) - edge.position;
    if (std::max(lead, trail) > kTransitionAsymmetry * std::max(std::min(lead, trail), 1.0))
        return -1.0;
    return lead + trail;
}

// The statistic of `values` with the mean worked out from sums instead; in [min, max] as it is
// in exact arithmetic, whatever the rounding.
std::optional<Statistic> withMean(const StatisticAccumulator& values, double mean) {
    std::optional<Statistic> result = values.result();
    if (result) result->mean = std::clamp(mean, result->min, result->max);
    return result;
}

}  // namespace

Timing measureTiming(ChannelView samples, std::span<const Edge> edges, const Levels& levels,
                     double frameRate) {
    Timing timing;
    if (!std::isfinite(frameRate) || frameRate <= 0.0 || samples.size() < 2) return timing;
    const size_t rising = static_cast<size_t>(
        std::count_if(edges.begin(), edges.end(), [](const Edge& e) { return e.rising; }));
    const size_t falling = edges.size() - rising;
    if (rising < 2 && falling < 2) return timing;
    const bool byRising = rising >= 2;
    const double second = 1.0 / frameRate;

    StatisticAccumulator period, frequency, duty, positive, negative;
    double periodSum = 0.0;  // frames
    double highSum = 0.0;
    WholePeriods whole;
    whole.rising = byRising;
    for (size_t j = 0; j < edges.size(); ++j) {
        if (j + 1 < edges.size()) {
            const double width = edges[j + 1].position - edges[j].position;
            (edges[j].rising ? positive : negative).add(width * second);
        }
        if (edges[j].rising != byRising || j + 2 >= edges.size()) continue;
        const double length = edges[j + 2].position - edges[j].position;
        const double high = byRising ? edges[j + 1].position - edges[j].position
                                     : edges[j + 2].position - edges[j + 1].position;
        period.add(length * second);
        frequency.add(frameRate / length);
        duty.add(100.0 * high / length);
        periodSum += length;
        highSum += high;
        if (whole.count == 0) whole.first = edges[j].position;
        whole.last = edges[j + 2].position;
        ++whole.count;
    }
    timing.positiveWidth = positive.result();
    timing.negativeWidth = negative.result();
    if (whole.count > 0) {
        timing.wholePeriods = whole;
        timing.period = withMean(period, periodSum / whole.count * second);
        timing.frequency = withMean(frequency, whole.count * frameRate / periodSum);
        timing.dutyCycle = withMean(duty, 100.0 * highSum / periodSum);
    }

    const double low = levels.base + kTransitionLow * levels.amplitude;
    const double high = levels.base + kTransitionHigh * levels.amplitude;
    StatisticAccumulator rise, fall;
    for (size_t j = 0; j < edges.size(); ++j) {
        const bool up = edges[j].rising;
        const double frames = transitionFrames(samples, edges, j, up ? low : high, up ? high : low);
        if (frames >= 0.0) (up ? rise : fall).add(frames * second);
    }
    timing.riseTime = rise.result();
    timing.fallTime = fall.result();
    const double limit = kSamplingLimitFrames * second;
    timing.riseTimeAtSamplingLimit = timing.riseTime && timing.riseTime->mean <= limit;
    timing.fallTimeAtSamplingLimit = timing.fallTime && timing.fallTime->mean <= limit;
    return timing;
}

}  // namespace measurement
