// Volts from sample units: a channel's calibration (volts per sample unit at the card's input,
// taken at a known capture level), the probe or divider in front of it, and the level figures of
// a measurement in volts, with the base of a logic signal taken as 0 V.
#pragma once

#include <cstdint>
#include <optional>

#include "measurement/Levels.h"

namespace measurement {

// A channel's calibration on one capture device.
struct Calibration {
    // Volts at the card's input per sample unit (the probe's factor not included).
    double voltsPerUnit = 0.0;
    // The mixer's LINE recording level on this channel when it was taken; none when the card
    // has no such level to read.
    std::optional<int32_t> captureLevel;
    // The coupling's corner from a loopback of known tones on this device and channel; 0: none.
    double loopbackCornerHz = 0.0;
};

// A probe or divider factor from ×0.001 to ×10000; anything else (0, negative, NaN) is none.
inline constexpr double kMinProbeFactor = 1e-3;
inline constexpr double kMaxProbeFactor = 1e4;
bool usableProbeFactor(double factor);

// Volts per sample unit from 1 nV to 1 kV: a calibration outside it is no calibration of a
// sound card.
bool usableCalibration(const Calibration& calibration);

// The figure the user typed the volts of.
enum class CalibrationFigure { Amplitude, PeakToPeak };

// A figure a calibration can rest on: at least 1 % of full scale, so that the noise of the
// least significant bits weighs less than 0.1 %.
inline constexpr double kMinCalibrationUnits = 0.01 * kFullScale;

enum class CalibrationRefusal { None, Clipped, TooSmall, BadVolts, BadProbe };

// The volts per sample unit at the card's input when `figure` of `levels` is `volts` at the probe
// of factor `probeFactor`; `refusal` says why not when there is none.
std::optional<double> voltsPerUnitFrom(const Levels& levels, CalibrationFigure figure, double volts,
                                       double probeFactor, CalibrationRefusal& refusal);

// Whether the capture level now differs from the calibration's, so that the calibration may not
// hold. Unknown either side: not known to differ.
bool captureLevelDiffers(const Calibration& calibration, std::optional<int32_t> currentLevel);

// `levels` with the base taken as 0 (a logic signal's low level): top, mean, extremes and base
// moved by the same amount, the RMS of the moved samples; amplitude and peak to peak stay.
Levels levelsFromBase(const Levels& levels);

// The level figures in volts, at the probe's tip.
struct VoltLevels {
    double top = 0.0;
    double base = 0.0;
    double amplitude = 0.0;
    double peakToPeak = 0.0;
    double mean = 0.0;
    double rms = 0.0;
};
VoltLevels voltLevels(const Levels& levels, double voltsPerUnit, double probeFactor);

}  // namespace measurement
