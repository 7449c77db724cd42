// The generator's sine: sample n of the output is
//
//     Round(sin(((n / rate) × 3.14159) × 2 × frequency) × amplitude)
//
// with every step in 80-bit extended precision, in that order, and Round to nearest with ties to
// even. 3.14159 stands where π would: the tone is lower than nominal by 3.14159/π (0.99999916).
// The phase is never accumulated, so any sample can be computed from its index alone: buffers
// continue each other without a seam, and a change of frequency jumps in phase at the buffer where
// it takes effect.
#pragma once

#include <cstdint>
#include <span>

namespace generator {

struct SineSetting {
    int32_t frameRate = 44100;  // frames per second; must be positive
    int32_t frequency = 100;    // Hz
    int32_t amplitude = 3276;   // peak, in 16-bit sample units: 0..32767
};

// Sample `index` of the stream, straight from the formula.
int16_t sineSample(uint64_t index, const SineSetting& setting) noexcept;

// Samples `firstIndex` .. `firstIndex + out.size() - 1` into `out`. Each equals sineSample of its
// index; the fill takes a faster road to the same values.
void fillSine(std::span<int16_t> out, uint64_t firstIndex, const SineSetting& setting) noexcept;

}  // namespace generator
