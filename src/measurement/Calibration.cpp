#include "measurement/Calibration.h"

#include <algorithm>
#include <cmath>

namespace measurement {

namespace {

constexpr double kMinVoltsPerUnit = 1e-9;
constexpr double kMaxVoltsPerUnit = 1e3;

}  // namespace

bool usableProbeFactor(double factor) {
    return std::isfinite(factor) && factor >= kMinProbeFactor && factor <= kMaxProbeFactor;
}

bool usableCalibration(const Calibration& calibration) {
    const double v = calibration.voltsPerUnit;
    return std::isfinite(v) && v >= kMinVoltsPerUnit && v <= kMaxVoltsPerUnit;
}

std::optional<double> voltsPerUnitFrom(const Levels& levels, CalibrationFigure figure, double volts,
                                       double probeFactor, CalibrationRefusal& refusal) {
    refusal = CalibrationRefusal::None;
    const double units =
        figure == CalibrationFigure::Amplitude ? levels.amplitude : levels.peakToPeak;
    if (!usableProbeFactor(probeFactor)) {
        refusal = CalibrationRefusal::BadProbe;
    } else if (!std::isfinite(volts) || volts <= 0.0) {
        refusal = CalibrationRefusal::BadVolts;
    } else if (levels.clipped) {
        refusal = CalibrationRefusal::Clipped;
    } else if (!(units >= kMinCalibrationUnits)) {
        refusal = CalibrationRefusal::TooSmall;
    } else {
        const Calibration c{volts / probeFactor / units, std::nullopt, 0.0};
        if (usableCalibration(c)) return c.voltsPerUnit;
        refusal = CalibrationRefusal::BadVolts;
    }
    return std::nullopt;
}

bool captureLevelDiffers(const Calibration& calibration, std::optional<int32_t> currentLevel) {
    return calibration.captureLevel && currentLevel && *calibration.captureLevel != *currentLevel;
}

Levels levelsFromBase(const Levels& levels) {
    Levels moved = levels;
    const double shift = -levels.base;
    moved.base = 0.0;
    moved.top = levels.top + shift;
    moved.mean = levels.mean + shift;
    moved.maximum = static_cast<int32_t>(std::lround(levels.maximum + shift));
    moved.minimum = static_cast<int32_t>(std::lround(levels.minimum + shift));
    // Over the same samples: mean((y + s)²) = mean(y²) + 2 s mean(y) + s².
    const double square = levels.rms * levels.rms + 2.0 * shift * levels.mean + shift * shift;
    moved.rms = std::sqrt(std::max(0.0, square));
    return moved;
}

VoltLevels voltLevels(const Levels& levels, double voltsPerUnit, double probeFactor) {
    const double k = voltsPerUnit * probeFactor;
    return {levels.top * k,        levels.base * k, levels.amplitude * k,
            levels.peakToPeak * k, levels.mean * k, levels.rms * k};
}

}  // namespace measurement
