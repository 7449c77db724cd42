// The edges of one channel: crossings of the middle level between base and top, with a
// hysteresis, each placed between two samples.
#pragma once

#include <vector>

#include "measurement/ChannelView.h"
#include "measurement/Levels.h"

namespace measurement {

// The hysteresis: an edge counts once the signal has gone from below middle - h to above
// middle + h (rising), or back (falling), with h kHysteresisShare of the amplitude (the band from
// 35 % to 65 % of the way from base to top), and at least kMinHysteresis: noise whose peaks stay
// within ±15 % of the amplitude, or within ±82 sample units of a flat line, makes no edges.
inline constexpr double kHysteresisShare = 0.15;
inline constexpr double kMinHysteresis = 0.0025 * kFullScale;  // 0.25 % of full scale

struct Edge {
    // Frames from the view's first sample: where the straight line between the two samples on
    // either side of the middle level crosses it (the last such crossing before the edge counted).
    double position = 0.0;
    bool rising = false;
};

struct EdgeLevels {
    double middle = 0.0;
    double hysteresis = 0.0;  // h: the band is middle ± h
};

// The middle level and hysteresis for a channel of these levels.
EdgeLevels edgeLevels(const Levels& levels);

// Replaces `edges` with the edges of `samples`, in order; they alternate in direction. The first
// is the first crossing after the signal has been outside the band once, so a capture that starts
// inside it or on a level loses nothing but that part. Appends within the capacity the caller
// reserved when it holds samples.size() (there can be no more edges than samples), so that
// measuring a buffer allocates nothing.
void findEdges(ChannelView samples, const EdgeLevels& levels, std::vector<Edge>& edges);

}  // namespace measurement
