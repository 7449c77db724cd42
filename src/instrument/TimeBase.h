// The seven time-base bands: which band a frequency of channel R falls in, and what each band puts
// in force (point spacing, time step, label set).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "instrument/InstrumentState.h"

namespace instrument {

struct TimeBand {
    double upperFrequency;  // Hz; a frequency exactly on the bound belongs to this band
    double pointSpacing;    // pixels between two drawn points
    int32_t timeStep;       // samples between two drawn points
};

// Bands 1..7 at index 0..6. Band 7 has no upper bound.
inline constexpr std::array<TimeBand, kTimeBands> kBandTable{{
    {30.0, 1.0, 6},
    {70.0, 1.0, 3},
    {150.0, 0.83, 1},
    {250.0, 1.65, 1},
    {600.0, 3.3, 1},
    {1200.0, 8.5, 1},
    {0.0, 17.0, 1},
}};

inline constexpr int kFirstBand = 1;
inline constexpr int kLastBand = kTimeBands;

inline const TimeBand& timeBand(int band) {
    return kBandTable[static_cast<std::size_t>(band - 1)];
}

// The band that the automatic time base picks for frequency `freqR`.
inline int automaticBand(double freqR) {
    for (int band = kFirstBand; band < kLastBand; ++band)
        if (freqR <= timeBand(band).upperFrequency) return band;
    return kLastBand;
}

// ComboBox1 items: 0 automatic, 1..7 the bands, 8 follow the generator.
inline constexpr int kTimeBaseAutomaticItem = 0;
inline constexpr int kTimeBaseGeneratorItem = 8;

}  // namespace instrument
