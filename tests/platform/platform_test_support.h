// Shared pieces of the platform tests: formats, a buffer pool, and a target that records messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/WaveTypes.h"

namespace platformtest {

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
    uintptr_t address(size_t i) const { return reinterpret_cast<uintptr_t>(&headers[i]); }

    std::vector<std::vector<std::byte>> data;
    std::vector<platform::WaveHeader> headers;
};

// Little-endian 16-bit sample `index` of a byte buffer.
inline int16_t sample16(const std::vector<std::byte>& bytes, size_t index) {
    return static_cast<int16_t>(std::to_integer<uint16_t>(bytes[2 * index]) |
                                (std::to_integer<uint16_t>(bytes[2 * index + 1]) << 8));
}

struct Message {
    platform::WaveMessage message;
    uintptr_t param1;
    uintptr_t param2;
    bool operator==(const Message&) const = default;
};
using Messages = std::vector<Message>;

inline std::ostream& operator<<(std::ostream& os, const Message& m) {
    return os << '{' << std::hex << static_cast<uint32_t>(m.message) << std::dec << ", " << m.param1
              << ", " << m.param2 << '}';
}

// Records every message it receives, in order.
struct Recorder final : platform::MessageTarget {
    Messages got;
    void handleMessage(uint32_t message, uintptr_t p1, uintptr_t p2) override {
        got.push_back({static_cast<platform::WaveMessage>(message), p1, p2});
    }
    // The header addresses of the messages `message`, in the order they arrived.
    std::vector<uintptr_t> headers(platform::WaveMessage message) const {
        std::vector<uintptr_t> out;
        for (const Message& m : got) {
            if (m.message == message) out.push_back(m.param2);
        }
        return out;
    }
};

}  // namespace platformtest
