#include "measurement/Levels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace measurement {

namespace {

struct Histogram {
    std::array<uint32_t, kHistogramBins> counts{};
    std::array<int64_t, kHistogramBins> sums{};  // of the samples in each bin
};

// The level of the half of the histogram in bins [first, last): the mean of its shortest run
// holding kStateCover of its samples when that is short enough to be a state, else `extreme`. Of
// two equally short runs the first found from the outer end of the half (its top for the upper
// half) is taken.
double halfLevel(const Histogram& histogram, int first, int last, bool upper, double extreme,
                 bool& isState) {
    const auto count = [&](int bin) { return histogram.counts[static_cast<size_t>(bin)]; };
    uint64_t total = 0;
    for (int bin = first; bin < last; ++bin) total += count(bin);
    const auto wanted = static_cast<uint64_t>(std::ceil(kStateCover * static_cast<double>(total)));

    // Two pointers over the bins, from the outer end inward: for each start, the shortest run
    // from it (inward, up to but not including `end`) that holds `wanted` samples.
    const int step = upper ? -1 : 1;
    const int outer = upper ? last - 1 : first;
    const int inner = upper ? first - 1 : last;
    int bestStart = outer;
    int bestLength = last - first + 1;
    int end = outer;
    uint64_t held = 0;
    for (int start = outer; start != inner; start += step) {
        while (held < wanted && end != inner) {
            held += count(end);
            end += step;
        }
        if (held < wanted) break;
        const int length = (end - start) * step;
        if (length < bestLength) {
            bestLength = length;
            bestStart = start;
        }
        held -= count(start);
    }
    isState = total > 0 && bestLength <= kStateBins;
    if (!isState) return extreme;
    int64_t sum = 0;
    uint64_t samples = 0;
    for (int i = 0, bin = bestStart; i < bestLength; ++i, bin += step) {
        sum += histogram.sums[static_cast<size_t>(bin)];
        samples += count(bin);
    }
    return static_cast<double>(sum) / static_cast<double>(samples);
}

}  // namespace

Levels findLevels(ChannelView samples) {
    Levels levels;
    if (samples.empty()) return levels;
    const size_t frames = samples.size();

    int32_t low = samples[0];
    int32_t high = low;
    for (size_t i = 1; i < frames; ++i) {
        const int32_t x = samples[i];
        low = std::min(low, x);
        high = std::max(high, x);
    }
    levels.maximum = high;
    levels.minimum = low;
    levels.peakToPeak = static_cast<double>(high) - low;
    levels.clipped = high >= kFullScale - 1 - kClipMargin || low <= -kFullScale + kClipMargin;

    if (low == high) {
        levels.top = levels.base = low;
        levels.topIsState = levels.baseIsState = true;
        return levels;
    }

    // Bin of a sample: (x - low) × bins / (range + 1), as a multiplication by a 32.32 fixed-point
    // factor. The product stays below 2^40 for any 32-bit range.
    const uint64_t range = static_cast<uint64_t>(static_cast<int64_t>(high) - low);
    const uint64_t scale = (static_cast<uint64_t>(kHistogramBins) << 32) / (range + 1);
    Histogram histogram;
    for (size_t i = 0; i < frames; ++i) {
        const int32_t x = samples[i];
        const uint64_t offset = static_cast<uint64_t>(static_cast<int64_t>(x) - low);
        const auto bin = static_cast<size_t>((offset * scale) >> 32);
        ++histogram.counts[bin];
        histogram.sums[bin] += x;
    }

    constexpr int kMiddle = kHistogramBins / 2;
    levels.top = halfLevel(histogram, kMiddle, kHistogramBins, true, high, levels.topIsState);
    levels.base = halfLevel(histogram, 0, kMiddle, false, low, levels.baseIsState);
    if (levels.topIsState != levels.baseIsState) {
        // One flat state is no pulse waveform (a drooping top over a flat base is one): both
        // extremes, so that the middle level lies within every edge and no droop crosses it.
        levels.top = high;
        levels.base = low;
        levels.topIsState = levels.baseIsState = false;
    }
    levels.amplitude = levels.top - levels.base;
    return levels;
}

}  // namespace measurement
