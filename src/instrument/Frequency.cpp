// Frequency measurement. A smoothed envelope follows each positive half-wave and drops to 0 at
// the first negative sample; the span from a rising edge of the envelope to its next zero is half
// a period, so N positions are 22050 / N Hz. A coarse pass measures slow signals to 1 Hz; above
// 100 Hz a fine pass with a shorter look-ahead and skip measures again.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "instrument/Instrument.h"
#include "instrument/RoutineSupport.h"

namespace instrument {

namespace {

constexpr Word kCoarseStep = 3;
constexpr Word kCoarseSkip = 95;
constexpr Word kFineStep = 1;
constexpr Word kFineSkip = 5;
constexpr int32_t kEnvelopeDivisor = 16;

constexpr double kHalfFrameRate = 22050.0;  // positions per second / 2: one half-period per span
constexpr Word kPositionLimit = 20000;      // where a search gives up
constexpr double kFineLimitHz = 100.0;      // at or below: the coarse pass is the result
constexpr double kDisplayLimitHz = 2500.0;  // above: no number is shown

constexpr int kCoarseWidth = 5;
constexpr int kFineWidth = 4;
constexpr std::string_view kLead = " ";
constexpr std::string_view kHertz = " Hz";
constexpr std::string_view kOverLimit = "  f > fmax";

constexpr Word kFollowMeasured = 0;
constexpr Word kFollowGenerator = 1;

// The variables one channel's measurement works on.
struct Channel {
    const SampleArray& Samples;
    SampleArray& Envelope;
    Word& FirstIndex;
    Word& EdgeValue0;
    Word& EdgeValue1;
    Word& EdgeValue2;
    const Word& EdgeStep;
    const Word& EdgeSkip;
    const int32_t& EnvelopeDiv;
    double& EdgeBase;
    Word& PeriodStart;
    Word& PeriodEnd;
    double& MeasuredFreq;
    const double& Gain;
};

Channel ChannelL(InstrumentState& s) {
    return {s.SamplesL,     s.EnvelopeL,  s.FirstIndexL,   s.EdgeValueL0,  s.EdgeValueL1,
            s.EdgeValueL2,  s.EdgeStepL,  s.EdgeSkipL,     s.EnvelopeDivL, s.EdgeBaseL,
            s.PeriodStartL, s.PeriodEndL, s.MeasuredFreqL, s.GainL};
}

Channel ChannelR(InstrumentState& s) {
    return {s.SamplesR,     s.EnvelopeR,  s.FirstIndexR,   s.EdgeValueR0,  s.EdgeValueR1,
            s.EdgeValueR2,  s.EdgeStepR,  s.EdgeSkipR,     s.EnvelopeDivR, s.EdgeBaseR,
            s.PeriodStartR, s.PeriodEndR, s.MeasuredFreqR, s.GainR};
}

// Divisors for which the envelope step is exact in integers: 1, 2, 4, ..., 65536.
bool IsExactIntegerDivisor(int32_t divisor) {
    return divisor > 0 && divisor <= 65536 && (divisor & (divisor - 1)) == 0;
}

// The edge tests read an envelope value as its low 16 bits, unsigned: a negative value (a seed
// left by the trigger search) counts as a large one.
Word EdgeValue(const SampleArray& envelope, Word position) {
    return static_cast<Word>(envelope[position]);
}

void FindFirstPositive(InstrumentState& s, const Channel& c) {
    if (s.SampleCount == 0) return;
    const int32_t last = SampleEnd(s.SampleCount);
    const int32_t* samples = c.Samples.data();
    const int32_t end = std::min(last, kSampleSlots - 1);  // position 44100 reads as 0
    for (int32_t p = 1; p <= end; ++p) {
        if (samples[p] > 0) {
            c.FirstIndex = static_cast<Word>(p);
            c.Envelope.set(static_cast<uint32_t>(p), samples[p]);
            s.ScanIndex = static_cast<Word>(p);
            return;
        }
    }
    // No positive sample: FirstIndex and the envelope keep their values.
    s.ScanIndex = static_cast<Word>(last + 1);
}

// First-order smoothing with weight 1/D from the first positive sample on; 0 at every negative
// sample: Trunc(sample / D + previous − previous / D), truncated toward zero. A divisor below 1
// smooths nothing and leaves the envelope as it is.
void BuildEnvelope(InstrumentState& s, const Channel& c) {
    const int32_t last = SampleEnd(s.SampleCount);
    if (c.FirstIndex + 1 > last) return;
    const int32_t first = c.FirstIndex + 1;
    const int32_t divisor = c.EnvelopeDiv;
    int32_t* envelope = c.Envelope.data();
    const int32_t* samples = c.Samples.data();
    const int32_t end = std::min(last, kSampleSlots - 1);  // position 44100 is past the arrays

    if (IsExactIntegerDivisor(divisor)) {
        // With a divisor 2^k (k <= 16) every step of the formula is exact in double, so it
        // equals (sample + (D − 1) · previous) / D in integers, truncated toward zero. That keeps
        // the dependency chain from one position to the next to a few integer operations.
        const int shift = std::countr_zero(static_cast<uint32_t>(divisor));
        int64_t previous = envelope[first - 1];
        int32_t i = first;
        // A negative seed (left by the trigger search) decays through negative values, where
        // truncation toward zero differs from a shift.
        for (; i <= end && previous < 0; ++i) {
            const int32_t sample = samples[i];
            if (sample < 0) {
                previous = 0;
            } else {
                const int64_t sum = sample + (divisor - 1) * previous;
                previous = (sum + ((sum >> 63) & (divisor - 1))) >> shift;
            }
            envelope[i] = static_cast<int32_t>(previous);
        }
        // From a non-negative value on, every value is non-negative and truncation is a shift.
        // A value of 0 carries nothing over: the next is sample / D (0 for a negative sample)
        // whatever came before, so zero stretches and negative half-waves run without waiting
        // for the previous position.
        while (i <= end) {
            if (previous == 0) {
                for (; i <= end && previous == 0; ++i) {
                    const int32_t sample = samples[i];
                    previous = sample > 0 ? sample >> shift : 0;
                    envelope[i] = static_cast<int32_t>(previous);
                }
            } else {
                for (; i <= end && previous != 0; ++i) {
                    const int32_t sample = samples[i];
                    previous = sample < 0 ? 0 : (sample + (previous << shift) - previous) >> shift;
                    envelope[i] = static_cast<int32_t>(previous);
                }
            }
        }
    } else if (divisor > 0) {
        // Any other divisor (the routines always set 16): the formula as written.
        const double d = divisor;
        for (int32_t i = first; i <= end; ++i) {
            const int32_t sample = samples[i];
            const double previous = envelope[i - 1];
            envelope[i] =
                sample >= 0 ? static_cast<int32_t>(sample / d + previous - previous / d) : 0;
        }
    }
    s.ScanIndex = static_cast<Word>(last + 1);  // where the loop over the positions stops
}

// The searches work on local copies of the scan position and the edge values, and leave the
// state as the step-by-step search does.
void MeasurePeriod(InstrumentState& s, const Channel& c) {
    Word scan = c.FirstIndex;
    c.PeriodStart = 0;
    c.PeriodEnd = 0;
    c.EdgeBase = 0.0;
    const double threshold = (c.EdgeBase + 1.0) / c.Gain;
    // The same test on whole numbers: an edge value (0..65535) is at or below the threshold when
    // it is at or below its integer part. A threshold below 0, or none (NaN), admits no value.
    const int32_t atMost = !(threshold >= 0.0)    ? -1
                           : threshold >= 65535.0 ? 65535
                                                  : static_cast<int32_t>(threshold);
    const Word step = c.EdgeStep;
    Word value0 = 0, value1 = 0, value2 = 0;

    // Positions are 16-bit: the look-ahead and the scan wrap as such.
    const auto readEdgeValues = [&] {
        value0 = EdgeValue(c.Envelope, scan);
        value1 = EdgeValue(c.Envelope, static_cast<Word>(scan + step));
        value2 = EdgeValue(c.Envelope, static_cast<Word>(scan + 2 * step));
    };

    // Rising edge: at (or below) the threshold here and higher one and two steps ahead.
    for (;;) {
        readEdgeValues();
        ++scan;
        const bool edge = value0 <= atMost && value1 > value0 && value2 > value0;
        if (edge || scan == kPositionLimit) break;
    }
    c.PeriodStart = static_cast<Word>(scan - 1);

    // The end of the half-wave: the next zero of the envelope after the skip.
    scan = static_cast<Word>(scan + c.EdgeSkip);
    for (;;) {
        readEdgeValues();
        ++scan;
        if (value0 == 0 || scan == kPositionLimit) break;
    }
    c.PeriodEnd = scan;
    if (c.PeriodEnd == c.PeriodStart) c.PeriodEnd = static_cast<Word>(c.PeriodStart + 1);

    c.EdgeValue0 = value0;
    c.EdgeValue1 = value1;
    c.EdgeValue2 = value2;
    s.ScanIndex = scan;
    c.MeasuredFreq = kHalfFrameRate / (c.PeriodEnd - c.PeriodStart);
}

// The frequency a read-out shows: the measured one, or the generator's when the display follows
// the generator.
void TakeFrequency(const InstrumentState& s, double& freq, double measured) {
    if (s.FollowGenerator == kFollowMeasured) freq = measured;
    if (s.FollowGenerator == kFollowGenerator) freq = s.GeneratorFrequency;
}

// " " + Round(freq) in five characters + " Hz".
void ShowCoarse(InstrumentState& s, FrontPanel& panel, Control readout, double freq) {
    s.NumText.setInteger(RoundHalfEven(freq), kCoarseWidth);
    ShowJoined(panel, readout, {kLead, s.NumText.view(), kHertz});
}

// " " + N in four characters + " Hz": the measured frequency to the nearest 10 Hz, the
// generator's to 1 Hz.
void ShowFine(InstrumentState& s, FrontPanel& panel, Control readout, double freq) {
    const int64_t shown = s.FollowGenerator == kFollowMeasured ? RoundHalfEven(freq / 10.0) * 10
                                                               : RoundHalfEven(freq);
    s.NumText.setInteger(shown, kFineWidth);
    ShowJoined(panel, readout, {kLead, s.NumText.view(), kHertz});
}

}  // namespace

void Instrument::FindFirstPositiveL() {
    FindFirstPositive(*this, ChannelL(*this));
}
void Instrument::FindFirstPositiveR() {
    FindFirstPositive(*this, ChannelR(*this));
}
void Instrument::MeasurePeriodL() {
    MeasurePeriod(*this, ChannelL(*this));
}
void Instrument::MeasurePeriodR() {
    MeasurePeriod(*this, ChannelR(*this));
}

void Instrument::MeasureFrequencyL() {
    // Coarse pass.
    EdgeStepL = kCoarseStep;
    EdgeSkipL = kCoarseSkip;
    EnvelopeDivL = kEnvelopeDivisor;
    FindFirstPositiveL();
    BuildEnvelope(*this, ChannelL(*this));
    MeasurePeriodL();
    TakeFrequency(*this, FreqL, MeasuredFreqL);
    if (FreqL <= kFineLimitHz) {
        ShowCoarse(*this, panel_, Control::Edit12, FreqL);
        return;
    }

    // Fine pass.
    EdgeStepL = kFineStep;
    EdgeSkipL = kFineSkip;
    EnvelopeDivL = kEnvelopeDivisor;
    FindFirstPositiveL();
    BuildEnvelope(*this, ChannelL(*this));
    MeasurePeriodL();
    TakeFrequency(*this, FreqL, MeasuredFreqL);
    if (FreqL > kDisplayLimitHz) {
        panel_.setText(Control::Edit12, kOverLimit);
        return;
    }
    ShowFine(*this, panel_, Control::Edit12, FreqL);
    panel_.setVisible(Control::Panel14, false);
}

void Instrument::MeasureFrequencyR() {
    // Coarse pass.
    EdgeStepR = kCoarseStep;
    EdgeSkipR = kCoarseSkip;
    EnvelopeDivR = kEnvelopeDivisor;
    FindFirstPositiveR();
    BuildEnvelope(*this, ChannelR(*this));
    MeasurePeriodR();
    TakeFrequency(*this, FreqR, MeasuredFreqR);
    if (FreqR <= kFineLimitHz) {
        ShowCoarse(*this, panel_, Control::Edit8, FreqR);
        return;
    }

    // Fine pass.
    EdgeStepR = kFineStep;
    EdgeSkipR = kFineSkip;
    EnvelopeDivR = kEnvelopeDivisor;
    FindFirstPositiveR();
    BuildEnvelope(*this, ChannelR(*this));
    MeasurePeriodR();
    TakeFrequency(*this, FreqR, MeasuredFreqR);
    if (FreqR > kDisplayLimitHz) {
        panel_.setText(Control::Edit8, kOverLimit);
        return;
    }
    ShowFine(*this, panel_, Control::Edit8, FreqR);
    panel_.setVisible(Control::Panel14, false);
}

}  // namespace instrument
