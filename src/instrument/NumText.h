// Rounding and the fixed-point number texts of the read-outs and scales.
#pragma once

#include <cstdint>
#include <string_view>

namespace instrument {

// Round to the nearest integer, halves to even.
int64_t roundHalfEven(double value);

// A text buffer of at most 40 characters, built in place without allocating.
class NumText40 {
  public:
    static constexpr int kCapacity = 40;

    std::string_view view() const { return {text_, static_cast<size_t>(length_)}; }
    const char* c_str() const { return text_; }
    int length() const { return length_; }

    void clear();
    // `value` with at least `width` characters and `decimals` decimals, right-aligned with
    // spaces, point as decimal separator whatever the locale, rounded to the shown decimals.
    void setFixed(double value, int width, int decimals);
    // Plain decimal integer, right-aligned with spaces in `width` characters (0: no padding).
    void setInteger(int64_t value, int width = 0);
    // Appends text, cut at the capacity.
    void append(std::string_view text);

  private:
    // `number` right-aligned with spaces in `width` characters, cut at the capacity.
    void setPadded(std::string_view number, int width);

    char text_[kCapacity + 1] = {};
    int length_ = 0;
};

}  // namespace instrument
