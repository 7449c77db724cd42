// The scale of the card's output as the generator panel shows it: full scale (32767 sample units)
// is 1100 mV. The amplitude read-out and the self-test's levels use it alike.
#pragma once

#include <cstdint>

#include "instrument/NumText.h"

namespace generator {

// mV = Round(units / 32.767 × 1.1), halves to even.
inline int64_t millivolts(int32_t sampleUnits) {
    constexpr double kUnitsPerMilliFullScale = 32.767;
    constexpr double kFullScaleVolts = 1.1;
    return instrument::roundHalfEven(sampleUnits / kUnitsPerMilliFullScale * kFullScaleVolts);
}

}  // namespace generator
