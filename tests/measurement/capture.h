// Captures for the measurement tests, laid out as the instrument keeps them: interleaved 16-bit
// values in 32-bit slots, the card's first input then its second, 11025 frames (one buffer).
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "measurement/Measurement.h"
#include "platform/sim/SignalSource.h"

namespace measurement_test {

inline constexpr double kRate = 44100.0;
inline constexpr size_t kBufferFrames = 11025;

// `first` and `second` from frame `start` on (some seconds into the card's run, so that nothing
// lines up with frame 0).
inline std::vector<int32_t> render(const platform::sim::ChannelSource& first,
                                   const platform::sim::ChannelSource& second,
                                   size_t frames = kBufferFrames,
                                   uint64_t start = 3 * 44100 + 777) {
    std::vector<int32_t> values(2 * frames);
    for (size_t k = 0; k < frames; ++k) {
        values[2 * k] = first.sample(start + k);
        values[2 * k + 1] = second.sample(start + k);
    }
    return values;
}

// `source` measured on the second input, with a signal of its own on the first, so that every
// figure also shows the channel was read with its stride and nothing of the other.
inline measurement::ChannelMeasurement measureSecond(const platform::sim::ChannelSource& source) {
    const auto other = platform::sim::makeSine(3333, 20000);
    const std::vector<int32_t> values = render(*other, source);
    measurement::ChannelMeasurement result;
    measurement::measureChannel(measurement::ChannelView::interleaved(values, 2, 1), kRate, result);
    return result;
}

// One channel of `source` from frame `start`, kBufferFrames long.
inline std::vector<int32_t> renderOne(const platform::sim::ChannelSource& source, uint64_t start) {
    std::vector<int32_t> values(kBufferFrames);
    for (size_t k = 0; k < values.size(); ++k) values[k] = source.sample(start + k);
    return values;
}

// A first-order high-pass's gain at `hz` for a corner at `cornerHz` (none at 0).
inline double highPassGain(double hz, double cornerHz) {
    return cornerHz > 0 ? hz / std::hypot(hz, cornerHz) : 1.0;
}

}  // namespace measurement_test
