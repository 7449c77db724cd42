// Vertical ranges. The range lists stay on "automaticky", which is one fixed scale of 0.5 V per
// division; the first redraw after start-up applies it and the latch keeps it from being applied
// (and the window repainted) again.
#include "instrument/Instrument.h"

namespace instrument {

namespace {

constexpr double kAutoDivisionValue = 0.5;  // volts per 20-pixel division
constexpr double kAutoGain = 0.02;          // pixels per sample unit, before the trace scale
constexpr std::string_view kUnitAbove = "+ V";
constexpr std::string_view kUnitBelow = "- V";

}  // namespace

void Instrument::ApplyRange(ChannelState& c) {
    if (c.AutoRange != kAutomatic) return;    // the lists are disabled; nothing else occurs
    if (c.RangeLatch[kRange5V] == 1) return;  // already in force
    c.DivisionValue = kAutoDivisionValue;
    panel_.setText(c.wiring.unitAbove, kUnitAbove);
    panel_.setText(c.wiring.unitBelow, kUnitBelow);
    c.Gain = kAutoGain;
    panel_.repaintWindow();
    c.RangeLatch.latch(kRange5V);
}

}  // namespace instrument
