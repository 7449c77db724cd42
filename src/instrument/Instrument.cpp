#include "instrument/Instrument.h"

namespace instrument {

namespace {

// The capture configuration of AudioIn1, as the window's design stores it.
constexpr int32_t kCaptureBufferBytes = 44100;  // 11025 stereo frames, 0.25 s
constexpr int32_t kCaptureBuffers = 4;          // one run: 1 s of sound
constexpr int32_t kCaptureFrameRate = 44100;
constexpr bool kCaptureStereo = true;
constexpr uint16_t kCaptureBits = 16;

}  // namespace

Instrument::Instrument(FrontPanel& panel, platform::WaveDriver& driver, platform::MessageLoop& loop)
    : AudioIn1(std::make_unique<audio::TAudioIn>(driver, loop)), panel_(panel) {
    // Stored properties are applied in declaration order, so the buffer size is set while the
    // component is still in its default mono 16-bit format.
    AudioIn1->setBufferSize(kCaptureBufferBytes);
    AudioIn1->setNumBuffers(kCaptureBuffers);
    AudioIn1->setFrameRate(kCaptureFrameRate);
    AudioIn1->setStereo(kCaptureStereo);
    AudioIn1->setQuantization(kCaptureBits);
    AudioIn1->OnBufferFilled = [this](std::byte* Buffer, int32_t& Size) {
        return AudioIn1BufferFilled(Buffer, Size);
    };
}

Instrument::~Instrument() {
    // The component's handler refers to this instrument: close the device and drop the
    // component while the state it writes into still exists.
    AudioIn1.reset();
}

}  // namespace instrument
