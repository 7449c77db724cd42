// The acquisition cycle: the capture handler that copies each full buffer into RawSamples, and
// the idle pass that keeps capture running and measures (and in periodic mode draws) each time.
#include <string>

#include "instrument/Instrument.h"

namespace instrument {

namespace {

// A buffer holds 1 to 44100 16-bit values, the size of RawSamples.
constexpr int32_t kBytesPerValue = 2;
constexpr int32_t kMinBufferBytes = kBytesPerValue;
constexpr int32_t kMaxBufferBytes = kSampleSlots * kBytesPerValue;

// The k-th little-endian 16-bit value of a buffer, sign-extended.
int32_t SignedValueAt(const std::byte* bytes, int32_t k) {
    const auto low = static_cast<uint16_t>(bytes[2 * k]);
    const auto high = static_cast<uint16_t>(bytes[2 * k + 1]);
    return static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
}

}  // namespace

bool Instrument::AudioIn1BufferFilled(std::byte* Buffer, int32_t& Size) {
    // A buffer outside 2..88200 bytes would not fit RawSamples: it is not copied and the last
    // samples stay in force. An odd last byte is no whole value and is ignored.
    if (Buffer != nullptr && Size >= kMinBufferBytes && Size <= kMaxBufferBytes) {
        SampleCount = Size / kBytesPerValue;
        int32_t* raw = RawSamples.data();
        for (int32_t k = 0; k < SampleCount; ++k) raw[k] = SignedValueAt(Buffer, k);
    }
    // Declined: the component does not queue the buffer again, so a run ends after its buffers.
    return false;
}

void Instrument::MyIdleEvent(bool& Done) {
    KeepCaptureRunning();
    KeepGeneratorPlaying();

    R.FirstIndex = 1;

    if (PeriodicMode == kPeriodicDisplay) {
        DrawGrid();
        DrawTraces();
    } else {
        AnalyseChannelL();
        MeasureFrequencyL();
        AnalyseChannelR();
        MeasureFrequencyR();
    }

    Done = false;  // call again as soon as the message queue is empty
}

// A new capture run once the previous one has ended (a failed start is tried once more at once).
// A run the device ended, or a start that failed, makes the next wait kRetryInterval.
void Instrument::KeepCaptureRunning() {
    audio::TAudioIn& in = *AudioIn1;
    if (in.DeviceOpen()) return;
    const TimePoint now = clock_();
    if (in.DeviceFailed() && !capturePace_.failing()) {
        capturePace_.failed(now);
        ShowDeviceFailure(platform::Direction::Capture, in.LastErrorText());
    }
    if (!capturePace_.due(now)) return;
    if (in.StartDevice(&AudioIn1) || in.StartDevice(&AudioIn1)) {
        if (capturePace_.failing()) ShowDeviceFailure(platform::Direction::Capture, {});
        capturePace_.succeeded();
        return;
    }
    capturePace_.failed(now);
    ShowDeviceFailure(platform::Direction::Capture, in.LastErrorText());
}

void Instrument::ShowDeviceFailure(platform::Direction direction, std::string_view why) {
    const bool capture = direction == platform::Direction::Capture;
    std::string& line = capture ? captureFailure_ : generatorFailure_;
    line.clear();
    if (!why.empty()) {
        line.append(capture ? "Zařízení pro záznam „" : "Zařízení pro přehrávání „")
            .append(driver_.deviceName(direction))
            .append("“ není dostupné: ")
            .append(why)
            .append("\nStále se ho pokouším znovu otevřít…");
    }
    const std::string both = captureFailure_ +
                             (captureFailure_.empty() || generatorFailure_.empty() ? "" : "\n") +
                             generatorFailure_;
    panel_.setText(Control::DeviceNotice, both);
    panel_.setVisible(Control::DeviceNotice, !both.empty());
}

void Instrument::RadioButton1Click() {
    PeriodicMode = kPeriodicDisplay;
}

void Instrument::RadioButton2Click() {
    PeriodicMode = kSingleShotDisplay;
    panel_.repaintWindow();
    DrawTraces();
    // With neither button checked, every further click on RadioButton2 draws one more frame.
    panel_.setChecked(Control::RadioButton2, false);
    panel_.setChecked(Control::RadioButton1, false);
}

}  // namespace instrument
