// Frequency measurement. A smoothed envelope follows each positive half-wave and drops to 0 at
// the first negative sample; the span from a rising edge of the envelope to its next zero is half
// a period, so N positions are 22050 / N Hz. A coarse pass measures slow signals to 1 Hz; above
// 100 Hz a fine pass with a shorter look-ahead and skip measures again.
#include <algorithm>
#include <cstdint>

#include "instrument/Display.h"
#include "instrument/Envelope.h"
#include "instrument/Instrument.h"
#include "instrument/RoutineSupport.h"

namespace instrument {

namespace {

constexpr Word kCoarseStep = 3;
constexpr Word kCoarseSkip = 95;
constexpr Word kFineStep = 1;
constexpr Word kFineSkip = 5;
constexpr int32_t kEnvelopeDivisor = 16;

constexpr double kHalfFrameRate = kCaptureFrameRate / 2.0;  // a span is half a period
constexpr double kFineLimitHz = 100.0;  // at or below: the coarse pass is the result

constexpr int kCoarseWidth = 5;
constexpr int kFineWidth = 4;
constexpr std::string_view kLead = " ";
constexpr std::string_view kHertz = " Hz";
constexpr std::string_view kOverLimit = "  f > fmax";

// The edge tests read an envelope value as its low 16 bits, unsigned: a negative value (a seed
// left by the trigger search) counts as a large one.
Word edgeValue(const SampleArray& envelope, Word position) {
    return static_cast<Word>(envelope[position]);
}

}  // namespace

void Instrument::FindFirstPositive(ChannelState& c) {
    if (SampleCount == 0) return;
    const int32_t last = sampleEnd(SampleCount);
    const int32_t* samples = c.Samples.data();
    const int32_t end = std::min(last, kSampleSlots - 1);  // position 44100 reads as 0
    for (int32_t p = 1; p <= end; ++p) {
        if (samples[p] > 0) {
            c.FirstIndex = static_cast<Word>(p);
            c.Envelope.set(static_cast<uint32_t>(p), samples[p]);
            ScanIndex = static_cast<Word>(p);
            return;
        }
    }
    // No positive sample: FirstIndex and the envelope keep their values.
    ScanIndex = static_cast<Word>(last + 1);
}

// The envelope of the positive half-waves from the first positive sample on: smoothed while the
// samples are at or above 0, 0 at every negative sample.
void Instrument::buildEnvelope(ChannelState& c) {
    const int32_t last = sampleEnd(SampleCount);
    if (c.FirstIndex + 1 > last) return;
    const Smoothing smooth(c.EnvelopeDiv);
    const int32_t first = c.FirstIndex + 1;
    int32_t* envelope = c.Envelope.data();
    const int32_t* samples = c.Samples.data();
    const int32_t end = std::min(last, kSampleSlots - 1);  // position 44100 is past the arrays

    if (smooth.shift() >= 0) {
        int64_t previous = envelope[first - 1];
        int32_t i = first;
        // A negative seed (left by the trigger search) decays through negative values first.
        for (; i <= end && previous < 0; ++i) {
            const int32_t sample = samples[i];
            previous = sample < 0 ? 0 : smooth(previous, sample);
            envelope[i] = static_cast<int32_t>(previous);
        }
        // From a non-negative value on, every value is non-negative. A value of 0 carries nothing
        // over: the next is sample / D (0 for a negative sample) whatever came before, so zero
        // stretches and negative half-waves run without waiting for the previous position.
        while (i <= end) {
            if (previous == 0) {
                for (; i <= end && previous == 0; ++i) {
                    const int32_t sample = samples[i];
                    previous = sample > 0 ? smooth.fromNonNegative(0, sample) : 0;
                    envelope[i] = static_cast<int32_t>(previous);
                }
            } else {
                for (; i <= end && previous != 0; ++i) {
                    const int32_t sample = samples[i];
                    previous = sample < 0 ? 0 : smooth.fromNonNegative(previous, sample);
                    envelope[i] = static_cast<int32_t>(previous);
                }
            }
        }
    } else if (smooth.smooths()) {
        for (int32_t i = first; i <= end; ++i) {
            const int32_t sample = samples[i];
            envelope[i] = sample >= 0 ? smooth(envelope[i - 1], sample) : 0;
        }
    }
    ScanIndex = static_cast<Word>(last + 1);  // where the loop over the positions stops
}

// The searches work on a local copy of the scan position and leave the state as the step-by-step
// search does: the edge values are those of the last position examined.
void Instrument::MeasurePeriod(ChannelState& c) {
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
    // Positions are 16-bit: the look-ahead and the scan wrap as such.
    const auto at = [&c](int position) {
        return edgeValue(c.Envelope, static_cast<Word>(position));
    };

    // Rising edge: at (or below) the threshold here and higher one and two steps ahead.
    for (;;) {
        const Word here = at(scan);
        const bool edge = here <= atMost && at(scan + step) > here && at(scan + 2 * step) > here;
        ++scan;
        if (edge || scan == kSearchLimit) break;
    }
    c.PeriodStart = static_cast<Word>(scan - 1);

    // The end of the half-wave: the next zero of the envelope after the skip.
    scan = static_cast<Word>(scan + c.EdgeSkip);
    for (;;) {
        const Word here = at(scan);
        ++scan;
        if (here == 0 || scan == kSearchLimit) break;
    }
    c.PeriodEnd = scan;
    if (c.PeriodEnd == c.PeriodStart) c.PeriodEnd = static_cast<Word>(c.PeriodStart + 1);

    const Word last = static_cast<Word>(scan - 1);
    c.EdgeValue0 = at(last);
    c.EdgeValue1 = at(last + step);
    c.EdgeValue2 = at(last + 2 * step);
    ScanIndex = scan;
    c.MeasuredFreq = kHalfFrameRate / (c.PeriodEnd - c.PeriodStart);
}

void Instrument::MeasureFrequency(ChannelState& c) {
    // The measured frequency, or the generator's when the display follows the generator.
    const auto pass = [&](Word step, Word skip) {
        c.EdgeStep = step;
        c.EdgeSkip = skip;
        c.EnvelopeDiv = kEnvelopeDivisor;
        FindFirstPositive(c);
        buildEnvelope(c);
        MeasurePeriod(c);
        if (FollowGenerator == kFollowMeasured) c.Freq = c.MeasuredFreq;
        if (FollowGenerator == kFollowGenerator) c.Freq = GeneratorFrequency;
    };

    // Coarse pass: " " + Round(freq) in five characters + " Hz".
    pass(kCoarseStep, kCoarseSkip);
    if (c.Freq <= kFineLimitHz) {
        NumText.setInteger(roundHalfEven(c.Freq), kCoarseWidth);
        showJoined(panel_, c.wiring.frequency, {kLead, NumText.view(), kHertz});
        return;
    }

    // Fine pass: " " + N in four characters + " Hz", the measured frequency to the nearest 10 Hz,
    // the generator's to 1 Hz.
    pass(kFineStep, kFineSkip);
    if (c.Freq > kDisplayLimitHz) {
        panel_.setText(c.wiring.frequency, kOverLimit);
        return;
    }
    const int64_t shown = FollowGenerator == kFollowMeasured ? roundHalfEven(c.Freq / 10.0) * 10
                                                             : roundHalfEven(c.Freq);
    NumText.setInteger(shown, kFineWidth);
    showJoined(panel_, c.wiring.frequency, {kLead, NumText.view(), kHertz});
    panel_.setVisible(Control::Panel14, false);
}

}  // namespace instrument
