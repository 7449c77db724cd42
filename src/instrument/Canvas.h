// The drawing surface of the screen, as the measurement routines see it: a pen colour (every line
// is one pixel wide), move-to and line-to, text at a top-left point with a font colour, and the
// client size.
#pragma once

#include <cstdint>
#include <string_view>

namespace instrument {

// Colour composed from red, green and blue, one byte each: red in the low byte.
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kAqua{0, 255, 255};

class Canvas {
  public:
    virtual void setPenColor(Rgb color) = 0;
    virtual void setFontColor(Rgb color) = 0;
    virtual void moveTo(int x, int y) = 0;
    virtual void lineTo(int x, int y) = 0;  // the pen ends at (x, y)
    virtual void textOut(int x, int y, std::string_view text) = 0;
    virtual int clientWidth() const = 0;
    virtual int clientHeight() const = 0;

  protected:
    ~Canvas() = default;
};

}  // namespace instrument
