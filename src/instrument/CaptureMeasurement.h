// The measurements of the capture on the screen: both channels of the capture a drawing pass (or
// the single-shot frame) worked on, measured once per capture, for the measurement window, the
// report and the log. They are an output of the instrument: no routine reads them back.
#pragma once

#include <array>
#include <cstdint>

#include "instrument/InstrumentState.h"
#include "measurement/Measurement.h"
#include "measurement/RestoredChannel.h"

namespace instrument {

// How a channel is measured: as it came, or as a logic signal (its base level 0, the coupling
// undone with the corner found in the capture, or with `givenCornerHz` when that can be one).
struct ChannelChoice {
    bool logic = false;
    double givenCornerHz = 0.0;  // a loopback's corner; 0: none
    bool operator==(const ChannelChoice&) const = default;
};
// R first, as the card's first input.
using ChannelChoices = std::array<ChannelChoice, 2>;

struct CaptureMeasurement {
    // Captures measured since the instrument was built: a reader that saw this number has seen
    // these figures. 0: nothing measured yet.
    uint64_t number = 0;
    // The capture's buffer: capturedBuffers when it was drawn (0: the start values, before any
    // buffer arrived).
    uint64_t buffer = 0;
    // The figures in force: a logic channel's restored (base at 0), another's as it came.
    measurement::ChannelMeasurement R;
    measurement::ChannelMeasurement L;
    // The choices they were measured with, and a logic channel's restoration (the capture as it
    // came, the corner and the restored samples); unused on a channel measured as it came.
    ChannelChoices choices;
    measurement::RestoredChannel restoredR;
    measurement::RestoredChannel restoredL;
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
// `frameRate` into `measured` as `choices` say, numbered as the next one and marked as of
// `buffer`.
void measureCapture(const DrawnCapture& capture, double frameRate, uint64_t buffer,
                    const ChannelChoices& choices, CaptureMeasurement& measured);

}  // namespace instrument
