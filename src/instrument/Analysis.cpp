// Channel analysis: each channel's values split out of the interleaved capture, its peak and its
// read-outs. Channel R holds the even positions of RawSamples, channel L the odd ones.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "instrument/Instrument.h"
#include "instrument/RoutineSupport.h"

namespace instrument {

namespace {

constexpr double kShownLevelMillivolts = 2500.0;
constexpr double kMillivoltsPerVolt = 1000.0;
constexpr int kLevelWidth = 2;
constexpr int kLevelDecimals = 2;

constexpr std::string_view kVoltUnit = " V";
constexpr std::string_view kPeakLabelL = "rmaxl =";
constexpr std::string_view kPeakLabelR = "rmaxr =";

// Frame k's value at RawSamples[2k + first], for k = 0..count − 1. Read positions from 44100 on
// lie past RawSamples and yield 0; they are kept in full, so a read never wraps back onto captured
// values. The loop indices end as the loop over the frames leaves them.
void deinterleave(const SampleArray& rawSamples, uint32_t first, int32_t count,
                  SampleArray& samples, Word& scanIndex, Word& rawIndex) {
    const int32_t* raw = rawSamples.data();
    int32_t* out = samples.data();
    // Frames whose value lies inside RawSamples: 2k + first < 44100.
    const int32_t inside = std::min(count, (kSampleSlots - static_cast<int32_t>(first) + 1) / 2);
    for (int32_t k = 0; k < inside; ++k) out[k] = raw[2 * k + static_cast<int32_t>(first)];
    for (int32_t k = std::max(inside, 0); k < count; ++k) out[k] = 0;
    scanIndex = static_cast<Word>(count);
    if (count > 0) rawIndex = static_cast<Word>(2 * (count - 1) + static_cast<int32_t>(first));
}

// The largest magnitude over positions 1..count − 1 (position 0 is not examined).
Word peakFromPositionOne(const SampleArray& samples, int32_t count, Word& scanIndex) {
    const int32_t* values = samples.data();
    int32_t peak = 0;
    for (int32_t k = 1; k < count; ++k) peak = std::max(peak, std::abs(values[k]));
    scanIndex = static_cast<Word>(std::max(count, 1));
    return static_cast<Word>(peak);  // capture values: at most 32768
}

}  // namespace

void Instrument::AnalyseChannel(ChannelState& c) {
    c.Peak = 0;

    const int32_t count = sampleEnd(SampleCount);
    deinterleave(RawSamples, c.wiring.firstValue, count, c.Samples, ScanIndex, RawIndex);
    c.Peak = peakFromPositionOne(c.Samples, count, ScanIndex);

    c.Level = kShownLevelMillivolts;
    NumText.setFixed(static_cast<double>(roundHalfEven(c.Level)) / kMillivoltsPerVolt, kLevelWidth,
                     kLevelDecimals);
    showJoined(panel_, c.wiring.level, {NumText.view(), kVoltUnit});
}

void Instrument::AnalyseChannelL() {
    AnalyseChannel(L);
    // Both peaks, R's as its latest analysis left it.
    NumText40 peakText;
    peakText.append(kPeakLabelL);
    NumText.setInteger(L.Peak);
    peakText.append(NumText.view());
    peakText.append(kPeakLabelR);
    NumText.setInteger(R.Peak);
    peakText.append(NumText.view());
    panel_.setText(Control::Edit11, peakText.view());
}

void Instrument::AnalyseChannelR() {
    AnalyseChannel(R);
    panel_.setVisible(Control::Panel2, false);
}

}  // namespace instrument
