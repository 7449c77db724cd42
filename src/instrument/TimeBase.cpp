// The time base: the band in force, chosen from channel R's frequency or from ComboBox1.
#include "instrument/TimeBase.h"

#include "instrument/Instrument.h"

namespace instrument {

void Instrument::ApplyTimeBase() {
    int band = 0;
    if (AutoTimeBase == 1) {
        band = automaticBand(FreqR);
    } else {
        band = panel_.itemIndex(Control::ComboBox1);
        if (band < kFirstBand || band > kLastBand) return;
    }
    if (TimeBaseLatch[band] == 1) return;  // already in force: nothing to redraw

    PointSpacing = timeBand(band).pointSpacing;
    TimeStep = timeBand(band).timeStep;
    panel_.repaintWindow();
    DrawTimeScale(band);
    TimeBaseLatch.latch(band);
}

void Instrument::ComboBox1Click() {
    const int item = panel_.itemIndex(Control::ComboBox1);
    AutoTimeBase = item == kTimeBaseAutomaticItem ? 1 : 0;
    if (item == kTimeBaseGeneratorItem) {
        FollowGenerator = 1;
        AutoTimeBase = 1;
    } else {
        FollowGenerator = 0;
    }
}

}  // namespace instrument
