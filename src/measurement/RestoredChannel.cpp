#include "measurement/RestoredChannel.h"

#include <span>

#include "measurement/DroopCorner.h"

namespace measurement {

void measureRestored(ChannelView samples, double frameRate, double givenCornerHz,
                     RestoredChannel& result) {
    measureChannel(samples, frameRate, result.raw);
    result.droop = cornerFromDroop(samples, result.raw, frameRate);
    if (usableCorner(givenCornerHz, frameRate)) {
        result.source = CornerSource::Given;
        result.cornerHz = givenCornerHz;
    } else if (result.droop) {
        result.source = CornerSource::Droop;
        result.cornerHz = result.droop->hz;
    } else {
        result.source = CornerSource::None;
        result.cornerHz = 0.0;
    }
    if (result.samples.size() < samples.size()) result.samples.resize(samples.size());
    result.restoration = restoreCoupling(samples, result.raw, result.cornerHz, frameRate,
                                         std::span(result.samples), result.measurement);
    if (!result.restoration.restored) {
        result.source = CornerSource::None;
        result.cornerHz = 0.0;
    }
}

}  // namespace measurement
