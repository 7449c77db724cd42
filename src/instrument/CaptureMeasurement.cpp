#include "instrument/CaptureMeasurement.h"

#include "instrument/Instrument.h"

namespace instrument {

namespace {

constexpr size_t kChannels = 2;
constexpr size_t kFirstInput = 0;   // channel R
constexpr size_t kSecondInput = 1;  // channel L

}  // namespace

void reserveMeasurement(CaptureMeasurement& measured) {
    // A channel has at most one edge per frame.
    constexpr size_t kMostFrames = kSampleSlots / kChannels;
    for (measurement::ChannelMeasurement* c : {&measured.R, &measured.L})
        c->edges.reserve(kMostFrames);
    for (measurement::RestoredChannel* c : {&measured.restoredR, &measured.restoredL}) {
        c->raw.edges.reserve(kMostFrames);
        c->measurement.edges.reserve(kMostFrames);
        c->samples.reserve(kMostFrames);
    }
}

void measureCapture(const DrawnCapture& capture, double frameRate, uint64_t buffer,
                    const ChannelChoices& choices, CaptureMeasurement& measured) {
    using measurement::ChannelView;
    const auto values = capture.values();
    struct Target {
        size_t input;
        measurement::ChannelMeasurement& figures;
        measurement::RestoredChannel& restored;
    };
    for (const Target& t : {Target{kFirstInput, measured.R, measured.restoredR},
                            Target{kSecondInput, measured.L, measured.restoredL}}) {
        const ChannelView view = ChannelView::interleaved(values, kChannels, t.input);
        const ChannelChoice& choice = choices[t.input];
        if (choice.logic) {
            measurement::measureRestored(view, frameRate, choice.givenCornerHz, t.restored);
            t.figures = t.restored.measurement;  // into the capacity reserved
        } else {
            measurement::measureChannel(view, frameRate, t.figures);
        }
    }
    measured.choices = choices;
    measured.buffer = buffer;
    ++measured.number;
}

void Instrument::measureScreenCapture() {
    // A pass over the buffer the last one drew keeps the same capture: its figures stand.
    const CaptureKey key{capturedBuffers, SampleCount};
    if (key == measuredKey_) return;
    measuredKey_ = key;
    measureCapture(screenCapture, kCaptureFrameRate, capturedBuffers, measureChoices_, measured);
}

void Instrument::setMeasureChoices(const ChannelChoices& choices) {
    if (choices == measureChoices_) return;
    measureChoices_ = choices;
    // The capture on the screen measured again, as now chosen, once there is one.
    if (measuredKey_.sampleCount < 0) return;
    measureCapture(screenCapture, kCaptureFrameRate, measuredKey_.buffer, measureChoices_,
                   measured);
}

}  // namespace instrument
