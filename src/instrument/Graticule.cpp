// The fixed furniture of the screen: the grey graticule, the millisecond time scale along the zero
// line and the two vertical scale columns at the left edge.
#include <array>
#include <string_view>

#include "instrument/Display.h"
#include "instrument/Instrument.h"
#include "instrument/TimeBase.h"

namespace instrument {

namespace {

constexpr int kDivision = 20;         // pixels per vertical division
constexpr int kGridRows = 11;         // horizontal grid lines on each side of the zero line
constexpr int kGridColumns = 10;      // vertical grid lines
constexpr double kMajorPitch = 9.73;  // grid units per half major division
constexpr double kMinorPitch = 0.973;
constexpr double kEndPitch = 97.3;
constexpr int kMinorTicks = 99;
constexpr int kMajorTicks = 9;
constexpr int kScaleDivisions = 10;
constexpr int kFineTicks = 55;  // every 4 pixels up to 220 pixels from the zero line
constexpr int kTextRise = 7;    // texts stand this far above their tick row

struct LabelSet {
    int integerStep;     // label of tick i is integerStep * i, or, when 0,
    double decimalStep;  // decimalStep * i with one decimal
    int labelOffset;     // x offset of the tick labels
    std::string_view endText;
    int endOffset;  // x offset of the end label
    int endRow;     // row offset of the end label below the zero line
};

// Label sets 1..7 at index 0..6.
constexpr std::array<LabelSet, 7> kLabelSets{{
    {10, 0.0, 48, "100", 35, 3},
    {5, 0.0, 48, "50", 40, 5},
    {2, 0.0, 48, "20", 40, 3},
    {1, 0.0, 52, "10", 40, 3},
    {0, 0.5, 48, " 5", 40, 3},
    {0, 0.2, 48, " 2", 40, 3},
    {0, 0.1, 48, "ms 1", 16, 3},
}};

int roundToInt(double value) {
    return static_cast<int>(roundHalfEven(value));
}

// x of grid position i along the time axis: Round(u * 2 * i * pitch + offset).
int timeX(double gridUnitX, int i, double pitch, double offset) {
    return roundToInt(gridUnitX * 2 * i * pitch + offset);
}

void line(Canvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.moveTo(x0, y0);
    canvas.lineTo(x1, y1);
}

// One vertical scale column: for divisions first..10 a 3-pixel tick from tickLeft and the
// division's value at textX, above and below the zero line alike. A division value of at least 1
// is shown without decimals, a smaller one with one; the text is built in `numText`.
void drawScaleColumn(Canvas& canvas, NumText40& numText, int cy, double divisionValue, int first,
                     int tickLeft, int textX) {
    for (int i = first; i <= kScaleDivisions; ++i) {
        numText.setFixed(divisionValue * i, 3, divisionValue >= 1 ? 0 : 1);
        for (const int row : {cy - kDivision * i, cy + kDivision * i}) {
            line(canvas, tickLeft, row, tickLeft + 3, row);
            canvas.textOut(textX, row - kTextRise, numText.view());
        }
    }
}

}  // namespace

void Instrument::DrawGrid() {
    if (GridVisible == kGridHidden) return;
    Canvas& canvas = panel_.canvas();
    const auto grey = static_cast<uint8_t>(GridBrightness);
    canvas.setPenColor({grey, grey, grey});

    const int width = canvas.clientWidth();
    const int cy = canvas.clientHeight() / 2;
    GridUnitX = (width - 40) / 200.0;

    for (int i = 1; i <= kGridRows; ++i)
        line(canvas, kTraceLeft + 1, cy - kDivision * i, width - 10, cy - kDivision * i);
    for (int i = 1; i <= kGridRows; ++i)
        line(canvas, kTraceLeft + 1, cy + kDivision * i, width - 10, cy + kDivision * i);

    for (int i = 1; i <= kGridColumns; ++i) {
        const int x = timeX(GridUnitX, i, kMajorPitch, kTraceLeft);
        line(canvas, x, cy + 220, x, cy + 20);
        line(canvas, x, cy - 5, x, cy - 220);
    }
}

void Instrument::DrawTimeScale(int set) {
    if (set < kFirstBand || set > kLastBand) return;
    const LabelSet& labels = kLabelSets[static_cast<size_t>(set - 1)];
    Canvas& canvas = panel_.canvas();
    canvas.setPenColor(kWhite);
    canvas.setFontColor(kWhite);

    const int cy = canvas.clientHeight() / 2;
    const double u = GridUnitX;

    for (int i = 1; i <= kMinorTicks; ++i) {
        const int x = timeX(u, i, kMinorPitch, kTraceLeft);
        line(canvas, x, cy + 2, x, cy - 2);
    }

    NumText40 label;  // the time labels keep the shared NumText untouched
    for (int i = 1; i <= kMajorTicks; ++i) {
        const int x = timeX(u, i, kMajorPitch, kTraceLeft);
        line(canvas, x, cy + 3, x, cy - 3);

        if (labels.integerStep != 0)
            label.setInteger(labels.integerStep * i);
        else
            label.setFixed(labels.decimalStep * i, 1, 1);
        canvas.textOut(timeX(u, i, kMajorPitch, labels.labelOffset), cy + 5, label.view());

        canvas.textOut(timeX(u, 1, kEndPitch, labels.endOffset), cy + labels.endRow,
                       labels.endText);
    }
}

void Instrument::DrawScales() {
    if (GridVisible == kGridShown) DrawGrid();

    if (const int set = selectedBand(); set != 0) DrawTimeScale(set);

    L.FirstIndex = 0;

    Canvas& canvas = panel_.canvas();
    const int cy = canvas.clientHeight() / 2;
    canvas.setPenColor(kYellow);
    canvas.setFontColor(kYellow);

    // Ticks 29..32 with texts at 34 for L (from the first division), ticks 24..27 with texts at
    // the left edge for R (from the zero line); the ticks keep the yellow pen.
    drawScaleColumn(canvas, NumText, cy, L.DivisionValue, 1, 29, 34);
    canvas.setFontColor(kWhite);
    canvas.textOut(34, cy - kTextRise, "ms");
    drawScaleColumn(canvas, NumText, cy, R.DivisionValue, 0, 24, 0);

    canvas.setPenColor(kWhite);
    for (int i = 0; i <= kFineTicks; ++i) {
        line(canvas, 27, cy - 4 * i, 29, cy - 4 * i);
        line(canvas, 27, cy + 4 * i, 29, cy + 4 * i);
    }
}

}  // namespace instrument
