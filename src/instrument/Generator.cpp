// The generator's fill handler: each playback buffer is the sine continued from the buffers
// supplied before it; and its playback kept going when the device fails.
#include <bit>
#include <span>

#include "generator/Sine.h"
#include "instrument/Instrument.h"

namespace instrument {

static_assert(std::endian::native == std::endian::little,
              "playback samples are written as 16-bit little-endian integers");

bool Instrument::AudioOut1FillBuffer(std::byte* Buffer, int32_t& Size) {
    const int32_t n = Size / 2;
    // The buffer's first sample in the stream since the device opened. Computed in 64 bits: the
    // 32-bit product would overflow after 2^31 samples (13.5 hours) and jump in phase.
    const uint64_t base =
        static_cast<uint64_t>(AudioOut1->FilledCount()) * static_cast<uint64_t>(n);
    const generator::SineSetting setting{AudioOut1->FrameRate(), GeneratorFrequency,
                                         GeneratorOff ? 0 : GeneratorAmplitude};
    // Pool buffers are allocated with the heap's alignment, ample for 16-bit samples.
    generator::FillSine(std::span(reinterpret_cast<int16_t*>(Buffer), static_cast<size_t>(n)), base,
                        setting);
    return true;
}

// Playback that its device ended (not its owner) starts again, at the pace of a failing device.
void Instrument::KeepGeneratorPlaying() {
    audio::TAudioOut& out = *AudioOut1;
    if (out.DeviceOpen() || !out.DeviceFailed()) return;
    const TimePoint now = clock_();
    if (!generatorPace_.failing()) {
        generatorPace_.failed(now);
        ShowDeviceFailure(platform::Direction::Playback, out.LastErrorText());
    }
    if (!generatorPace_.due(now)) return;
    if (out.StartDevice(&AudioOut1)) {
        ShowDeviceFailure(platform::Direction::Playback, {});
        generatorPace_.succeeded();
        return;
    }
    generatorPace_.failed(now);
    ShowDeviceFailure(platform::Direction::Playback, out.LastErrorText());
}

}  // namespace instrument
