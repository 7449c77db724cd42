// Shared pieces of the simulated card's tests: formats and a buffer pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/WaveTypes.h"

namespace simtest {

inline platform::WaveFormat pcm(uint16_t channels, uint16_t bits, uint32_t rate = 44100) {
    platform::WaveFormat f;
    f.channels = channels;
    f.bitsPerSample = bits;
    f.samplesPerSec = rate;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.avgBytesPerSec = f.blockAlign * rate;
    return f;
}

// Buffers with their headers at fixed addresses.
struct Pool {
    Pool(size_t count, uint32_t bytes)
        : data(count, std::vector<std::byte>(bytes)), headers(count) {
        for (size_t i = 0; i < count; ++i) headers[i] = {data[i].data(), bytes};
    }
    std::vector<std::vector<std::byte>> data;
    std::vector<platform::WaveHeader> headers;
};

// Little-endian 16-bit sample `index` of a byte buffer.
inline int16_t sample16(const std::vector<std::byte>& bytes, size_t index) {
    return static_cast<int16_t>(std::to_integer<uint16_t>(bytes[2 * index]) |
                                (std::to_integer<uint16_t>(bytes[2 * index + 1]) << 8));
}

}  // namespace simtest
