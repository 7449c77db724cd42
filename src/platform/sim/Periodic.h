// Private to the simulated card's sources: where in its period a periodic signal is at a frame, and
// which pulse trains can be played.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/sim/SignalSource.h"

namespace platform::sim {

// The fraction of a period, in [0, 1), that a signal of `frequency` with a period starting at
// `delay` seconds has run through at `frame`. The period is reduced first (frame × frequency
// modulo the frame rate), so that the phase stays exact for late frames at whole frequencies.
inline double periodPhase(uint64_t frame, double frequency, double delay) {
    constexpr double kRate = kSimFrameRate;
    double phase = std::fmod(static_cast<double>(frame) * frequency, kRate) / kRate;
    phase -= delay * frequency;
    phase -= std::floor(phase);
    return phase < 1.0 ? phase : 0.0;  // a tiny negative phase can round up to 1
}

// Whether `pulse` is one the sources play: frequency above 0 and at most half the frame rate, duty
// above 0 and below 100 %, a finite delay.
inline bool playablePulse(const PulseTrain& pulse) {
    return std::isfinite(pulse.frequency) && pulse.frequency > 0.0 &&
           pulse.frequency <= kSimFrameRate / 2.0 && std::isfinite(pulse.dutyPercent) &&
           pulse.dutyPercent > 0.0 && pulse.dutyPercent < 100.0 && std::isfinite(pulse.delay);
}

}  // namespace platform::sim
