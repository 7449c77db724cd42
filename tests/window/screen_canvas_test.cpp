// The screen canvas: exact lines, clipping at every edge, texts at their top-left corner.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "window/ScreenCanvas.h"

namespace {

using window::ScreenCanvas;
using Pixel = std::pair<int, int>;

constexpr QRgb kBlackPixel = 0xff000000u;
constexpr instrument::Rgb kRed{255, 0, 0};

std::vector<Pixel> litPixels(const QImage& image) {
    std::vector<Pixel> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kBlackPixel) out.emplace_back(x, y);
    return out;
}

void line(ScreenCanvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.moveTo(x0, y0);
    canvas.lineTo(x1, y1);
}

struct LineCase {
    const char* name;
    int x0, y0, x1, y1;
    std::vector<Pixel> pixels;  // row by row, left to right
};

const LineCase kLines[] = {
    {"Horizontal", 2, 3, 6, 3, {{2, 3}, {3, 3}, {4, 3}, {5, 3}}},
    {"HorizontalLeftward", 6, 3, 2, 3, {{3, 3}, {4, 3}, {5, 3}, {6, 3}}},
    {"Vertical", 4, 1, 4, 5, {{4, 1}, {4, 2}, {4, 3}, {4, 4}}},
    {"VerticalUpward", 4, 5, 4, 1, {{4, 2}, {4, 3}, {4, 4}, {4, 5}}},
    {"Diagonal", 0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
    {"HalfSlopeRoundsHalvesAwayFromTheStart", 0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
    {"HalfSlopeReversed", 4, 2, 0, 0, {{1, 0}, {2, 1}, {3, 1}, {4, 2}}},
    {"Steep", 0, 0, 1, 3, {{0, 0}, {0, 1}, {1, 2}}},
    {"ShallowUpward", 0, 4, 6, 2, {{5, 2}, {2, 3}, {3, 3}, {4, 3}, {0, 4}, {1, 4}}},
    {"SinglePixel", 7, 7, 8, 7, {{7, 7}}},
    {"ZeroLengthSetsNothing", 5, 5, 5, 5, {}},
};

class LineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineTest, SetsExactlyThePixelsOfTheLineWithoutItsEndPoint) {
    const LineCase& c = GetParam();
    ScreenCanvas canvas;
    canvas.setPenColor(kRed);
    line(canvas, c.x0, c.y0, c.x1, c.y1);
    EXPECT_EQ(litPixels(canvas.image()), c.pixels);
    for (const auto& [x, y] : c.pixels) EXPECT_EQ(canvas.image().pixel(x, y), qRgb(255, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Known, LineTest, ::testing::ValuesIn(kLines),
                         [](const auto& info) { return std::string(info.param.name); });

// The line by its definition, one step at a time, keeping the steps that fall inside the image.
void referenceLine(QImage& image, int x0, int y0, int x1, int y1, QRgb colour) {
    const int64_t dx = std::llabs(int64_t{x1} - x0), dy = std::llabs(int64_t{y1} - y0);
    const int64_t n = std::max(dx, dy);
    const int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    for (int64_t i = 0; i < n; ++i) {
        int64_t x = 0, y = 0;
        if (dx >= dy) {
            x = x0 + sx * i;
            y = y0 + sy * ((2 * i * dy + dx) / (2 * dx));
        } else {
            y = y0 + sy * i;
            x = x0 + sx * ((2 * i * dx + dy) / (2 * dy));
        }
        if (x >= 0 && x < image.width() && y >= 0 && y < image.height())
            image.setPixel(static_cast<int>(x), static_cast<int>(y), colour);
    }
}

TEST(ScreenCanvasClipping, ClippedLinesMatchTheUnclippedDefinition) {
    ScreenCanvas canvas;
    QImage reference(canvas.image().size(), QImage::Format_RGB32);
    reference.fill(kBlackPixel);
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> coordinate(-1500, 2500);
    for (int k = 0; k < 3000; ++k) {
        const int x0 = coordinate(random), y0 = coordinate(random);
        const int x1 = coordinate(random), y1 = coordinate(random);
        const instrument::Rgb colour{static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8), 200};
        canvas.setPenColor(colour);
        line(canvas, x0, y0, x1, y1);
        referenceLine(reference, x0, y0, x1, y1, qRgb(colour.r, colour.g, colour.b));
    }
    EXPECT_TRUE(canvas.image() == reference);
}

// The line by its definition at the steps whose major coordinate lies inside the image, in 128-bit
// arithmetic: for any int coordinates, without walking the steps outside.
void referenceFarLine(QImage& image, int x0, int y0, int x1, int y1, QRgb colour) {
    __extension__ typedef __int128 Wide;
    const int64_t dx = std::llabs(int64_t{x1} - x0), dy = std::llabs(int64_t{y1} - y0);
    const int64_t n = std::max(dx, dy);
    const bool xMajor = dx >= dy;
    const int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    const int64_t majorStep = (xMajor ? x1 >= x0 : y1 >= y0) ? 1 : -1;
    const int64_t minorStep = (xMajor ? y1 >= y0 : x1 >= x0) ? 1 : -1;
    const int64_t majorSize = xMajor ? image.width() : image.height();
    for (int64_t major = 0; major < majorSize; ++major) {
        const int64_t i = (major - major0) * majorStep;
        if (i < 0 || i >= n) continue;
        const Wide m = (Wide{2} * i * (xMajor ? dy : dx) + n) / (Wide{2} * n);
        const int64_t minor = minor0 + minorStep * static_cast<int64_t>(m);
        const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
        if (x >= 0 && x < image.width() && y >= 0 && y < image.height())
            image.setPixel(static_cast<int>(x), static_cast<int>(y), colour);
    }
}

TEST(ScreenCanvasClipping, FarLinesMatchTheDefinitionWhereverTheyCrossTheImage) {
    ScreenCanvas canvas;
    QImage reference(canvas.image().size(), QImage::Format_RGB32);
    reference.fill(kBlackPixel);
    std::mt19937 random(20240612);
    std::uniform_int_distribution<int> far(INT_MIN, INT_MAX);
    std::uniform_int_distribution<int> near(-100, 900);
    for (int k = 0; k < 4000; ++k) {
        // One end near or inside the image, the other anywhere in the int range, either way round.
        int x0 = near(random), y0 = near(random), x1 = far(random), y1 = far(random);
        if (k % 2 == 1) std::swap(x0, x1), std::swap(y0, y1);
        const instrument::Rgb colour{static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8), 90};
        canvas.setPenColor(colour);
        line(canvas, x0, y0, x1, y1);
        referenceFarLine(reference, x0, y0, x1, y1, qRgb(colour.r, colour.g, colour.b));
    }
    EXPECT_GT(litPixels(reference).size(), 10000u) << "the lines reach the image";
    EXPECT_TRUE(canvas.image() == reference);
}

struct FarCase {
    const char* name;
    int x0, y0, x1, y1;
    Pixel first, step;  // the visible part: `count` pixels from `first` on
    int count;
};

const FarCase kFar[] = {
    {"WholeRowFromIntMinToIntMax", INT_MIN, 10, INT_MAX, 10, {0, 10}, {1, 0}, 800},
    {"DiagonalFromFarOutside",
     -1000000000,
     -1000000000,
     1000000000,
     1000000000,
     {0, 0},
     {1, 1},
     526},
    {"CornerToCornerOfTheIntRange", INT_MIN, INT_MIN, INT_MAX, INT_MAX, {0, 0}, {1, 1}, 526},
    {"NegativeXEntersTheLeftEdge", -100, 50, 10, 50, {0, 50}, {1, 0}, 10},
    {"LeavesThroughTheBottomRightCorner", 797, 523, 803, 529, {797, 523}, {1, 1}, 3},
    {"LeftOfTheImage", -10, -10, -1, 100, {}, {}, 0},
    {"BelowTheImage", 0, 526, 799, 10000, {}, {}, 0},
    {"RightOfTheImage", 800, 0, INT_MAX, INT_MIN, {}, {}, 0},
    {"PassesTheCornerOutside", -10, 5, 5, -10, {}, {}, 0},
};

class FarLineTest : public ::testing::TestWithParam<FarCase> {};

TEST_P(FarLineTest, WritesOnlyTheVisiblePart) {
    const FarCase& c = GetParam();
    ScreenCanvas canvas;  // 800 x 526
    canvas.setPenColor(kRed);
    line(canvas, c.x0, c.y0, c.x1, c.y1);
    std::vector<Pixel> expected;
    for (int i = 0; i < c.count; ++i)
        expected.emplace_back(c.first.first + i * c.step.first, c.first.second + i * c.step.second);
    EXPECT_EQ(litPixels(canvas.image()), expected);
}

INSTANTIATE_TEST_SUITE_P(Coordinates, FarLineTest, ::testing::ValuesIn(kFar),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScreenCanvasSize, ResizeKeepsNothingAndNeverShrinksBelowTheDesign) {
    ScreenCanvas canvas(792, 526);
    const struct {
        int width, height;
        QSize image;
    } sizes[] = {{792, 526, {800, 526}}, {1024, 700, {1024, 700}}, {300, 200, {800, 526}}};
    for (const auto& s : sizes) {
        canvas.setPenColor(kRed);
        line(canvas, 0, 5, 700, 5);
        canvas.resize(s.width, s.height);
        EXPECT_EQ(canvas.clientWidth(), s.width);
        EXPECT_EQ(canvas.clientHeight(), s.height);
        EXPECT_EQ(canvas.image().size(), s.image);
        EXPECT_EQ(canvas.image().format(), QImage::Format_RGB32);
        EXPECT_TRUE(litPixels(canvas.image()).empty());
    }
}

// Bounding box of the pixels of one colour, and their number.
QRect inkBox(const QImage& image, QRgb colour, int* count = nullptr) {
    QRect box;
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) box |= QRect(x, y, 1, 1), ++n;
    if (count) *count = n;
    return box;
}

TEST(ScreenCanvasText, TextLandsBelowRightOfItsPointInTheFontColourOverWhatIsThere) {
    ScreenCanvas canvas;
    canvas.setPenColor(kRed);
    line(canvas, 0, 206, 100, 206);  // through the middle of the digits
    canvas.setFontColor(instrument::kYellow);
    canvas.textOut(20, 200, "0.5");
    const QImage once = canvas.image().copy();
    int yellow = 0, red = 0;
    const QRect box = inkBox(once, qRgb(255, 255, 0), &yellow);
    inkBox(once, qRgb(255, 0, 0), &red);

    EXPECT_EQ(static_cast<int>(litPixels(once).size()), yellow + red);
    EXPECT_TRUE(box.left() >= 20 && box.left() <= 22) << box.left();
    EXPECT_TRUE(box.top() >= 200 && box.top() <= 204) << box.top();  // digits below the line top
    EXPECT_LE(box.right(), 20 + canvas.textWidth("0.5"));
    EXPECT_LT(box.bottom(), 200 + canvas.textHeight());
    EXPECT_TRUE(canvas.textHeight() >= 13 && canvas.textHeight() <= 18) << canvas.textHeight();
    EXPECT_TRUE(red > 70 && red < 100) << red;  // no background fill: the line shows between glyphs

    canvas.textOut(20, 200, "0.5");
    EXPECT_TRUE(canvas.image() == once);  // nothing builds up when a text is drawn again
}

TEST(ScreenCanvasText, TextAtAndBeyondTheEdgesIsClipped) {
    ScreenCanvas canvas;
    canvas.setFontColor(instrument::kWhite);
    for (const auto& [x, y] : {Pixel{-5, 100}, Pixel{795, 100}, Pixel{400, -6}, Pixel{400, 520},
                               Pixel{INT_MIN / 2, 0}, Pixel{INT_MAX / 2, INT_MAX / 2}})
        canvas.textOut(x, y, "888");
    const auto lit = litPixels(canvas.image());
    EXPECT_FALSE(lit.empty());
    for (const auto& [x, y] : lit)
        ASSERT_TRUE(x < 40 || x >= 790 || y < 10 || y >= 520) << x << "," << y;
}

TEST(ScreenCanvasText, TextBeyondAsciiIsDrawnToo) {
    ScreenCanvas canvas;
    canvas.setFontColor(instrument::kAqua);
    canvas.textOut(50, 50, "čas");
    const QRect box = inkBox(canvas.image(), qRgb(0, 255, 255));
    ASSERT_FALSE(box.isEmpty());
    EXPECT_TRUE(box.left() >= 50 && box.top() >= 50 && box.bottom() < 50 + canvas.textHeight());
}

}  // namespace

namespace {

// The fingerprint follows the picture, not how it was drawn: random drawings of lines and texts
// (ASCII and not), with clears and new sizes among them, replayed onto a second canvas that takes
// another way to each picture (every step drawn over something else first and then over again),
// give equal fingerprints exactly when the pictures are equal.
TEST(ScreenCanvasFingerprint, EqualPicturesAndOnlyThoseHaveEqualFingerprints) {
    std::mt19937 random(20261209);
    const auto coordinate = [&] { return std::uniform_int_distribution<int>(-100, 950)(random); };
    const instrument::Rgb colours[] = {instrument::kYellow, instrument::kAqua, instrument::kBlack,
                                       instrument::kWhite};
    ScreenCanvas direct, roundabout;
    uint64_t previous = direct.fingerprint();
    QImage previousImage = direct.image().copy();
    for (int step = 0; step < 400; ++step) {
        const int kind = std::uniform_int_distribution<int>(0, 19)(random);
        const int x0 = coordinate(), y0 = coordinate(), x1 = coordinate(), y1 = coordinate();
        const instrument::Rgb colour = colours[random() % 4];
        const auto draw = [&](ScreenCanvas& c, instrument::Rgb with) {
            if (kind == 0) {
                c.clear();
            } else if (kind == 1) {
                c.resize(800 + x0 % 3, 526 + y0 % 3);
            } else if (kind < 5) {
                c.setFontColor(with);
                c.textOut(x0, y0, kind == 4 ? "µs 5" : "12.5 ms");
            } else {
                c.setPenColor(with);
                line(c, x0, y0, x1, y1);
            }
        };
        draw(roundabout, kRed);  // another picture on the way, then the same step again
        draw(roundabout, colour);
        draw(direct, colour);
        ASSERT_EQ(direct.image(), roundabout.image()) << "step " << step;
        EXPECT_EQ(direct.fingerprint(), roundabout.fingerprint()) << "step " << step;
        EXPECT_EQ(direct.fingerprint() == previous, direct.image() == previousImage)
            << "step " << step;
        previous = direct.fingerprint();
        previousImage = direct.image().copy();
    }
}

}  // namespace
