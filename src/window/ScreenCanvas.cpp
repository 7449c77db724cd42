#include "window/ScreenCanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdlib>

namespace window {

namespace {

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
    const int width = std::max(clientWidth_, kDesignClientWidth);
    const int height = std::max(clientHeight_, kDesignClientHeight);
    if (image_.width() != width || image_.height() != height) {
        image_ = QImage(width, height, QImage::Format_RGB32);
        image_.fill(kBlackPixel);
        blackFingerprint_ = fingerprintOf(image_.rect());
    }
    clear();
}

void ScreenCanvas::clear() {
    image_.fill(kBlackPixel);
    fingerprint_ = blackFingerprint_;
}

uint64_t ScreenCanvas::fingerprintOf(const QRect& room) const {
    // RGB32 rows hold whole pixels without padding: pixel (x, y) is number y * width + x.
    const auto* pixels = reinterpret_cast<const QRgb*>(image_.constBits());
    uint64_t f = 0;
    for (int y = room.top(); y <= room.bottom(); ++y) {
        for (int x = room.left(); x <= room.right(); ++x) {
            const int64_t index = int64_t{y} * image_.width() + x;
            f ^= pixelHash(index, pixels[index]);
        }
    }
    return f;
}

void ScreenCanvas::lineTo(int x, int y) {
    drawLine(x_, y_, x, y);
    x_ = x, y_ = y;
}

void ScreenCanvas::drawLine(int x0, int y0, int x1, int y1) {
    const int64_t dx = std::llabs(int64_t{x1} - x0);
    const int64_t dy = std::llabs(int64_t{y1} - y0);
    const int64_t n = std::max(dx, dy);  // below 2^32: int coordinates
    if (n == 0) return;

    const bool xMajor = dx >= dy;
    const int64_t major0 = xMajor ? x0 : y0;
    const int64_t minor0 = xMajor ? y0 : x0;
    const int64_t majorStep = (xMajor ? x1 >= x0 : y1 >= y0) ? 1 : -1;
    const int64_t minorStep = (xMajor ? y1 >= y0 : x1 >= x0) ? 1 : -1;
    const int64_t dMinor = xMajor ? dy : dx;
    const int64_t majorSize = xMajor ? image_.width() : image_.height();
    const int64_t minorSize = xMajor ? image_.height() : image_.width();

    // Step i (0 <= i < n) sets the pixel at major0 + i * majorStep along the major axis. Only the
    // steps inside the image along that axis are walked, so a line runs over at most one image
    // width or height whatever its coordinates.
    int64_t first = 0, last = n - 1;
    if (majorStep > 0) {
        first = std::max(first, -major0);
        last = std::min(last, majorSize - 1 - major0);
    } else {
        first = std::max(first, major0 - (majorSize - 1));
        last = std::min(last, major0);
    }
    if (first > last) return;

    // Along the minor axis step i lies m(i) = floor((2 i dMinor + n) / (2 n)) from minor0. At the
    // first step, i dMinor = q n + r (both factors below 2^32, so the product fits 64 unsigned
    // bits) gives m = q + floor((2 r + n) / (2 n)) and the error term (2 r + n) mod 2 n; from there
    // the error term runs incrementally.
    const int64_t twoMajor = 2 * n, twoMinor = 2 * dMinor;
    const uint64_t product = static_cast<uint64_t>(first) * static_cast<uint64_t>(dMinor);
    int64_t minorOffset = static_cast<int64_t>(product / static_cast<uint64_t>(n));
    int64_t error = 2 * static_cast<int64_t>(product % static_cast<uint64_t>(n)) + n;
    if (error >= twoMajor) {
        error -= twoMajor;
        ++minorOffset;
    }

    QRgb* const pixels = reinterpret_cast<QRgb*>(image_.bits());
    const int64_t width = image_.width();
    int64_t major = major0 + majorStep * first;
    for (int64_t step = first; step <= last; ++step) {
        const int64_t minor = minor0 + minorStep * minorOffset;
        if (minor >= 0 && minor < minorSize) {
            const int64_t x = xMajor ? major : minor;
            const int64_t y = xMajor ? minor : major;
            setPixel(pixels, y * width + x, pen_);
        } else if ((minorStep > 0) == (minor >= minorSize)) {
            break;  // past the image along the minor axis: no later step comes back
        }
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

    QRgb* const pixels = reinterpret_cast<QRgb*>(image_.bits());
    const int64_t width = image_.width(), height = image_.height();
    int64_t penX = x;
    for (const char c : text) {
        const Glyph& glyph = glyphs_[static_cast<size_t>(c - kFirstCached)];
        const Dot* dot = dots_.data() + glyph.firstDot;
        for (uint32_t k = 0; k < glyph.dotCount; ++k, ++dot) {
            const int64_t px = penX + dot->dx, py = int64_t{y} + dot->dy;
            if (px >= 0 && px < width && py >= 0 && py < height)
                setPixel(pixels, py * width + px, font_);
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
    // The pixels QPainter may touch (a glyph may reach a little beyond its line box), out of the
    // fingerprint before and back in after.
    constexpr int64_t kInkMargin = 8;
    const auto clampTo = [](int64_t v, int64_t size) {
        return static_cast<int>(std::clamp<int64_t>(v, 0, size - 1));
    };
    const QRect room(QPoint(clampTo(int64_t{x} - kInkMargin, image_.width()),
                            clampTo(int64_t{y} - kInkMargin, image_.height())),
                     QPoint(clampTo(int64_t{x} + reach + kInkMargin, image_.width()),
                            clampTo(int64_t{y} + lineHeight_ + kInkMargin, image_.height())));
    fingerprint_ ^= fingerprintOf(room);
    {
        QPainter painter(&image_);
        painter.setFont(textFont_);
        painter.setPen(QColor::fromRgb(font_));
        painter.drawText(x, y + ascent_,
                         QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    fingerprint_ ^= fingerprintOf(room);
}

}  // namespace window
