// The acquisition cycle: the capture handler that copies each full buffer into RawSamples, and
// the idle pass that keeps capture running and measures (and in periodic mode draws) each time.
#include <span>

#include "instrument/Instrument.h"

namespace instrument {

namespace {

// A buffer holds 1 to 44100 16-bit values, the size of RawSamples.
constexpr int32_t kBytesPerValue = 2;
constexpr int32_t kMinBufferBytes = kBytesPerValue;
constexpr int32_t kMaxBufferBytes = kSampleSlots * kBytesPerValue;

// The k-th little-endian 16-bit value of a buffer, sign-extended.
int32_t signedValueAt(const std::byte* bytes, int32_t k) {
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
        for (int32_t k = 0; k < SampleCount; ++k) raw[k] = signedValueAt(Buffer, k);
        ++capturedBuffers;
    }
    // Declined: the component does not queue the buffer again, so a run ends after its buffers.
    return false;
}

void Instrument::MyIdleEvent(bool& Done) {
    keepCaptureRunning();
    keepGeneratorPlaying();
    expireMixerNotice();

    R.FirstIndex = 1;

    if (PeriodicMode == kPeriodicDisplay) {
        DrawGrid();
        DrawTraces();
        if (drawnCapture_ != capturedBuffers) {
            drawnCapture_ = capturedBuffers;
            ++drawnBuffers;
        }
    } else {
        AnalyseChannelL();
        MeasureFrequencyL();
        AnalyseChannelR();
        MeasureFrequencyR();
    }

    Done = false;  // call again as soon as the message queue is empty
}

void Instrument::fingerprintPassState(Fingerprint& f) const {
    for (const ChannelState* c : {&L, &R}) {
        // Whole arrays: positions past the capture keep what earlier passes left there.
        for (const SampleArray* a : {&c->Samples, &c->Envelope, &c->DrawnSamples})
            f.addArray(std::span<const int32_t>(a->data(), kSampleSlots));
        for (const Word w : {c->Peak, c->FirstIndex, c->EdgeValue0, c->EdgeValue1, c->EdgeValue2,
                             c->EdgeStep, c->EdgeSkip, c->PeriodStart, c->PeriodEnd})
            f.addValue(w);
        for (const double d : {c->Level, c->EdgeBase, c->MeasuredFreq, c->Freq, c->DivisionValue,
                               c->Gain, c->TraceScale})
            f.addValue(d);
        f.addValue(c->EnvelopeDiv);
        f.addValue(c->AutoRange);
        f.addValue(c->RangeLatch.latched());
    }
    for (const Word w : {ScanIndex, RawIndex, TraceStartR}) f.addValue(w);
    for (const int32_t i :
         {SampleCount, PeriodicMode, TimeStep, ChannelShift, TimeBaseLatch.latched()})
        f.addValue(i);
    f.addValue(PointSpacing);
    f.addValue(GridUnitX);
    f.addValue(measuredKey_.buffer);
    f.addValue(measuredKey_.sampleCount);
}

void Instrument::fingerprintPassInputs(Fingerprint& f) const {
    f.addValue(capturedBuffers);
    for (const audio::TWaveIO* device : {static_cast<const audio::TWaveIO*>(AudioIn1.get()),
                                         static_cast<const audio::TWaveIO*>(AudioOut1.get())}) {
        f.addValue(device->DeviceOpen());
        f.addValue(device->deviceFailed());
    }
    // A working generator clears its notice at its first finished buffer; later ones change
    // nothing a pass reads.
    f.addValue(AudioOut1->DoneCount() > 0);
    f.addValue(loop_.pending() > 0);
    const auto wait = retryWait();
    f.addValue(wait && wait->count() == 0);
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
