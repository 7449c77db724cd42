// The envelope's smoothing step, shared by the frequency measurement (which follows positive
// half-waves) and the trigger (which follows R's negative ones): first-order smoothing with weight
// 1/D, Trunc(value / D + previous − previous / D), computed in double.
#pragma once

#include <bit>
#include <cstdint>

namespace instrument {

class Smoothing {
  public:
    explicit Smoothing(int32_t divisor)
        : divisor_(divisor),
          d_(divisor),
          shift_(divisor > 0 && divisor <= kMaxExactDivisor &&
                         std::has_single_bit(static_cast<uint32_t>(divisor))
                     ? std::countr_zero(static_cast<uint32_t>(divisor))
                     : -1) {}

    // A divisor below 1 smooths nothing: the routines then leave the envelope as it is.
    bool smooths() const { return divisor_ >= 1; }
    // The divisor 2^shift() makes every step exact in integers (-1: another divisor).
    int shift() const { return shift_; }

    // The next envelope value after `previous` for `value`.
    int32_t operator()(int64_t previous, int32_t value) const {
        if (shift_ < 0) return static_cast<int32_t>(value / d_ + previous - previous / d_);
        // With D = 2^k (k <= 16) every step of the formula is exact in double, so it equals
        // (value + (D − 1) · previous) / D in integers, truncated toward zero.
        const int64_t sum = value + (divisor_ - 1) * previous;
        return static_cast<int32_t>((sum + ((sum >> 63) & (divisor_ - 1))) >> shift_);
    }

    // The same for a non-negative `previous` and `value` with an exact divisor: truncation is then
    // a shift. The result stays 64-bit, so a chain of steps needs no conversion between them.
    int64_t fromNonNegative(int64_t previous, int32_t value) const {
        return (value + (previous << shift_) - previous) >> shift_;
    }

  private:
    // Up to 2^16 the products stay exact in double beside a 32-bit sample.
    static constexpr int32_t kMaxExactDivisor = 65536;

    int32_t divisor_;
    double d_;
    int shift_;
};

}  // namespace instrument
