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
    measured.R.edges.reserve(kMostFrames);
    measured.L.edges.reserve(kMostFrames);
}

void measureCapture(const DrawnCapture& capture, double frameRate, uint64_t buffer,
                    CaptureMeasurement& measured) {
    using measurement::ChannelView;
    const auto values = capture.values();
    measurement::measureChannel(ChannelView::interleaved(values, kChannels, kFirstInput), frameRate,
                                measured.R);
    measurement::measureChannel(ChannelView::interleaved(values, kChannels, kSecondInput),
                                frameRate, measured.L);
    measured.buffer = buffer;
    ++measured.number;
}

void Instrument::measureScreenCapture() {
    // A pass over the buffer the last one drew keeps the same capture: its figures stand.
    const CaptureKey key{capturedBuffers, SampleCount};
    if (key == measuredKey_) return;
    measuredKey_ = key;
    measureCapture(screenCapture, kCaptureFrameRate, capturedBuffers, measured);
}

}  // namespace instrument
