// The measurement window's trace view: one channel as it was measured (restored when it is a
// logic channel), drawn on a canvas so that it stands still from capture to capture: triggered on
// the first rising edge, two periods wide, both half-waves of every pixel column drawn (its
// minimum to its maximum), the top and base levels as lines and the edges of one period marked,
// the columns where the capture clipped in red. Draws straight into the canvas: no allocation.
#pragma once

#include <array>
#include <cstddef>

#include "instrument/Canvas.h"
#include "measurement/ChannelView.h"
#include "measurement/Measurement.h"

namespace instrument {

inline constexpr Rgb kClippedRed{255, 0, 0};
inline constexpr Rgb kLevelGrey{128, 128, 128};
inline constexpr Rgb kEdgeGreen{0, 200, 0};

struct TraceInput {
    // The samples as measured, one per frame (a logic channel's restored ones), and the capture as
    // it came (where it clipped); both as long.
    measurement::ChannelView samples;
    measurement::ChannelView captured;
    const measurement::ChannelMeasurement* measured = nullptr;  // the figures of `samples`
    double frameRate = 0.0;
    Rgb colour = kAqua;
    // The level texts: sample units times this, from `offset` (a logic channel's base: 0 V).
    double voltsPerUnit = 0.0;  // 0: in % of full scale
    double offset = 0.0;        // sample units taken off every level shown
};

// Where the view put things, for a reader of the picture.
struct TraceMarks {
    bool drawn = false;     // false: nothing to draw (no samples); the canvas is left black
    double firstFrame = 0;  // the frame at the left edge
    double framesPerPixel = 0;
    bool triggered = false;  // on the first rising edge (else from the capture's start)
    int topY = -1, baseY = -1;
    // The edges of the period after the trigger: rising, falling, rising; x of each, -1 if none.
    std::array<int, 3> edgeX{-1, -1, -1};
    int clippedColumns = 0;
};

// Draws `input` over the whole client area of `canvas` (black first).
TraceMarks drawMeasuredTrace(Canvas& canvas, const TraceInput& input);

}  // namespace instrument
