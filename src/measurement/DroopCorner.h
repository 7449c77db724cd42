// The coupling's corner from the signal itself: the flat parts of a pulse train droop through the
// high-pass as e^(-t/τ) toward 0, and the time constant of that decay is the corner's.
#pragma once

#include <cstddef>
#include <optional>

#include "measurement/ChannelView.h"
#include "measurement/Coupling.h"
#include "measurement/Measurement.h"

namespace measurement {

// Frames next to an edge that are no flat part: the card's anti-alias filter rings there (at
// 12 frames its ringing is down to about 0.3 % of the step, and alternates from frame to frame).
inline constexpr double kEdgeGuardFrames = 12.0;
// A flat part shorter than this between its guards is left out: it shows too little of the decay.
inline constexpr size_t kMinDroopFrames = 16;
// The corner is found only when its relative standard error is at most this...
inline constexpr double kMaxDroopUncertainty = 0.02;
// ...and the flat parts follow the exponential to within this many times the noise about them
// (the RMS of the residuals over the noise's own, from the frame-to-frame differences): a sine or
// a triangle has its edges and "flat parts" too, and fits the decay with residuals of a tenth of
// its amplitude, many times its noise.
inline constexpr double kMaxDroopMisfit = 2.0;

// The corner of the coupling `samples` came through, measured from their flat parts: each part
// between two edges of `measured` (the measurement of these samples), without kEdgeGuardFrames at
// either end and smoothed by (1, 2, 1) / 4 (which takes 98 % off what is left of the filter's
// ringing, at some 20 kHz, and leaves the decay as it is), is fitted as y(t) = c - (1/τ) ∫ y dt,
// the decay toward 0 that a first-order high-pass makes of a flat input, with one τ for all parts
// and a start level c for each (a least-squares fit, linear in its unknowns, so it needs no start
// value and no iteration). The capture's offset (couplingOffset) is taken off first. Absent when
// the capture has no two edges, no flat part of kMinDroopFrames, no decay (a DC-coupled input), no
// exponential one, or too much noise to find it within kMaxDroopUncertainty. Allocates nothing.
std::optional<CouplingCorner> cornerFromDroop(ChannelView samples,
                                              const ChannelMeasurement& measured, double frameRate);

}  // namespace measurement
