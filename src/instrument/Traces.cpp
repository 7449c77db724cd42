// The traces: one complete redraw with the trigger on channel R, and the window commands around
// the display (erase, channel time shift, trigger source).
#include <algorithm>

#include "instrument/Display.h"
#include "instrument/Envelope.h"
#include "instrument/Instrument.h"

namespace instrument {

namespace {

constexpr int kZeroLineRightGap = 5;  // the zero line ends this far from the right edge
constexpr int kTracePoints = 1000;
constexpr int32_t kClampL = 10000;
constexpr int32_t kClampR = 10100;
constexpr int kTriggerFallback = kSearchLimit - 2;
constexpr int kTriggerFromR = 2;            // ComboBox4 item "od kanálu R"
constexpr double kChannelShiftUnit = 10.0;  // ScrollBar3 units per ChannelShift step

int roundToInt(double value) {
    return static_cast<int>(roundHalfEven(value));
}

// A positive sample becomes its negative (drawn upward), anything else 0 (the zero line).
int32_t rectified(int32_t sample) {
    return sample > 0 ? -sample : 0;
}

void segment(Canvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.moveTo(x0, y0);
    canvas.lineTo(x1, y1);
}

}  // namespace

void Instrument::FindFirstNegativeR() {
    const int last = std::min(SampleCount, kSampleSlots - 1);
    for (int i = 1; i <= last; ++i) {
        if (R.Samples[static_cast<uint32_t>(i)] < 0) {
            R.FirstIndex = static_cast<Word>(i);
            R.Envelope.set(static_cast<uint32_t>(i), R.Samples[static_cast<uint32_t>(i)]);
            return;
        }
    }
}

void Instrument::DrawTraces() {
    panel_.setItemIndex(Control::ComboBox4, kTriggerFromR);
    screenCapture.keep(RawSamples, SampleCount);
    measureScreenCapture();

    AnalyseChannelL();
    ApplyRangeL();
    MeasureFrequencyL();
    AnalyseChannelR();
    ApplyRangeR();
    MeasureFrequencyR();

    ApplyTimeBase();
    DrawScales();

    FindFirstNegativeR();

    // Conditioning. The envelope of R's negative half-waves runs from the trigger search's seed on;
    // then both channels are clamped and half-wave rectified. Writes at or beyond the end of the
    // arrays would be dropped, so the loops stop at the last slot. When the trigger search cannot
    // start below its limit, the fallback trace begins before FirstIndexR; those positions are
    // clamped and rectified too, so that every drawn value is 0 or negative.
    const int last = std::min(SampleCount, kSampleSlots - 1);
    const int firstIndexR = R.FirstIndex;
    int32_t* const samplesL = L.Samples.data();
    int32_t* const samplesR = R.Samples.data();
    int32_t* const envelopeR = R.Envelope.data();
    if (const Smoothing smooth(R.EnvelopeDiv); smooth.smooths()) {
        int32_t previous = R.Envelope[static_cast<uint32_t>(firstIndexR)];  // the seed
        for (int i = firstIndexR + 1; i <= last; ++i) {
            const int32_t r = samplesR[i];  // the clamp leaves negative values as they are
            previous = r < 0 ? smooth(previous, r) : 0;
            envelopeR[i] = previous;
        }
    }
    for (int i = std::min(firstIndexR, kTriggerFallback) + 1; i <= last; ++i) {
        samplesL[i] = rectified(std::min(samplesL[i], kClampL));
        samplesR[i] = rectified(std::min(samplesR[i], kClampR));
    }

    // Trigger: the first envelope step from 0 to non-zero after FirstIndexR. The last position
    // examined is 19999, so the search stays inside the array.
    TraceStartR = kTriggerFallback;
    for (int j = firstIndexR + 1; j < kSearchLimit; ++j) {
        if (envelopeR[j] == 0 && envelopeR[j + 1] != 0) {
            TraceStartR = static_cast<Word>(j - 1);
            break;
        }
    }

    Canvas& canvas = panel_.canvas();
    const int cy = canvas.clientHeight() / 2;
    canvas.setPenColor(kWhite);
    segment(canvas, kTraceLeft, cy, canvas.clientWidth() - kZeroLineRightGap, cy);

    // L's points lie ChannelShift − 1 point spacings left of R's.
    const auto xR = [this](int p) { return roundToInt(kTraceLeft + (p - 1) * PointSpacing); };
    const auto xL = [this](int p) {
        return roundToInt(kTraceLeft + (p - ChannelShift) * PointSpacing);
    };
    const auto y = [cy](const ChannelState& c, int32_t v) {
        return roundToInt(cy + v * c.TraceScale * c.Gain);
    };
    const auto position = [this](int p) { return static_cast<uint32_t>(p * TimeStep); };
    const uint32_t start = TraceStartR;

    // Each step erases both old segments (black), then draws L's and R's new ones.
    int xR0 = xR(1), xL0 = xL(1);
    for (int p = 1; p < kTracePoints; ++p) {
        const int xR1 = xR(p + 1), xL1 = xL(p + 1);
        const uint32_t at0 = position(p), at1 = position(p + 1);

        canvas.setPenColor(kBlack);
        segment(canvas, xR0, y(R, R.DrawnSamples[at0]), xR1, y(R, R.DrawnSamples[at1]));
        segment(canvas, xL0, y(L, L.DrawnSamples[at0]), xL1, y(L, L.DrawnSamples[at1]));
        canvas.setPenColor(kYellow);
        segment(canvas, xL0, y(L, L.Samples[start + at0]), xL1, y(L, L.Samples[start + at1]));
        canvas.setPenColor(kAqua);
        segment(canvas, xR0, y(R, R.Samples[start + at0]), xR1, y(R, R.Samples[start + at1]));

        xR0 = xR1, xL0 = xL1;
    }

    // Remember the traces on the screen. The copy reaches at least as far as the erase step of the
    // next redraw reads, also when the capture is shorter than the trace; positions beyond the
    // arrays count as 0.
    const int remembered =
        std::clamp(std::max(SampleCount, kTracePoints * TimeStep), 0, kSampleSlots - 1);
    const int inside = std::clamp(kSampleSlots - 1 - static_cast<int>(start), 0, remembered);
    for (ChannelState* c : {&L, &R}) {
        if (inside > 0)
            std::copy_n(c->Samples.data() + start + 1, inside, c->DrawnSamples.data() + 1);
        std::fill_n(c->DrawnSamples.data() + 1 + inside, remembered - inside, 0);
    }
}

void Instrument::file1Click() {
    panel_.repaintWindow();
    DrawTraces();
}

void Instrument::readChannelShift() {
    ChannelShift = static_cast<int32_t>(
        roundHalfEven(panel_.position(Control::ScrollBar3) / kChannelShiftUnit));
}

void Instrument::ScrollBar3Change() {
    readChannelShift();
    panel_.repaintWindow();
    DrawTraces();
}

void Instrument::ComboBox4Click() {
    panel_.repaintWindow();
}

}  // namespace instrument
