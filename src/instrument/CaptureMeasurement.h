// The measurements of the capture on the screen: both channels of the capture a drawing pass (or
// the single-shot frame) worked on, measured once per capture, for the measurement window, the
// report and the log. They are an output of the instrument: no routine reads them back.
#pragma once

#include <cstdint>

#include "instrument/InstrumentState.h"
#include "measurement/Measurement.h"

namespace instrument {

struct CaptureMeasurement {
    // Captures measured since the instrument was built: a reader that saw this number has seen
    // these figures. 0: nothing measured yet.
    uint64_t number = 0;
    // The capture's buffer: capturedBuffers when it was drawn (0: the start values, before any
    // buffer arrived).
    uint64_t buffer = 0;
    measurement::ChannelMeasurement R;
    measurement::ChannelMeasurement L;
};

// Which capture a measurement was made of: the buffer and the length of RawSamples then. A drawing
// pass over the same buffer keeps the same capture; "optimum" changes its length.
struct CaptureKey {
    uint64_t buffer = 0;
    int32_t sampleCount = -1;  // none measured yet
    bool operator==(const CaptureKey&) const = default;
};

// Room for the edges of the longest capture RawSamples holds, reserved once, so that measuring any
// capture allocates nothing.
void reserveMeasurement(CaptureMeasurement& measured);

// Measures both channels of `capture` (interleaved: R first, as the card's first input) at
// `frameRate` into `measured`, numbered as the next one and marked as of `buffer`.
void measureCapture(const DrawnCapture& capture, double frameRate, uint64_t buffer,
                    CaptureMeasurement& measured);

}  // namespace instrument
