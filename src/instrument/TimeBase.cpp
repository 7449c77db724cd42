// The time base: the band in force, chosen from channel R's frequency or from ComboBox1.
#include "instrument/TimeBase.h"

#include "instrument/Instrument.h"

namespace instrument {

int Instrument::selectedBand() const {
    if (AutoTimeBase == kAutomatic) return automaticBand(R.Freq);
    const int item = panel_.itemIndex(Control::ComboBox1);
    return item >= kFirstBand && item <= kLastBand ? item : 0;
}

void Instrument::ApplyTimeBase() {
    const int band = selectedBand();
    if (band == 0 || band == bandInForce()) return;  // nothing new to redraw

    PointSpacing = timeBand(band).pointSpacing;
    TimeStep = timeBand(band).timeStep;
    panel_.repaintWindow();
    DrawTimeScale(band);
    TimeBaseLatch.latch(band);
}

void Instrument::ComboBox1Click() {
    const int item = panel_.itemIndex(Control::ComboBox1);
    AutoTimeBase = item == kTimeBaseAutomaticItem ? kAutomatic : kManual;
    if (item == kTimeBaseGeneratorItem) {
        FollowGenerator = kFollowGenerator;
        AutoTimeBase = kAutomatic;
    } else {
        FollowGenerator = kFollowMeasured;
    }
}

}  // namespace instrument
