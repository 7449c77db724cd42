// The generator panel's handlers: the amplitude and frequency range lists and scroll bars, and the
// read-outs they keep. They set GeneratorAmplitude and GeneratorFrequency, which the sine synthesis
// reads. Setting a bar's limits or position runs its change handler whenever the position changes.
#include <array>

#include "generator/Generator.h"
#include "generator/OutputLevel.h"
#include "instrument/Display.h"
#include "instrument/NumText.h"

namespace generator {

using instrument::Control;
using instrument::NumText40;
using instrument::roundHalfEven;

namespace {

struct AmplitudeRange {
    int maximum;
    int preset;
};

// ComboBox7 items 0..6; the minimum is always 0. Item 7 is "  vypnuto" (off).
constexpr std::array<AmplitudeRange, 7> kAmplitudeRanges{{
    {32767, 16384},
    {16384, 8192},
    {8200, 4100},
    {3280, 164},
    {1640, 164},
    {820, 164},
    {328, 164},
}};
constexpr int kAmplitudeOffItem = 7;
constexpr int kAmplitudeMinimum = 0;
// For these items the read-out is written once more after the preset, so that it is right even
// when the position did not change.
constexpr int kLastRewrittenAmplitudeItem = 1;

enum class RangeOrder { MinimumFirst, MaximumFirst };

struct FrequencyRange {
    int minimum;
    int maximum;
    int preset;
    RangeOrder order;  // widening the maximum first keeps the range from inverting
};

// ComboBox8 items 0..3.
constexpr std::array<FrequencyRange, 4> kFrequencyRanges{{
    {20, 100, 50, RangeOrder::MinimumFirst},
    {100, 1000, 1000, RangeOrder::MinimumFirst},
    {1000, 20000, 4000, RangeOrder::MaximumFirst},
    {10, 20000, 100, RangeOrder::MinimumFirst},
}};

// Bands of the frequency bar's position: below 100 and 100..999 in Hz, 1000..20000 in kHz.
constexpr int kHzBandEnd = 100;
constexpr int kKHzBandStart = 1000;
constexpr int kKHzBandEnd = 20000;
constexpr int kLowBandLargeChange = 10;
constexpr int kMidBandLargeChange = 100;
constexpr int kHzSmallChange = 1;
constexpr int kKHzLargeChange = 1000;
constexpr int kKHzSmallChange = 100;
constexpr double kKHzResolution = 100.0;  // the kHz band's frequency moves in steps of 100 Hz
// The kHz text: the position rounded to 10 Hz, in kHz.
constexpr double kKHzTextStep = 10.0;
constexpr double kKHzTextStepsPerKHz = 100.0;
constexpr int kKHzTextWidth = 2;
constexpr int kKHzTextDecimals = 1;

// The start-up range of the frequency bar (which matches none of the list's items) and its steps,
// written after its change handler has run; the amplitude bar's range; the lists' start items.
constexpr int kFrequencyStartMin = 100;
constexpr int kFrequencyStartMax = 10000;
constexpr int kFrequencyStartLargeChange = 10;
constexpr int kFrequencyStartSmallChange = 1;
constexpr int kAmplitudeStartMin = 0;
constexpr int kAmplitudeStartMax = 32767;
constexpr int kAmplitudeStartItem = 0;  // " 0 až 1 V"
constexpr int kFrequencyStartItem = 1;  // "100 Hz až 1 kHz"

}  // namespace

void Generator::setUpFrequencyBar() {
    // Raising the minimum moves the position from 0 to 100, which runs ScrollBar5Change and with
    // it the first capture start request.
    panel_.setMinimum(Control::ScrollBar5, kFrequencyStartMin);
    panel_.setMaximum(Control::ScrollBar5, kFrequencyStartMax);
    panel_.setPosition(Control::ScrollBar5, instrument::kStartGeneratorFrequency);
    instrument_.GeneratorFrequency = panel_.position(Control::ScrollBar5);
    showHzReadout();
    panel_.setLargeChange(Control::ScrollBar5, kFrequencyStartLargeChange);
    panel_.setSmallChange(Control::ScrollBar5, kFrequencyStartSmallChange);
}

void Generator::setUpRanges() {
    panel_.setVisible(Control::Panel14, false);
    panel_.setItemIndex(Control::ComboBox7, kAmplitudeStartItem);
    panel_.setItemIndex(Control::ComboBox8, kFrequencyStartItem);
}

void Generator::setUpAmplitudeBar() {
    // Setting the position runs ScrollBar4Change; the read-out is then written once more.
    panel_.setMinimum(Control::ScrollBar4, kAmplitudeStartMin);
    panel_.setMaximum(Control::ScrollBar4, kAmplitudeStartMax);
    panel_.setPosition(Control::ScrollBar4, instrument::kStartGeneratorAmplitude);
    instrument_.GeneratorAmplitude = panel_.position(Control::ScrollBar4);
    showAmplitudeReadout();
}

void Generator::showAmplitudeReadout() {
    instrument_.NumText.setInteger(millivolts(instrument_.GeneratorAmplitude));
    NumText40 line;
    line.append(instrument_.NumText.view());
    line.append(" mV");
    panel_.setText(Control::Edit13, line.view());
}

void Generator::showHzReadout() {
    instrument_.NumText.setInteger(instrument_.GeneratorFrequency);
    showFrequencyReadout(" Hz");
}

void Generator::showFrequencyReadout(std::string_view unit) {
    NumText40 line;
    line.append(" ");
    line.append(instrument_.NumText.view());
    line.append(unit);
    panel_.setText(Control::Edit14, line.view());
}

void Generator::ScrollBar4Change() {
    instrument_.GeneratorAmplitude = panel_.position(Control::ScrollBar4);
    showAmplitudeReadout();
}

void Generator::ComboBox7Click() {
    const int item = panel_.itemIndex(Control::ComboBox7);
    // "  vypnuto" (off) silences the output and leaves the range, the bar and the read-out as they
    // are; any range brings the amplitude back.
    instrument_.generatorOff = item == kAmplitudeOffItem;
    if (item < 0 || item >= static_cast<int>(kAmplitudeRanges.size())) return;
    const AmplitudeRange& range = kAmplitudeRanges[static_cast<size_t>(item)];
    // Each position change, a clamp included, runs ScrollBar4Change.
    panel_.setMinimum(Control::ScrollBar4, kAmplitudeMinimum);
    panel_.setMaximum(Control::ScrollBar4, range.maximum);
    panel_.setPosition(Control::ScrollBar4, range.preset);
    if (item <= kLastRewrittenAmplitudeItem) {
        instrument_.GeneratorAmplitude = panel_.position(Control::ScrollBar4);
        showAmplitudeReadout();
    }
}

void Generator::ScrollBar5Change() {
    const int position = panel_.position(Control::ScrollBar5);
    if (position < kKHzBandStart) {
        instrument_.GeneratorFrequency = position;
        panel_.setLargeChange(Control::ScrollBar5,
                              position < kHzBandEnd ? kLowBandLargeChange : kMidBandLargeChange);
        panel_.setSmallChange(Control::ScrollBar5, kHzSmallChange);
        showHzReadout();
    } else if (position <= kKHzBandEnd) {
        instrument_.GeneratorFrequency =
            static_cast<int32_t>(roundHalfEven(position / kKHzResolution) * kKHzResolution);
        panel_.setLargeChange(Control::ScrollBar5, kKHzLargeChange);
        panel_.setSmallChange(Control::ScrollBar5, kKHzSmallChange);
        const double kHz =
            static_cast<double>(roundHalfEven(position / kKHzTextStep)) / kKHzTextStepsPerKHz;
        instrument_.NumText.setFixed(kHz, kKHzTextWidth, kKHzTextDecimals);
        showFrequencyReadout(" kHz");
    }
    // A position above 20000 matches no band; the range lists never allow it.

    panel_.setVisible(Control::Panel14,
                      instrument_.GeneratorFrequency > instrument::kDisplayLimitHz);

    // The same request the idle cycle makes, through the same paced way in: while a capture runs
    // it does nothing, and while the device fails it waits for the retry that is due.
    instrument_.keepCaptureRunning();
}

void Generator::ComboBox8Click() {
    const int item = panel_.itemIndex(Control::ComboBox8);
    if (item < 0 || item >= static_cast<int>(kFrequencyRanges.size())) return;
    const FrequencyRange& range = kFrequencyRanges[static_cast<size_t>(item)];
    // Each resulting position change runs ScrollBar5Change.
    if (range.order == RangeOrder::MinimumFirst) {
        panel_.setMinimum(Control::ScrollBar5, range.minimum);
        panel_.setMaximum(Control::ScrollBar5, range.maximum);
    } else {
        panel_.setMaximum(Control::ScrollBar5, range.maximum);
        panel_.setMinimum(Control::ScrollBar5, range.minimum);
    }
    panel_.setPosition(Control::ScrollBar5, range.preset);
}

}  // namespace generator
