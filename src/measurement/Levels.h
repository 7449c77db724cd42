// The level figures of one channel: top and base as state levels from the sample histogram,
// extremes, mean and RMS, and whether the capture clipped.
#pragma once

#include <cstdint>

#include "measurement/ChannelView.h"

namespace measurement {

// The capture's full scale: its values run from -kFullScale to kFullScale - 1.
inline constexpr int32_t kFullScale = 32768;
// A sample this close to either end of the range, or beyond it, marks the channel clipped: an
// input stage that clips ahead of the converter's filter leaves its flat tops a little short of
// full scale.
inline constexpr int32_t kClipMargin = 32;  // about 0.1 % of full scale

// The state levels, from a histogram of kHistogramBins over [minimum, maximum] split in the
// middle: the mode of each half, estimated as the shortest run of bins that holds kStateCover of
// that half's samples, which noise or ringing about a level leaves centred on it. When that run
// spans at most kStateBins (a fifth of the range), the half has a flat state and its level is the
// mean of the samples in the run; the few samples of the edges stay outside it. Otherwise the
// extreme stands in: such a run spans 31 % of a sine's range and 37.5 % of a triangle's, so their
// top is the maximum and their base the minimum. A pulse waveform has two states or none: when
// only one half has one (a top that droops through the coupling over a base that has recovered to
// a flat line), both levels are the extremes, which keeps the middle level within every edge.
inline constexpr int kHistogramBins = 256;
inline constexpr double kStateCover = 0.75;
inline constexpr int kStateBins = kHistogramBins / 5;

struct Levels {
    double top = 0.0;  // sample units
    double base = 0.0;
    bool topIsState = false;  // false: the maximum stands in for the top (base: the minimum)
    bool baseIsState = false;
    double amplitude = 0.0;   // top - base
    double peakToPeak = 0.0;  // maximum - minimum
    int32_t maximum = 0;
    int32_t minimum = 0;
    double mean = 0.0;  // over whole periods when there are any, else over the whole capture
    double rms = 0.0;
    // Samples at or next to full scale: the signal went beyond what the card records, and none of
    // the level figures can be trusted.
    bool clipped = false;
};

// Top, base, amplitude, extremes and clipping of `samples` (mean and RMS are left 0: they depend
// on where the whole periods lie). An empty view gives all zeros.
Levels findLevels(ChannelView samples);

}  // namespace measurement
