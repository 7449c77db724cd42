// The sound card's input coupling as the measurement sees it: a first-order high-pass (the coupling
// capacitor into the input's resistance) whose corner is measured, either from the droop of a
// pulse train's flat parts or from a loopback of known tones, and then undone.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "measurement/Measurement.h"

namespace measurement {

// A corner is taken as a coupling high-pass only within this range: below it the input is as good
// as DC-coupled (a 0.1 Hz corner takes less than 1 % off a flat part of 15 ms: nothing to restore),
// above it no card's coupling lies (a corner of 441 Hz takes 8 % off a 1 kHz sine and a third off
// every flat part within 0.15 ms).
inline constexpr double kMinCouplingCornerHz = 0.1;
inline constexpr double kMaxCouplingCornerShare = 0.01;  // of the frame rate

struct CouplingCorner {
    double hz = 0.0;  // the -3 dB corner: |H| = f / sqrt(f² + hz²), phase atan(hz / f)
    // The relative standard error (one sigma) of `hz`, from the scatter of what it was measured on
    // about the fitted model: 0.01 says the corner is known to about ±1 %. It grows with noise and
    // with anything the first-order model does not describe.
    double uncertainty = 0.0;
    uint32_t parts = 0;  // the flat parts, or the tones, it rests on

    // The high-pass's time constant τ = 1 / (2π hz), in seconds.
    double timeConstant() const { return 1.0 / (2.0 * std::numbers::pi * hz); }
};

// Whether `cornerHz` can be a coupling corner at `frameRate` frames per second.
inline bool usableCorner(double cornerHz, double frameRate) {
    return std::isfinite(frameRate) && frameRate > 0.0 && cornerHz >= kMinCouplingCornerHz &&
           cornerHz <= kMaxCouplingCornerShare * frameRate;  // false for a NaN corner, too
}

// A capture's periods are regular when the longest is at most this many times the shortest.
inline constexpr double kRegularPeriods = 1.1;

// Whether `measured` has two or more whole periods, regular ones, spanning at least half of it: a
// periodic signal whose edges and mean can be taken as they came. A slow pulse train whose flat
// parts droop to 0 between its jumps has neither: the ringing of a jump crosses the middle level
// of what is left, and a part of a period has a mean of its own.
inline bool regularPeriods(const ChannelMeasurement& measured) {
    const auto& whole = measured.timing.wholePeriods;
    const auto& period = measured.timing.period;
    return whole && period && whole->count >= 2 && period->max <= kRegularPeriods * period->min &&
           2.0 * (whole->last - whole->first) >= static_cast<double>(measured.frames);
}

// What the converter adds to a signal after the coupling, which makes the signal's own mean 0: the
// mean over the whole periods of `measured` when they are regular; else 0.
inline double couplingOffset(const ChannelMeasurement& measured) {
    return regularPeriods(measured) ? measured.levels.mean : 0.0;
}

}  // namespace measurement
