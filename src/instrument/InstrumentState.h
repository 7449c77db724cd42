// The instrument's state: every measurement variable of the main window with its type and start
// value. The routines of the instrument read and write these by name.
#pragma once

#include <array>
#include <cstdint>

#include "instrument/NumText.h"

namespace instrument {

using Word = uint16_t;  // sample positions and 16-bit results; arithmetic on them wraps

inline constexpr int kSampleSlots = 44100;

// A sample array of 44100 Integer slots. Positions are unsigned; a read at or beyond the end
// yields 0 and a write there is dropped, so no position can reach outside the array.
class SampleArray {
  public:
    int32_t operator[](uint32_t position) const {
        return position < kSampleSlots ? values_[position] : 0;
    }
    void set(uint32_t position, int32_t value) {
        if (position < kSampleSlots) values_[position] = value;
    }
    int32_t* data() { return values_.data(); }
    const int32_t* data() const { return values_.data(); }
    void fill(int32_t value) { values_.fill(value); }

  private:
    std::array<int32_t, kSampleSlots> values_{};
};

// Apply-once latch flags, numbered 1..N as the settings they stand for.
template <int N>
class LatchFlags {
  public:
    int32_t operator[](int number) const { return flags_[static_cast<size_t>(number - 1)]; }
    // Marks `number` as the setting in force: its flag 1, every other flag 0.
    void latch(int number) {
        flags_.fill(0);
        flags_[static_cast<size_t>(number - 1)] = 1;
    }
    void clear() { flags_.fill(0); }
    static constexpr int size() { return N; }

  private:
    std::array<int32_t, N> flags_{};
};

inline constexpr int kRangeItems = 12;
inline constexpr int kRange100mV = 9;  // the start-up range
inline constexpr int kRange5V = 4;     // the automatic range
inline constexpr int kTimeBands = 7;

struct InstrumentState {
    InstrumentState() { RangeLatchL.latch(kRange100mV), RangeLatchR.latch(kRange100mV); }

    // Capture and sample storage.
    SampleArray RawSamples;
    int32_t SampleCount = 22100;
    SampleArray SamplesL, SamplesR;
    SampleArray EnvelopeL, EnvelopeR;
    SampleArray DrawnSamplesL, DrawnSamplesR;
    Word ScanIndex = 0;
    Word RawIndex = 0;

    // Per-channel results.
    Word PeakL = 0, PeakR = 0;
    double LevelL = 0.0, LevelR = 0.0;
    Word FirstIndexL = 0, FirstIndexR = 0;
    Word EdgeValueL0 = 0, EdgeValueL1 = 0, EdgeValueL2 = 0;
    Word EdgeValueR0 = 0, EdgeValueR1 = 0, EdgeValueR2 = 0;
    Word EdgeStepL = 0, EdgeSkipL = 0, EdgeStepR = 0, EdgeSkipR = 0;
    double EdgeBaseL = 0.0, EdgeBaseR = 0.0;
    Word PeriodStartL = 0, PeriodEndL = 0, PeriodStartR = 0, PeriodEndR = 0;
    double MeasuredFreqL = 0.0, MeasuredFreqR = 0.0;
    double FreqL = 40.0, FreqR = 40.0;
    int32_t EnvelopeDivL = 16, EnvelopeDivR = 16;
    double DivisionValueL = 10.0, DivisionValueR = 10.0;
    double GainL = 1.0, GainR = 1.0;
    int32_t AutoRangeL = 1, AutoRangeR = 1;
    LatchFlags<kRangeItems> RangeLatchL, RangeLatchR;
    double TraceScaleL = 0.988, TraceScaleR = 0.988;

    // Display, mode and control state.
    Word TraceStartR = 0;
    int32_t PeriodicMode = 1;
    Word FollowGenerator = 0;
    int32_t AutoTimeBase = 1;
    LatchFlags<kTimeBands> TimeBaseLatch;
    int32_t TimeStep = 6;
    double PointSpacing = 0.0;
    double GridUnitX = 0.0;
    int32_t GridVisible = 1;
    Word GridBrightness = 75;
    int32_t ChannelShift = 5;
    int32_t GeneratorFrequency = 100;
    int32_t GeneratorAmplitude = 3276;
    NumText40 NumText;
};

}  // namespace instrument
