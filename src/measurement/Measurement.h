// The measurement of one channel of a capture: its levels, its edges and the timing from them, in
// one plain record that the window, the report and a log read.
#pragma once

#include <cstddef>
#include <vector>

#include "measurement/ChannelView.h"
#include "measurement/Edges.h"
#include "measurement/Levels.h"
#include "measurement/Timing.h"

namespace measurement {

struct ChannelMeasurement {
    size_t frames = 0;  // samples measured
    Levels levels;      // sample units
    Timing timing;      // s, Hz, %
    EdgeLevels edgeLevels;
    // Every edge, in order, for a view of the trace (the first rising one to trigger on, the edges
    // of a period to mark). Its capacity is kept from one measurement to the next.
    std::vector<Edge> edges;
};

// Measures `samples`, taken at `frameRate` frames per second, into `result`, replacing what it
// held. Mean and RMS are taken over the whole periods (from the first to the last edge that bounds
// them) when there are any, so that a part period at either end does not weigh in; else over the
// whole capture. Any input gives finite figures and no timing it cannot back; the first
// measurement of a length reserves room for the edges, later ones of at most that length allocate
// nothing.
void measureChannel(ChannelView samples, double frameRate, ChannelMeasurement& result);

}  // namespace measurement
