// The screen the instrument draws on: a persistent RGB32 image that the canvas widget copies to the
// window. Lines and texts go straight into the image bits, so a redraw allocates nothing.
//
// Lines: Bresenham, one pixel wide, clipped to the image. The first point of a line is set, its
// end point is not (the next segment of a polyline sets it), so a line to the pen's own position
// sets nothing. Along the major axis, step i of a line from (x0, y0) lies on the minor axis at
// x0/y0 + Round(i * dminor / dmajor) with halves rounded away from the start point. Any int
// coordinates are allowed; nothing outside the image is ever written.
//
// Texts: the window's font (bold, 13 pixels), one colour, no anti-aliasing, no background fill;
// textOut puts the top-left corner of the text's line box at the point and leaves the pen where it
// was. The glyphs of printable ASCII are rendered once, when the canvas is made, and copied from
// that cache afterwards; other characters are drawn by QPainter, which may allocate.
#pragma once

#include <QFont>
#include <QImage>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "instrument/Canvas.h"
#include "window/WindowDesign.h"

namespace window {

class ScreenCanvas final : public instrument::Canvas {
  public:
    // Needs a QGuiApplication (the glyph cache is rendered here).
    explicit ScreenCanvas(int clientWidth = kDesignClientWidth,
                          int clientHeight = kDesignClientHeight);

    // A new client size. Keeps nothing: the image is black afterwards. The image is the client
    // size, but at least the designed client area; a smaller window shows its top-left
    // part.
    void resize(int clientWidth, int clientHeight);
    void clear();  // everything black
    const QImage& image() const { return image_; }
    // The fingerprint of every pixel of the image: equal values, the same picture (but for a
    // chance of about 2^-64). Kept up while the image is drawn, so reading it costs nothing.
    uint64_t fingerprint() const { return fingerprint_; }

    void setPenColor(instrument::Rgb color) override { pen_ = toPixel(color); }
    void setFontColor(instrument::Rgb color) override { font_ = toPixel(color); }
    void moveTo(int x, int y) override { x_ = x, y_ = y; }
    void lineTo(int x, int y) override;
    void textOut(int x, int y, std::string_view text) override;
    int clientWidth() const override { return clientWidth_; }
    int clientHeight() const override { return clientHeight_; }

    int textHeight() const { return lineHeight_; }
    // Width in pixels of `text` as textOut would advance over it (printable ASCII).
    int textWidth(std::string_view text) const;

  private:
    struct Glyph {
        uint32_t firstDot = 0;  // into dots_
        uint32_t dotCount = 0;
        int advance = 0;
    };
    struct Dot {
        int16_t dx, dy;  // from the glyph's top-left corner
    };
    static constexpr char kFirstCached = ' ';
    static constexpr char kLastCached = '~';

    static QRgb toPixel(instrument::Rgb color) { return qRgb(color.r, color.g, color.b); }
    void renderGlyphs();
    void drawLine(int x0, int y0, int x1, int y1);
    void drawUncachedText(int x, int y, std::string_view text);
    // Writes pixel `index` (row-major) of `pixels`, the image's bits, and keeps the fingerprint:
    // the exclusive or, over all pixels, of a hash of each pixel's place and colour, as a Zobrist
    // hash keeps a board's. A pixel that changes changes it by its old and new colour's hashes.
    void setPixel(QRgb* pixels, int64_t index, QRgb value) {
        QRgb& pixel = pixels[index];
        if (pixel == value) return;
        fingerprint_ ^= pixelHash(index, pixel) ^ pixelHash(index, value);
        pixel = value;
    }
    static uint64_t pixelHash(int64_t index, QRgb value) {
        // splitmix64's finaliser over the place and the colour.
        uint64_t h = (static_cast<uint64_t>(index) << 32 | value) + 0x9E3779B97F4A7C15ULL;
        h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
        h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
        return h ^ (h >> 31);
    }
    // The fingerprint over the rectangle `room` of the image, as it is now.
    uint64_t fingerprintOf(const QRect& room) const;

    QImage image_;
    int clientWidth_ = 0, clientHeight_ = 0;
    QRgb pen_ = qRgb(0, 0, 0), font_ = qRgb(0, 0, 0);
    int x_ = 0, y_ = 0;

    QFont textFont_;
    int lineHeight_ = 0, ascent_ = 0;
    std::array<Glyph, kLastCached - kFirstCached + 1> glyphs_{};
    std::vector<Dot> dots_;

    uint64_t fingerprint_ = 0;       // of the image as it is
    uint64_t blackFingerprint_ = 0;  // of an all-black image of its size
};

}  // namespace window
