// Captures for the benchmarks, as the instrument keeps them: one buffer of 11025 frames of the
// simulated card's sources, interleaved in 32-bit slots, taken 3 s into the signal (past any
// settling of the LINE IN model).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sim/SignalSource.h"

namespace bench_support {

inline constexpr size_t kBufferFrames = 11025;
inline constexpr uint64_t kFirstFrame = 3 * 44100;

// R at the even slots, L at the odd ones.
inline std::vector<int32_t> interleavedCapture(const platform::sim::ChannelSource& r,
                                               const platform::sim::ChannelSource& l) {
    std::vector<int32_t> values(2 * kBufferFrames);
    for (size_t k = 0; k < kBufferFrames; ++k) {
        values[2 * k] = r.sample(kFirstFrame + k);
        values[2 * k + 1] = l.sample(kFirstFrame + k);
    }
    return values;
}

// One channel alone.
inline std::vector<int32_t> channelCapture(const platform::sim::ChannelSource& source) {
    std::vector<int32_t> values(kBufferFrames);
    for (size_t k = 0; k < kBufferFrames; ++k) values[k] = source.sample(kFirstFrame + k);
    return values;
}

}  // namespace bench_support
