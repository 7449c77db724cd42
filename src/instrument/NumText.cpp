#include "instrument/NumText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace instrument {

namespace {

// Largest decimals a text may ask for; more could not fit the buffer beside the integer part.
constexpr int kMaxDecimals = NumText40::kCapacity - 2;
// Room for any double in fixed notation with kMaxDecimals decimals: 309 integer digits, a sign,
// the point and the decimals.
constexpr size_t kMaxFixedDigits = 312 + kMaxDecimals;

int clampWidth(int width) {
    return std::clamp(width, 0, NumText40::kCapacity);
}

}  // namespace

int64_t roundHalfEven(double value) {
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
    if (decimals == 0) {
        // Whole numbers round halves to even like every other integer read-out.
        setInteger(roundHalfEven(value), width);
        return;
    }
    // to_chars rounds the exact binary value to the shown decimals (halves to even) and always
    // writes a point: the user's locale (a comma in Czech) must not change the texts.
    std::array<char, kMaxFixedDigits> digits;
    const auto [end, error] =
        std::to_chars(digits.begin(), digits.end(), value, std::chars_format::fixed, decimals);
    setPadded(std::string_view(digits.data(), error == std::errc{} ? end - digits.begin() : 0),
              width);
}

void NumText40::setInteger(int64_t value, int width) {
    std::array<char, 24> digits;  // 19 digits and a sign
    const auto [end, error] = std::to_chars(digits.begin(), digits.end(), value);
    setPadded(std::string_view(digits.data(), error == std::errc{} ? end - digits.begin() : 0),
              width);
}

void NumText40::setPadded(std::string_view number, int width) {
    const int padding = std::max(clampWidth(width) - static_cast<int>(number.size()), 0);
    std::memset(text_, ' ', static_cast<size_t>(padding));
    length_ = padding;
    text_[length_] = '\0';
    append(number);  // cut at the capacity, as a longer number would be
}

void NumText40::append(std::string_view text) {
    const size_t room = static_cast<size_t>(kCapacity - length_);
    const size_t count = std::min(room, text.size());
    std::memmove(text_ + length_, text.data(), count);
    length_ += static_cast<int>(count);
    text_[length_] = '\0';
}

}  // namespace instrument
