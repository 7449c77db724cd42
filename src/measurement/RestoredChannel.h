// A logic channel through an AC-coupled input, measured as the circuit made it: the capture
// measured as it came, the coupling's corner found in it, the samples restored with that corner
// (or a known one) and measured again. For the measurement window; the screen never sees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "measurement/ChannelView.h"
#include "measurement/Coupling.h"
#include "measurement/DroopRestore.h"
#include "measurement/Measurement.h"

namespace measurement {

// Where the corner that the samples were restored with came from.
enum class CornerSource {
    None,   // no corner: the samples are the capture's, unrestored
    Given,  // the caller's (a loopback's, kept with the calibration)
    Droop,  // this capture's own flat parts
};

struct RestoredChannel {
    ChannelMeasurement raw;               // the capture as it came
    std::optional<CouplingCorner> droop;  // the corner in the capture's flat parts, if found
    CornerSource source = CornerSource::None;
    double cornerHz = 0.0;  // the corner restored with; 0 with CornerSource::None
    Restoration restoration;
    // The restored samples (the capture's own when restoration.restored is false), one per frame;
    // its capacity is kept from one capture to the next.
    std::vector<int32_t> samples;
    // The figures of `samples`, base at 0 when restored; clipping is the capture's.
    ChannelMeasurement measurement;

    ChannelView view() const { return {samples.data(), restoration.frames, 1}; }
};

// Measures `samples` (at `frameRate`) into `result.raw`, looks for the corner in their droop, and
// restores them with `givenCornerHz` when that can be a coupling corner (usableCorner), else with
// the droop's corner when there is one, else not at all (`samples` copied, `measurement` the raw
// one). Allocates nothing once `result` has held a capture of this length.
void measureRestored(ChannelView samples, double frameRate, double givenCornerHz,
                     RestoredChannel& result);

}  // namespace measurement
