// Volts from sample units: calibrated on one signal through the simulated LINE IN, the levels of
// others (other frequency, duty, amplitude, noise, sines too) come out within 1 %; what cannot be
// calibrated on is refused; a logic signal's levels from its base keep their RMS true.
#include "measurement/Calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "capture.h"
#include "measurement/RestoredChannel.h"

namespace {

using namespace platform::sim;
using namespace measurement;
using namespace measurement_test;

// A logic channel as the measurement window measures it: through the LINE IN, restored.
Levels restoredLevels(const PulseTrain& pulse, double corner, uint64_t seed) {
    const std::vector<int32_t> values =
        render(*makeSine(777, 9000), *makePulse(pulse, LineIn{corner, 20000, 4, seed}),
               kBufferFrames, 2 * 44100 + 999 * seed);
    RestoredChannel r;
    measureRestored(ChannelView::interleaved(values, 2, 1), kRate, 0, r);
    return levelsFromBase(r.measurement.levels);
}

TEST(Calibration, OneSignalCalibratesTheLevelsOfOthersWithinOnePercent) {
    // The card's units per volt drawn (a card of 0.7 to 2 V full scale), a probe of ×1 or ×10;
    // calibrated on a 5 V logic signal's amplitude, then pulse trains of other amplitudes,
    // frequencies and duties read back in volts.
    std::mt19937 random(23);
    std::uniform_real_distribution<double> unit(0, 1);
    double worst = 0;
    for (int i = 0; i < 12; ++i) {
        const double fullScaleVolts = 0.7 + 1.3 * unit(random);
        const double probe = i % 2 ? 10.0 : 1.0;
        const double unitsPerVolt = kFullScale / fullScaleVolts / probe;  // at the probe's tip
        const double calibrationVolts = probe * 0.4 * fullScaleVolts;
        const PulseTrain known{50, 25, static_cast<int>(calibrationVolts * unitsPerVolt), 0, 0};
        const Levels measured = restoredLevels(known, 10, i + 1);
        CalibrationRefusal refusal{};
        const auto perUnit = voltsPerUnitFrom(measured, CalibrationFigure::Amplitude,
                                              calibrationVolts, probe, refusal);
        ASSERT_TRUE(perUnit);
        for (const auto& [hz, duty] : {std::pair{100.0, 50.0}, std::pair{50.0, 5.0},
                                       std::pair{490.0, 25.0}, std::pair{1000.0, 70.0}}) {
            const double volts = (0.1 + 0.5 * unit(random)) * fullScaleVolts * probe;
            const PulseTrain other{hz, duty, static_cast<int>(volts * unitsPerVolt), 0, 0.3 / hz};
            const VoltLevels v = voltLevels(restoredLevels(other, 10, 100 + i), *perUnit, probe);
            SCOPED_TRACE(std::to_string(hz) + " Hz " + std::to_string(duty) + " %, " +
                         std::to_string(volts) + " V");
            EXPECT_NEAR(v.top, volts, 0.01 * volts);
            EXPECT_NEAR(v.amplitude, volts, 0.01 * volts);
            EXPECT_NEAR(v.base, 0.0, 0.01 * volts);
            EXPECT_NEAR(v.mean, duty / 100 * volts, 0.01 * volts);
            worst = std::max(worst, std::abs(v.amplitude - volts) / volts);
        }
    }
    std::printf("worst amplitude error after calibration: %.2f %%\n", 100 * worst);
}

TEST(Calibration, ASineCalibratedByItsPeakToPeakReadsOtherSinesInVolts) {
    // A multimeter's sine: 2.0 V peak to peak at 1 kHz, then 300 Hz and 5 kHz sines.
    const double unitsPerVolt = 12000.0;
    const auto first = renderOne(*makeSine(1000, 12000, LineIn{10, 20000, 4, 1}), 5000);
    ChannelMeasurement m;
    measureChannel({first.data(), first.size(), 1}, kRate, m);
    CalibrationRefusal refusal{};
    const auto perUnit =
        voltsPerUnitFrom(m.levels, CalibrationFigure::PeakToPeak, 2.0, 1.0, refusal);
    ASSERT_TRUE(perUnit);
    for (const double hz : {300.0, 5000.0}) {
        const auto other = renderOne(*makeSine(hz, 6000, LineIn{10, 20000, 4, 2}), 7000);
        measureChannel({other.data(), other.size(), 1}, kRate, m);
        const VoltLevels v = voltLevels(m.levels, *perUnit, 1.0);
        EXPECT_NEAR(v.peakToPeak, 12000.0 / unitsPerVolt, 0.01) << hz;
        EXPECT_NEAR(v.rms, 6000.0 / std::sqrt(2.0) / unitsPerVolt, 0.005) << hz;
    }
}

TEST(Calibration, RefusesWhatCannotBeCalibratedOn) {
    Levels good;
    good.amplitude = 10000;
    good.peakToPeak = 11000;
    Levels clipped = good;
    clipped.clipped = true;
    Levels small = good;
    small.amplitude = kMinCalibrationUnits - 1;
    const double nan = std::nan("");
    const struct {
        const char* what;
        Levels levels;
        CalibrationFigure figure;
        double volts, probe;
        CalibrationRefusal refusal;
    } cases[] = {
        {"clipped", clipped, CalibrationFigure::Amplitude, 5, 1, CalibrationRefusal::Clipped},
        {"below 1 % of full scale", small, CalibrationFigure::Amplitude, 5, 1,
         CalibrationRefusal::TooSmall},
        {"peak to peak of the small one is enough", small, CalibrationFigure::PeakToPeak, 5, 1,
         CalibrationRefusal::None},
        {"no volts", good, CalibrationFigure::Amplitude, 0, 1, CalibrationRefusal::BadVolts},
        {"negative volts", good, CalibrationFigure::Amplitude, -5, 1, CalibrationRefusal::BadVolts},
        {"NaN volts", good, CalibrationFigure::Amplitude, nan, 1, CalibrationRefusal::BadVolts},
        {"absurd volts", good, CalibrationFigure::Amplitude, 1e9, 1, CalibrationRefusal::BadVolts},
        {"probe 0", good, CalibrationFigure::Amplitude, 5, 0, CalibrationRefusal::BadProbe},
        {"probe NaN", good, CalibrationFigure::Amplitude, 5, nan, CalibrationRefusal::BadProbe},
        {"probe x10", good, CalibrationFigure::Amplitude, 5, 10, CalibrationRefusal::None},
    };
    for (const auto& c : cases) {
        CalibrationRefusal refusal{};
        const auto perUnit = voltsPerUnitFrom(c.levels, c.figure, c.volts, c.probe, refusal);
        EXPECT_EQ(refusal, c.refusal) << c.what;
        EXPECT_EQ(perUnit.has_value(), c.refusal == CalibrationRefusal::None) << c.what;
    }
    CalibrationRefusal refusal{};
    // With a ×10 probe the card sees a tenth: 5 V at the tip over 10000 units.
    EXPECT_DOUBLE_EQ(
        *voltsPerUnitFrom(good, CalibrationFigure::Amplitude, 5, 10, refusal) * 10 * 10000, 5.0);
}

TEST(Calibration, LevelsFromTheBaseKeepTheRmsOfTheMovedSamples) {
    // A pulse train with a base of -2000: from its base, its RMS is that of the samples moved up
    // by 2000, measured as such.
    const PulseTrain pulse{490, 30, 6000, -2000, 0};
    auto samples = renderOne(*makePulse(pulse), 1234);
    ChannelMeasurement asCame, moved;
    measureChannel({samples.data(), samples.size(), 1}, kRate, asCame);
    for (int32_t& s : samples) s += 2000;
    measureChannel({samples.data(), samples.size(), 1}, kRate, moved);
    const Levels fromBase = levelsFromBase(asCame.levels);
    EXPECT_NEAR(fromBase.base, 0, 1e-9);
    EXPECT_NEAR(fromBase.top, moved.levels.top, 1);
    EXPECT_NEAR(fromBase.mean, moved.levels.mean, 1);
    EXPECT_NEAR(fromBase.rms, moved.levels.rms, 0.5);
    EXPECT_DOUBLE_EQ(fromBase.amplitude, asCame.levels.amplitude);
    EXPECT_DOUBLE_EQ(fromBase.peakToPeak, asCame.levels.peakToPeak);
}

}  // namespace
