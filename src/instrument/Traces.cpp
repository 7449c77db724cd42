// The traces: one complete redraw with the trigger on channel R, and the window commands around
// the display (erase, channel time shift, trigger source).
#include <algorithm>
#include <cmath>

#include "instrument/Instrument.h"

namespace instrument {

namespace {

constexpr int kTraceLeft = 55;        // x of point 1 of the R trace and of the zero line
constexpr int kZeroLineRightGap = 5;  // the zero line ends this far from the right edge
constexpr int kTracePoints = 1000;
constexpr int32_t kClampL = 10000;
constexpr int32_t kClampR = 10100;
constexpr int kTriggerLimit = 20000;  // the trigger search examines positions below this
constexpr int kTriggerFallback = kTriggerLimit - 2;
constexpr int kTriggerFromR = 2;  // ComboBox4 item "od kanálu R"

int roundToInt(double value) {
    return static_cast<int>(RoundHalfEven(value));
}

// A positive sample becomes its negative (drawn upward), anything else 0 (the zero line).
int32_t rectified(int32_t sample) {
    return sample > 0 ? -sample : 0;
}

// v / divisor. For a power-of-two divisor (16 in practice) this is exact scaling and equals the
// product with the reciprocal, which keeps the division off the envelope's dependency chain.
class Divider {
  public:
    explicit Divider(double divisor)
        : divisor_(divisor), inverse_(1.0 / divisor), scale_(isPowerOfTwo(divisor)) {}
    double operator()(double v) const { return scale_ ? v * inverse_ : v / divisor_; }

  private:
    static bool isPowerOfTwo(double d) {
        int exponent = 0;
        return std::isfinite(d) && std::frexp(d, &exponent) == 0.5;
    }
    double divisor_, inverse_;
    bool scale_;
};

void segment(Canvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.moveTo(x0, y0);
    canvas.lineTo(x1, y1);
}

}  // namespace

void Instrument::FindFirstNegativeR() {
    const int last = std::min(SampleCount, kSampleSlots - 1);
    for (int i = 1; i <= last; ++i) {
        if (SamplesR[static_cast<uint32_t>(i)] < 0) {
            FirstIndexR = static_cast<Word>(i);
            EnvelopeR.set(static_cast<uint32_t>(i), SamplesR[static_cast<uint32_t>(i)]);
            return;
        }
    }
}

void Instrument::DrawTraces() {
    panel_.setItemIndex(Control::ComboBox4, kTriggerFromR);

    AnalyseChannelL();
    ApplyRangeL();
    MeasureFrequencyL();
    AnalyseChannelR();
    ApplyRangeR();
    MeasureFrequencyR();

    ApplyTimeBase();
    DrawScales();

    FindFirstNegativeR();

    // Conditioning: clamp, envelope of R's negative half-waves, half-wave rectification. Writes at
    // or beyond the end of the arrays would be dropped, so the loops stop at the last slot. When
    // the trigger search cannot start below its limit, the fallback trace begins before
    // FirstIndexR; those positions are clamped and rectified too, so that every drawn value is 0
    // or negative.
    const int last = std::min(SampleCount, kSampleSlots - 1);
    const int conditionFrom = std::min<int>(FirstIndexR, kTriggerFallback) + 1;
    const Divider byDivisor(EnvelopeDivR);
    int32_t* const samplesL = SamplesL.data();
    int32_t* const samplesR = SamplesR.data();
    int32_t* const envelopeR = EnvelopeR.data();
    for (int i = conditionFrom; i <= last; ++i) {
        const int32_t l = std::min(samplesL[i], kClampL);
        const int32_t r = std::min(samplesR[i], kClampR);
        if (i > FirstIndexR) {
            const double previous = envelopeR[i - 1];
            envelopeR[i] =
                r < 0 ? static_cast<int32_t>(byDivisor(r) + previous - byDivisor(previous)) : 0;
        }
        samplesL[i] = rectified(l);
        samplesR[i] = rectified(r);
    }

    // Trigger: the first envelope step from 0 to non-zero after FirstIndexR. The last position
    // examined is 19999, so the search stays inside the array.
    TraceStartR = kTriggerFallback;
    for (int j = FirstIndexR + 1; j < kTriggerLimit; ++j) {
        if (envelopeR[j] == 0 && envelopeR[j + 1] != 0) {
            TraceStartR = static_cast<Word>(j - 1);
            break;
        }
    }

    Canvas& canvas = panel_.canvas();
    const int cy = canvas.clientHeight() / 2;
    canvas.setPenColor(kWhite);
    segment(canvas, kTraceLeft, cy, canvas.clientWidth() - kZeroLineRightGap, cy);

    const auto xR = [this](int p) { return roundToInt(kTraceLeft + (p - 1) * PointSpacing); };
    const auto xL = [this](int p) {
        return roundToInt(kTraceLeft + (p - ChannelShift) * PointSpacing);
    };
    const auto yR = [this, cy](int32_t v) { return roundToInt(cy + v * TraceScaleR * GainR); };
    const auto yL = [this, cy](int32_t v) { return roundToInt(cy + v * TraceScaleL * GainL); };
    const auto position = [this](int p) { return static_cast<uint32_t>(p * TimeStep); };
    const uint32_t start = TraceStartR;

    int xR0 = xR(1), xL0 = xL(1);
    for (int p = 1; p < kTracePoints; ++p) {
        const int xR1 = xR(p + 1), xL1 = xL(p + 1);
        const uint32_t at0 = position(p), at1 = position(p + 1);

        canvas.setPenColor(kBlack);
        segment(canvas, xR0, yR(DrawnSamplesR[at0]), xR1, yR(DrawnSamplesR[at1]));
        segment(canvas, xL0, yL(DrawnSamplesL[at0]), xL1, yL(DrawnSamplesL[at1]));
        canvas.setPenColor(kYellow);
        segment(canvas, xL0, yL(SamplesL[start + at0]), xL1, yL(SamplesL[start + at1]));
        canvas.setPenColor(kAqua);
        segment(canvas, xR0, yR(SamplesR[start + at0]), xR1, yR(SamplesR[start + at1]));

        xR0 = xR1, xL0 = xL1;
    }

    // Remember the traces on the screen. The copy reaches at least as far as the erase step of the
    // next redraw reads, also when the capture is shorter than the trace; positions beyond the
    // arrays count as 0.
    const int remembered =
        std::clamp(std::max(SampleCount, kTracePoints * TimeStep), 0, kSampleSlots - 1);
    const int inside = std::clamp(kSampleSlots - 1 - static_cast<int>(start), 0, remembered);
    if (inside > 0) {
        std::copy_n(samplesL + start + 1, inside, DrawnSamplesL.data() + 1);
        std::copy_n(samplesR + start + 1, inside, DrawnSamplesR.data() + 1);
    }
    std::fill_n(DrawnSamplesL.data() + 1 + inside, remembered - inside, 0);
    std::fill_n(DrawnSamplesR.data() + 1 + inside, remembered - inside, 0);
}

void Instrument::file1Click() {
    panel_.repaintWindow();
    DrawTraces();
}

void Instrument::ScrollBar3Change() {
    ChannelShift = static_cast<int32_t>(RoundHalfEven(panel_.position(Control::ScrollBar3) / 10.0));
    panel_.repaintWindow();
    DrawTraces();
}

void Instrument::ComboBox4Click() {
    panel_.repaintWindow();
}

}  // namespace instrument
