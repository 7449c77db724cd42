// The coupling undone: a channel's samples as they were before the input's high-pass, for a logic
// signal whose base level is 0 V.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "measurement/ChannelView.h"
#include "measurement/Measurement.h"

namespace measurement {

// Restored samples are limited to ±kRestoredLimit (far beyond any restored 16-bit capture, which
// stays within a few times full scale), so that any input keeps them and their sums in range.
inline constexpr int32_t kRestoredLimit = 1 << 30;

// A base part shorter than this between its edges is no anchor: the anti-alias filter's ringing
// from both its edges fills it, and its samples do not reach the base level (a pulse train's
// level figures hold from 6 frames on).
inline constexpr double kMinAnchorFrames = 6.0;

struct Restoration {
    // False when the samples were copied as they are: the corner cannot be a coupling's, the
    // capture has no edge (nothing the coupling took away can be told from an offset), or it has no
    // base part to anchor on (only bases narrower than kMinAnchorFrames; or, integrated, a slow
    // capture turns out to hold one level only, its edges the ringing of a jump before it). Also
    // false when the storage is too short; then nothing is written and `frames` is 0.
    bool restored = false;
    size_t frames = 0;     // samples written
    uint32_t anchors = 0;  // base parts the level was pinned to 0 on
    double offset = 0.0;   // sample units taken off before the integration (the capture's mean)
};

// Writes `samples` as they were before a first-order high-pass of corner `cornerHz` into `out`
// (at least samples.size() long; frame k to out[k]), with the base level at 0, and measures them
// into `restored`. `measured` is the measurement of the samples as they came.
//
// The inverse of the high-pass is x = y + (1/τ) ∫ y dt: integrating what came through gives back
// the level the coupling took away. In frames, with k = 2π cornerHz / frameRate, the running sum
// of the trapezoids (y[n - 1] + y[n]) / 2 times k is added to y[n]: the discrete form that the
// sampled first-order high-pass inverts exactly for a band-limited signal (its edges included, to
// within the anti-alias filter's ringing).
//
// An integral drifts: an offset of the converter becomes a ramp, noise a random walk, and its
// starting constant is unknown. So the capture's offset (couplingOffset: its mean over regular
// whole periods, which the coupling makes 0) is taken off first, and the result is then anchored
// on the logic level: the mean of every base part (from a falling edge to the next rising one,
// kEdgeGuardFrames inside each edge, a quarter of a shorter part; at the capture's ends, the
// samples at or below the middle level next to the first rising or the last falling edge) is the
// level 0 at that part's centre, and a straight line between the centres of neighbouring base
// parts (flat before the first and after the last) is taken off every sample. The base parts lie
// by the capture's own edges when its periods are regular (regularPeriods), else by edges found
// again on the integrated samples, whose levels are flat: those of a slow pulse train as it came
// droop to 0 between its jumps, and their edges cannot be trusted.
//
// A drift that is straight over one period is removed whole. What no anchor removes is the error
// of the corner itself: a corner off by a share e of the true one leaves the share e of the droop
// (a top restored with a corner 5 % too high rises by 5 % of what the coupling took off it).
//
// The restored samples are measured as any capture, but for clipping, which is the capture's
// (`measured`'s): a restored level may lie beyond full scale without anything having clipped.
// When the samples are copied, `restored` is `measured`. Allocates nothing once `restored` has
// measured a capture of this length.
Restoration restoreCoupling(ChannelView samples, const ChannelMeasurement& measured,
                            double cornerHz, double frameRate, std::span<int32_t> out,
                            ChannelMeasurement& restored);

}  // namespace measurement
