// An instrument on the simulated card (manual clock) with a recording front panel, for the tests
// of the acquisition cycle and the measurement routines.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/wave_test_support.h"
#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "support/FakePanel.h"

namespace testing_support {

struct InstrumentRig {
    platform::MessageLoop loop;
    platform::sim::SimCard card{platform::sim::SimClock::Manual};
    wave_test::CountingDriver driver{card};
    instrument::TimePoint now{};  // the instrument's clock, moved by the test
    FakePanel panel;
    instrument::Instrument scope{panel, driver, loop, [this] { return now; }};

    // One idle pass; returns the done flag it reported.
    bool idlePass() {
        bool done = true;
        scope.MyIdleEvent(done);
        return done;
    }

    // Lets `count` capture buffers complete and hands them to the instrument.
    int deliver(int count) {
        const int completed = card.completeBuffers(count);
        loop.pump();
        return completed;
    }

    void setSource(std::unique_ptr<platform::sim::ChannelSource> channelR,
                   std::unique_ptr<platform::sim::ChannelSource> channelL) {
        // The card's first input is channel R, its second channel L.
        card.setSource(platform::sim::makeStereo(std::move(channelR), std::move(channelL)));
    }
};

// Channel array with a square wave of `halfWave` samples per half, positive half first at
// position 0, over the 11025 values one capture buffer gives a channel; zero from there on, as
// the de-interleaving leaves it. SampleCount is the designed 22050.
inline void fillSquare(instrument::SampleArray& samples, int halfWave, int32_t amplitude,
                       int length = 11025) {
    samples.fill(0);
    for (int k = 0; k < length; ++k)
        samples.set(static_cast<uint32_t>(k), (k / halfWave) % 2 == 0 ? amplitude : -amplitude);
}

}  // namespace testing_support
