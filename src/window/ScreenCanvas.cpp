#include "window/ScreenCanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdlib>

namespace window {

namespace {

// Products of two coordinate spans need 65 bits.
__extension__ typedef __int128 Wide;

template <typename Int>
Int floorDiv(Int a, Int b) {  // b > 0
    const Int q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

template <typename Int>
Int ceilDiv(Int a, Int b) {  // b > 0
    const Int q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

constexpr QRgb kBlackPixel = 0xff000000u;
constexpr int kFontPixelSize = 13;
constexpr int kInkThreshold = 128;  // grey level from which a glyph pixel counts as ink

}  // namespace

ScreenCanvas::ScreenCanvas(int clientWidth, int clientHeight) {
    resize(clientWidth, clientHeight);
    renderGlyphs();
}

void ScreenCanvas::resize(int clientWidth, int clientHeight) {
    clientWidth_ = std::max(clientWidth, 0);
    clientHeight_ = std::max(clientHeight, 0);
    const int width = std::max(clientWidth_, kMinImageWidth);
    const int height = std::max(clientHeight_, kMinImageHeight);
    if (image_.width() != width || image_.height() != height)
        image_ = QImage(width, height, QImage::Format_RGB32);
    clear();
}

void ScreenCanvas::clear() {
    image_.fill(kBlackPixel);
}

void ScreenCanvas::lineTo(int x, int y) {
    drawLine(x_, y_, x, y);
    x_ = x, y_ = y;
}

namespace {

// The steps [first, last] of a line whose pixels lie inside the image; empty when first > last.
// Step i (0 <= i < n, n the major span) sets the pixel at major0 + i * majorStep along the major
// axis and minor0 + m(i) * minorStep along the minor one, m(i) = floor((2 i dMinor + n) / (2 n)).
// Both are monotonic in i, so the steps inside the image form one interval, found by division.
// Int is int64_t when the products below fit in it, else the 128-bit Wide.
template <typename Int>
void visibleSteps(int64_t n, int64_t dMinor, int64_t major0, int64_t majorStep, int64_t majorSize,
                  int64_t minor0, int64_t minorStep, int64_t minorSize, int64_t& first,
                  int64_t& last) {
    Int lo = 0, hi = n - 1;
    if (majorStep > 0) {
        lo = std::max<Int>(lo, -major0);
        hi = std::min<Int>(hi, majorSize - 1 - major0);
    } else {
        lo = std::max<Int>(lo, major0 - (majorSize - 1));
        hi = std::min<Int>(hi, major0);
    }
    const Int mLow = minorStep > 0 ? -minor0 : minor0 - (minorSize - 1);
    const Int mHigh = minorStep > 0 ? minorSize - 1 - minor0 : minor0;
    if (dMinor == 0) {
        if (mLow > 0 || mHigh < 0) hi = lo - 1;
    } else if (lo <= hi) {
        const Int twoMajor = Int{2} * n, twoMinor = Int{2} * dMinor;
        lo = std::max(lo, ceilDiv<Int>(twoMajor * mLow - n, twoMinor));
        hi = std::min(hi, floorDiv<Int>(twoMajor * (mHigh + 1) - n - 1, twoMinor));
    }
    first = static_cast<int64_t>(lo);
    last = static_cast<int64_t>(std::max(hi, lo - 1));
}

}  // namespace

void ScreenCanvas::drawLine(int x0, int y0, int x1, int y1) {
    const int64_t dx = std::llabs(int64_t{x1} - x0);
    const int64_t dy = std::llabs(int64_t{y1} - y0);
    const int64_t n = std::max(dx, dy);
    if (n == 0) return;

    const bool xMajor = dx >= dy;
    const int64_t major0 = xMajor ? x0 : y0;
    const int64_t minor0 = xMajor ? y0 : x0;
    const int64_t majorStep = (xMajor ? x1 >= x0 : y1 >= y0) ? 1 : -1;
    const int64_t minorStep = (xMajor ? y1 >= y0 : x1 >= x0) ? 1 : -1;
    const int64_t dMinor = xMajor ? dy : dx;
    const int64_t majorSize = xMajor ? image_.width() : image_.height();
    const int64_t minorSize = xMajor ? image_.height() : image_.width();

    // With every coordinate and span below 2^24 the products stay below 2^51.
    constexpr int64_t kSmall = int64_t{1} << 24;
    const bool small = n < kSmall && std::llabs(minor0) < kSmall && minorSize < kSmall;
    int64_t first = 0, last = -1;
    if (small)
        visibleSteps<int64_t>(n, dMinor, major0, majorStep, majorSize, minor0, minorStep, minorSize,
                              first, last);
    else
        visibleSteps<Wide>(n, dMinor, major0, majorStep, majorSize, minor0, minorStep, minorSize,
                           first, last);
    if (first > last) return;

    // The error term, run incrementally from the first visible step.
    const int64_t twoMajor = 2 * n, twoMinor = 2 * dMinor;
    int64_t minorOffset = 0, error = 0;
    if (small) {
        const int64_t numerator = twoMinor * first + n;
        minorOffset = numerator / twoMajor;
        error = numerator % twoMajor;
    } else {
        const Wide numerator = Wide{twoMinor} * first + n;
        minorOffset = static_cast<int64_t>(numerator / twoMajor);
        error = static_cast<int64_t>(numerator % twoMajor);
    }

    uchar* const bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    int64_t major = major0 + majorStep * first;
    for (int64_t step = first; step <= last; ++step) {
        const int64_t minor = minor0 + minorStep * minorOffset;
        const int64_t x = xMajor ? major : minor;
        const int64_t y = xMajor ? minor : major;
        reinterpret_cast<QRgb*>(bits + y * stride)[x] = pen_;
        major += majorStep;
        error += twoMinor;
        if (error >= twoMajor) {
            error -= twoMajor;
            ++minorOffset;
        }
    }
}

void ScreenCanvas::renderGlyphs() {
    textFont_ = QFont();
    textFont_.setPixelSize(kFontPixelSize);
    textFont_.setBold(true);
    textFont_.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(textFont_);
    lineHeight_ = metrics.height();
    ascent_ = metrics.ascent();

    dots_.clear();
    for (char c = kFirstCached; c <= kLastCached; ++c) {
        const QChar ch(c);
        const QRect ink = metrics.boundingRect(ch);
        const int advance = metrics.horizontalAdvance(ch);
        const int left = std::min(0, ink.left());
        const int width = std::max(advance, ink.right() + 1) - left;

        QImage cell(std::max(width, 1), std::max(lineHeight_, 1), QImage::Format_Grayscale8);
        cell.fill(0);
        {
            QPainter painter(&cell);
            painter.setFont(textFont_);
            painter.setPen(Qt::white);
            painter.drawText(-left, ascent_, QString(ch));
        }

        Glyph& glyph = glyphs_[static_cast<size_t>(c - kFirstCached)];
        glyph.firstDot = static_cast<uint32_t>(dots_.size());
        glyph.advance = advance;
        for (int row = 0; row < cell.height(); ++row) {
            const uchar* line = cell.constScanLine(row);
            for (int col = 0; col < cell.width(); ++col)
                if (line[col] >= kInkThreshold)
                    dots_.push_back({static_cast<int16_t>(col + left), static_cast<int16_t>(row)});
        }
        glyph.dotCount = static_cast<uint32_t>(dots_.size()) - glyph.firstDot;
    }
}

int ScreenCanvas::textWidth(std::string_view text) const {
    int width = 0;
    for (const char c : text)
        if (c >= kFirstCached && c <= kLastCached)
            width += glyphs_[static_cast<size_t>(c - kFirstCached)].advance;
    return width;
}

void ScreenCanvas::textOut(int x, int y, std::string_view text) {
    for (const char c : text) {
        if (c < kFirstCached || c > kLastCached) {  // also every byte of a UTF-8 sequence
            drawUncachedText(x, y, text);
            return;
        }
    }

    uchar* const bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    const int64_t width = image_.width(), height = image_.height();
    int64_t penX = x;
    for (const char c : text) {
        const Glyph& glyph = glyphs_[static_cast<size_t>(c - kFirstCached)];
        const Dot* dot = dots_.data() + glyph.firstDot;
        for (uint32_t k = 0; k < glyph.dotCount; ++k, ++dot) {
            const int64_t px = penX + dot->dx, py = int64_t{y} + dot->dy;
            if (px >= 0 && px < width && py >= 0 && py < height)
                reinterpret_cast<QRgb*>(bits + py * stride)[px] = font_;
        }
        penX += glyph.advance;
    }
}

void ScreenCanvas::drawUncachedText(int x, int y, std::string_view text) {
    // QPainter's fixed-point coordinates would overflow far outside: such a text cannot reach the
    // image anyway (no glyph of this font is wider than kMaxGlyphWidth).
    constexpr int64_t kMaxGlyphWidth = 64;
    const auto reach = static_cast<int64_t>(text.size()) * kMaxGlyphWidth;
    if (x >= image_.width() || y >= image_.height() || int64_t{x} + reach <= 0 ||
        int64_t{y} + lineHeight_ <= 0)
        return;
    QPainter painter(&image_);
    painter.setFont(textFont_);
    painter.setPen(QColor::fromRgb(font_));
    painter.drawText(x, y + ascent_,
                     QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace window
