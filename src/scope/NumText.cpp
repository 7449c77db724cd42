#include "scope/NumText.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace scope {

namespace {

// Largest decimals a text may ask for; more could not fit the buffer beside the integer part.
constexpr int kMaxDecimals = NumText40::kCapacity - 2;

int clampWidth(int width) {
    return std::clamp(width, 0, NumText40::kCapacity);
}

}  // namespace

int64_t RoundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    // Beyond ±2^63 there is no integer to round to; saturate rather than overflow.
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (value >= kLimit) return std::numeric_limits<int64_t>::max();
    if (value < -kLimit) return std::numeric_limits<int64_t>::min();

    // value − floor(value) is exact in binary floating point, so the half is found exactly and
    // the result does not depend on the current rounding mode.
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5) {
        rounded = below + 1.0;
    } else if (fraction == 0.5) {
        rounded = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
    }
    if (rounded >= kLimit) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(rounded);
}

void NumText40::clear() {
    length_ = 0;
    text_[0] = '\0';
}

void NumText40::setFixed(double value, int width, int decimals) {
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    int written = 0;
    if (decimals == 0) {
        // Whole numbers round halves to even like every other integer read-out.
        written = std::snprintf(text_, sizeof text_, "%*" PRId64, clampWidth(width),
                                RoundHalfEven(value));
    } else {
        // printf rounds the exact binary value to the shown decimals (halves to even).
        written = std::snprintf(text_, sizeof text_, "%*.*f", clampWidth(width), decimals, value);
    }
    length_ = std::clamp(written, 0, kCapacity);
    text_[length_] = '\0';
}

void NumText40::setInteger(int64_t value, int width) {
    const int written = std::snprintf(text_, sizeof text_, "%*" PRId64, clampWidth(width), value);
    length_ = std::clamp(written, 0, kCapacity);
    text_[length_] = '\0';
}

void NumText40::append(std::string_view text) {
    const size_t room = static_cast<size_t>(kCapacity - length_);
    const size_t count = std::min(room, text.size());
    std::memmove(text_ + length_, text.data(), count);
    length_ += static_cast<int>(count);
    text_[length_] = '\0';
}

}  // namespace scope
