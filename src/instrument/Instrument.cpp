#include "instrument/Instrument.h"

#include <utility>

namespace instrument {

platform::WaveFormat captureFormat() {
    platform::WaveFormat format;
    format.channels = kCaptureChannels;
    format.samplesPerSec = kCaptureFrameRate;
    format.bitsPerSample = kCaptureBits;
    format.blockAlign = static_cast<uint16_t>(format.channels * kCaptureBits / 8);
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    return format;
}

Instrument::Instrument(FrontPanel& panel, platform::WaveDriver& driver, platform::MessageLoop& loop,
                       Clock clock)
    : AudioIn1(std::make_unique<audio::TAudioIn>(driver, loop)),
      AudioOut1(std::make_unique<audio::TAudioOut>(driver, loop)),
      panel_(panel),
      driver_(driver),
      loop_(loop),
      clock_(clock ? std::move(clock) : Clock{std::chrono::steady_clock::now}) {
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

    AudioOut1->setBufferSize(kPlaybackBufferBytes);
    AudioOut1->setNumBuffers(kPlaybackBuffers);
    AudioOut1->setFrameRate(kPlaybackFrameRate);
    AudioOut1->setStereo(kPlaybackStereo);
    AudioOut1->setQuantization(kPlaybackBits);
    // Its fill and start handlers are the generator's, a layer above the instrument.

    reserveMeasurement(measured);
}

}  // namespace instrument
