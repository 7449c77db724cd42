// The timing figures of one channel, from its edges: period and frequency, pulse widths, duty
// cycle, rise and fall times, each over all the periods, pulses or edges in the capture.
#pragma once

#include <optional>
#include <span>

#include "measurement/ChannelView.h"
#include "measurement/Edges.h"
#include "measurement/Levels.h"
#include "measurement/Statistic.h"

namespace measurement {

// Rise and fall times are measured between these shares of the amplitude above the base.
inline constexpr double kTransitionLow = 0.1;
inline constexpr double kTransitionHigh = 0.9;
// An edge whose way from the 10 % level to the middle takes more than this many times its way on
// from the middle to 90 % (or the other way round; a leg shorter than one frame counts as one) is
// no transition between the levels but a level drooping through a reference level, as the coupling
// makes of a slow pulse train: it has no rise or fall time. A sine's legs are equal, an RC
// charge's differ by a factor of 2.7.
inline constexpr double kTransitionAsymmetry = 3.0;
// A rise or fall time of at most this many sample periods (45 µs at 44100 frames/s) is what the
// card's own filter and the sampling make of any faster edge: it bounds the edge, it does not
// measure it.
inline constexpr double kSamplingLimitFrames = 2.0;

// The whole periods of the capture: from the first to the last edge of one direction.
struct WholePeriods {
    double first = 0.0;  // edge positions, frames from the capture's start
    double last = 0.0;
    uint32_t count = 0;
    bool rising = true;  // the direction they are timed from
};

struct Timing {
    // Each absent when the capture holds none of it; a channel without two edges of the same
    // direction has none at all.
    std::optional<Statistic> period;         // s, one per whole period
    std::optional<Statistic> frequency;      // Hz: mean over the whole periods, rest per period
    std::optional<Statistic> positiveWidth;  // s, one per pulse above the middle level
    std::optional<Statistic> negativeWidth;  // s, one per pulse below it
    std::optional<Statistic> dutyCycle;      // %: the positive width's share of each period
    std::optional<Statistic> riseTime;       // s, 10-90 %, one per rising edge
    std::optional<Statistic> fallTime;       // s, 90-10 %, one per falling edge
    bool riseTimeAtSamplingLimit = false;    // mean at most kSamplingLimitFrames
    bool fallTimeAtSamplingLimit = false;
    std::optional<WholePeriods> wholePeriods;
};

// The timing of `samples` with these `edges` (alternating, as findEdges gives them) and levels, at
// `frameRate` frames per second (no timing unless it is a positive, finite number).
//
// Periods run from rising edge to rising edge, or from falling edge to falling edge when there
// are fewer than two rising edges. The mean frequency is the number of whole periods over the
// time from the first to the last edge that bounds them (the reciprocal of the mean period), which
// any single period's error hardly moves; min, max and sigma are those of each period's own
// frequency. The mean duty cycle is the summed positive widths of the whole periods over their
// summed length; min, max and sigma are each period's. Widths count every pulse with both its
// edges in the capture. A rise time runs from the last crossing of the 10 % level before the edge
// to the first crossing of 90 % after it, each placed between samples, within the edge's
// neighbours; an edge that does not cross both before them, or whose two legs differ by more than
// kTransitionAsymmetry, has none.
Timing measureTiming(ChannelView samples, std::span<const Edge> edges, const Levels& levels,
                     double frameRate);

}  // namespace measurement
