// The instrument's state types: the sample arrays, the apply-once latches, one channel's state,
// and the start values the state is built with and FormCreate brings it back to.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "instrument/FrontPanel.h"

namespace instrument {

using Word = uint16_t;  // sample positions and 16-bit results; arithmetic on them wraps

inline constexpr int kSampleSlots = 44100;
// The searches for an edge (frequency) and for the trigger look at positions below this.
inline constexpr int kSearchLimit = 20000;

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

// The capture a drawing pass worked on: RawSamples[0..SampleCount) as they were then, interleaved
// (the card's first input, then its second), kept until the next drawing pass whatever captures
// arrive in between. Empty until the first drawing pass.
class DrawnCapture {
  public:
    void keep(const SampleArray& rawSamples, int32_t sampleCount) {
        count_ = std::clamp(sampleCount, 0, kSampleSlots);
        std::copy_n(rawSamples.data(), count_, values_.data());
    }
    std::span<const int32_t> values() const {
        return {values_.data(), static_cast<size_t>(count_)};
    }

  private:
    SampleArray values_;
    int32_t count_ = 0;
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
    // The setting in force: the number whose flag is set; 0 when none is.
    int latched() const {
        for (int number = 1; number <= N; ++number)
            if ((*this)[number] != 0) return number;
        return 0;
    }
    static constexpr int size() { return N; }

  private:
    std::array<int32_t, N> flags_{};
};

inline constexpr int kRangeItems = 12;
inline constexpr int kRange100mV = 9;  // the start-up range
inline constexpr int kRange5V = 4;     // the automatic range
inline constexpr int kTimeBands = 7;

// Values of the mode and switch variables.
inline constexpr int32_t kPeriodicDisplay = 1;  // PeriodicMode: every idle pass draws
inline constexpr int32_t kSingleShotDisplay = 0;
inline constexpr int32_t kAutomatic = 1;  // AutoTimeBase, AutoRange: chosen by the instrument
inline constexpr int32_t kManual = 0;     // AutoTimeBase: ComboBox1's band
inline constexpr int32_t kGridShown = 1;  // GridVisible
inline constexpr int32_t kGridHidden = 0;
inline constexpr Word kFollowMeasured = 0;   // FollowGenerator: the read-outs show what is measured
inline constexpr Word kFollowGenerator = 1;  // or the generator's frequency

// Start values.
inline constexpr int32_t kStartSampleCount = 22100;
inline constexpr double kStartTraceScale = 0.988;
inline constexpr double kStartDivisionValue = 10.0;
inline constexpr double kStartGain = 1.0;
inline constexpr Word kStartGridBrightness = 75;
inline constexpr int32_t kStartTimeStep = 6;
inline constexpr int32_t kStartEnvelopeDiv = 16;
inline constexpr double kStartFrequency = 40.0;
inline constexpr int32_t kStartChannelShift = 5;
inline constexpr int32_t kStartGeneratorFrequency = 100;
inline constexpr int32_t kStartGeneratorAmplitude = 3276;

// Where a channel comes from in the interleaved capture and which controls show it.
struct ChannelWiring {
    uint32_t firstValue;  // its value's place in each frame of RawSamples
    Control level;        // level read-out
    Control frequency;    // frequency read-out
    Control unitAbove;    // unit labels of its scale column
    Control unitBelow;
};

// Channel R is the card's first input, L its second.
inline constexpr ChannelWiring kWiringL{1, Control::Edit4, Control::Edit12, Control::Edit2,
                                        Control::Edit5};
inline constexpr ChannelWiring kWiringR{0, Control::Edit1, Control::Edit8, Control::Edit18,
                                        Control::Edit19};

// The state of one channel. The instrument has two, L and R; each member stands for the pair of
// state variables named in its comment (SamplesL is L.Samples, FreqR is R.Freq). Every member but
// wiring is carried from one idle pass to the next, and so is part of the pass fingerprint that
// tells whether the passes have settled (Instrument::fingerprintPassState, IdleSettle): each says
// "carried".
struct ChannelState {
    explicit ChannelState(const ChannelWiring& wiring) : wiring(wiring) {
        RangeLatch.latch(kRange100mV);
    }

    const ChannelWiring& wiring;

    SampleArray Samples;        // SamplesL, SamplesR; carried
    SampleArray Envelope;       // EnvelopeL, EnvelopeR; carried
    SampleArray DrawnSamples;   // DrawnSamplesL, DrawnSamplesR: the trace on the screen; carried
    Word Peak = 0;              // PeakL, PeakR; carried
    double Level = 0.0;         // LevelL, LevelR; carried
    Word FirstIndex = 0;        // FirstIndexL, FirstIndexR; carried
    Word EdgeValue0 = 0;        // EdgeValueL0, EdgeValueR0; carried
    Word EdgeValue1 = 0;        // EdgeValueL1, EdgeValueR1; carried
    Word EdgeValue2 = 0;        // EdgeValueL2, EdgeValueR2; carried
    Word EdgeStep = 0;          // EdgeStepL, EdgeStepR; carried
    Word EdgeSkip = 0;          // EdgeSkipL, EdgeSkipR; carried
    double EdgeBase = 0.0;      // EdgeBaseL, EdgeBaseR; carried
    Word PeriodStart = 0;       // PeriodStartL, PeriodStartR; carried
    Word PeriodEnd = 0;         // PeriodEndL, PeriodEndR; carried
    double MeasuredFreq = 0.0;  // MeasuredFreqL, MeasuredFreqR; carried
    double Freq = kStartFrequency;               // FreqL, FreqR; carried
    int32_t EnvelopeDiv = kStartEnvelopeDiv;     // EnvelopeDivL, EnvelopeDivR; carried
    double DivisionValue = kStartDivisionValue;  // DivisionValueL, DivisionValueR; carried
    double Gain = kStartGain;                    // GainL, GainR; carried
    int32_t AutoRange = kAutomatic;              // AutoRangeL, AutoRangeR; carried
    LatchFlags<kRangeItems> RangeLatch;          // RangeLatchL, RangeLatchR; carried
    double TraceScale = kStartTraceScale;        // TraceScaleL, TraceScaleR; carried
};

}  // namespace instrument
