// The generator panel's handlers: the amplitude and frequency range lists and scroll bars, and the
// read-outs they keep. They set GeneratorAmplitude and GeneratorFrequency, which the sine synthesis
// reads.
#include <array>

#include "app/OutputLevel.h"
#include "app/TForm1.h"
#include "instrument/Display.h"
#include "instrument/NumText.h"
#include "window/Controls.h"

namespace app {

using instrument::Control;
using instrument::NumText40;
using instrument::RoundHalfEven;

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

}  // namespace

// The generator sounds from here on for the life of the window. A second failure is not reported:
// the scope measures without it.
void TForm1::StartGenerator() {
    auto& playback = instrument_.AudioOut1;
    if (!playback->StartDevice(&playback)) playback->StartDevice(&playback);
}

void TForm1::ShowAmplitudeReadout() {
    instrument_.NumText.setInteger(millivolts(instrument_.GeneratorAmplitude));
    NumText40 line;
    line.append(instrument_.NumText.view());
    line.append(" mV");
    panel_.setText(Control::Edit13, line.view());
}

void TForm1::ScrollBar4Change() {
    instrument_.GeneratorAmplitude = ui_.ScrollBar4->position();
    ShowAmplitudeReadout();
}

void TForm1::ComboBox7Click() {
    const int item = panel_.itemIndex(Control::ComboBox7);
    // "  vypnuto" (off) silences the output and leaves the range, the bar and the read-out as they
    // are; any range brings the amplitude back.
    instrument_.GeneratorOff = item == kAmplitudeOffItem;
    if (item < 0 || item >= static_cast<int>(kAmplitudeRanges.size())) return;
    const AmplitudeRange& range = kAmplitudeRanges[static_cast<size_t>(item)];
    // Each position change, a clamp included, runs ScrollBar4Change.
    ui_.ScrollBar4->setMin(kAmplitudeMinimum);
    ui_.ScrollBar4->setMax(range.maximum);
    ui_.ScrollBar4->setPosition(range.preset);
    if (item <= kLastRewrittenAmplitudeItem) {
        instrument_.GeneratorAmplitude = ui_.ScrollBar4->position();
        ShowAmplitudeReadout();
    }
}

void TForm1::ScrollBar5Change() {
    const int position = ui_.ScrollBar5->position();
    NumText40 line;
    line.append(" ");
    if (position < kKHzBandStart) {
        instrument_.GeneratorFrequency = position;
        instrument_.NumText.setInteger(position);
        line.append(instrument_.NumText.view());
        line.append(" Hz");
        ui_.ScrollBar5->setLargeChange(position < kHzBandEnd ? kLowBandLargeChange
                                                             : kMidBandLargeChange);
        ui_.ScrollBar5->setSmallChange(kHzSmallChange);
        panel_.setText(Control::Edit14, line.view());
    } else if (position <= kKHzBandEnd) {
        instrument_.GeneratorFrequency =
            static_cast<int32_t>(RoundHalfEven(position / kKHzResolution) * kKHzResolution);
        const double kHz =
            static_cast<double>(RoundHalfEven(position / kKHzTextStep)) / kKHzTextStepsPerKHz;
        instrument_.NumText.setFixed(kHz, kKHzTextWidth, kKHzTextDecimals);
        line.append(instrument_.NumText.view());
        line.append(" kHz");
        ui_.ScrollBar5->setLargeChange(kKHzLargeChange);
        ui_.ScrollBar5->setSmallChange(kKHzSmallChange);
        panel_.setText(Control::Edit14, line.view());
    }
    // A position above 20000 matches no band; the range lists never allow it.

    panel_.setVisible(Control::Panel14,
                      instrument_.GeneratorFrequency > instrument::kDisplayLimitHz);

    // The same request the idle cycle makes, through the same paced way in: while a capture runs
    // it does nothing, and while the device fails it waits for the retry that is due.
    instrument_.KeepCaptureRunning();
}

void TForm1::ComboBox8Click() {
    const int item = panel_.itemIndex(Control::ComboBox8);
    if (item < 0 || item >= static_cast<int>(kFrequencyRanges.size())) return;
    const FrequencyRange& range = kFrequencyRanges[static_cast<size_t>(item)];
    // Each resulting position change runs ScrollBar5Change.
    if (range.order == RangeOrder::MinimumFirst) {
        ui_.ScrollBar5->setMin(range.minimum);
        ui_.ScrollBar5->setMax(range.maximum);
    } else {
        ui_.ScrollBar5->setMax(range.maximum);
        ui_.ScrollBar5->setMin(range.minimum);
    }
    ui_.ScrollBar5->setPosition(range.preset);
}

}  // namespace app
