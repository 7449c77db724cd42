// The generator's output: the fill handler of the playback component, whose buffers continue the
// sine from those supplied before them, and the start of the playback.
#include "generator/Generator.h"

#include <bit>
#include <span>

#include "generator/Sine.h"

namespace generator {

static_assert(std::endian::native == std::endian::little,
              "playback samples are written as 16-bit little-endian integers");

Generator::Generator(instrument::Instrument& instrument, instrument::FrontPanel& panel)
    : instrument_(instrument), panel_(panel) {
    instrument_.AudioOut1->OnFillBuffer = [this](std::byte* Buffer, int32_t& Size) {
        return AudioOut1FillBuffer(Buffer, Size);
    };
    instrument_.AudioOut1->OnStart = [this] { AudioOut1Start(); };
}

Generator::~Generator() {
    // The component outlives the generator (the instrument owns it): no handler of ours is left
    // for it to call.
    instrument_.AudioOut1->OnFillBuffer = nullptr;
    instrument_.AudioOut1->OnStart = nullptr;
}

// The generator sounds from here on for the life of the window. A second failure is not reported:
// the scope measures without it.
void Generator::startPlayback() {
    auto& playback = instrument_.AudioOut1;
    if (!playback->StartDevice(&playback)) playback->StartDevice(&playback);
}

bool Generator::AudioOut1FillBuffer(std::byte* Buffer, int32_t& Size) {
    const int32_t n = Size / 2;
    // The buffer's first sample in the stream since the device opened. Computed in 64 bits: the
    // 32-bit product would overflow after 2^31 samples (13.5 hours) and jump in phase.
    const uint64_t base =
        static_cast<uint64_t>(instrument_.AudioOut1->FilledCount()) * static_cast<uint64_t>(n);
    const SineSetting setting{instrument_.AudioOut1->FrameRate(), instrument_.GeneratorFrequency,
                              instrument_.generatorOff ? 0 : instrument_.GeneratorAmplitude};
    // Pool buffers are allocated with the heap's alignment, ample for 16-bit samples.
    fillSine(std::span(reinterpret_cast<int16_t*>(Buffer), static_cast<size_t>(n)), base, setting);
    return true;
}

}  // namespace generator
