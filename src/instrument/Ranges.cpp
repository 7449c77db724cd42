// Vertical ranges. The range lists stay on "automaticky", which is one fixed scale of 0.5 V per
// division; the first redraw after start-up applies it and the latch keeps it from being applied
// (and the window repainted) again.
#include "instrument/Instrument.h"

namespace instrument {

namespace {

constexpr int32_t kAutomaticRange = 1;
constexpr double kAutoDivisionValue = 0.5;  // volts per 20-pixel division
constexpr double kAutoGain = 0.02;          // pixels per sample unit, before the trace scale
constexpr std::string_view kUnitAbove = "+ V";
constexpr std::string_view kUnitBelow = "- V";

}  // namespace

void Instrument::ApplyRangeL() {
    if (AutoRangeL != kAutomaticRange) return;  // the lists are disabled; nothing else occurs
    if (RangeLatchL[kRange5V] == 1) return;     // already in force
    DivisionValueL = kAutoDivisionValue;
    panel_.setText(Control::Edit2, kUnitAbove);
    panel_.setText(Control::Edit5, kUnitBelow);
    GainL = kAutoGain;
    panel_.repaintWindow();
    RangeLatchL.latch(kRange5V);
}

void Instrument::ApplyRangeR() {
    if (AutoRangeR != kAutomaticRange) return;
    if (RangeLatchR[kRange5V] == 1) return;
    DivisionValueR = kAutoDivisionValue;
    panel_.setText(Control::Edit18, kUnitAbove);
    panel_.setText(Control::Edit19, kUnitBelow);
    GainR = kAutoGain;
    panel_.repaintWindow();
    RangeLatchR.latch(kRange5V);
}

}  // namespace instrument
