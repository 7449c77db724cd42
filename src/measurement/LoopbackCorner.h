// The coupling's corner from a loopback: sines of known frequency played through a cable into the
// input, and how much of each came back, and how far ahead of its phase (a first-order high-pass
// passes f / sqrt(f² + fc²) of a sine and leads it by atan(fc / f)).
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "measurement/ChannelView.h"
#include "measurement/Coupling.h"

namespace measurement {

// A sine in a capture: amplitude × sin(2π frequencyHz × n / frameRate + phase) at frame n of the
// view it was found in (or played from).
struct Tone {
    double frequencyHz = 0.0;
    double amplitude = 0.0;  // sample units
    double phase = 0.0;      // radians
};

inline constexpr size_t kMaxTones = 8;

// Finds the amplitude and phase of each of `tones` (their frequencies given) in `samples`, taken
// at `frameRate`: one least-squares fit of all of them and a constant together, so that tones
// played at once do not leak into each other whatever the capture's length. False (and `tones`
// left as they were) for more than kMaxTones, a frequency not above 0 or not below half the frame
// rate, two frequencies too close to be told apart in the capture, or fewer frames than the fit
// has unknowns. Allocates nothing; not for a hot path (two sines and cosines a tone and frame).
bool fitTones(ChannelView samples, double frameRate, std::span<Tone> tones);

// One tone as the generator played it and as the input captured it (the same frequency).
struct LoopbackTone {
    Tone played;
    Tone captured;
};

enum class LoopbackClock {
    // The phases of played and captured tones refer to the same frame: the capture's frame n is
    // what the generator played at frame n, any fixed delay between them taken out (the simulated
    // card's loopback; played samples fitted over the same frames). Amplitudes and phases count;
    // the gain between generator and input need not be known.
    Aligned,
    // The delay between playback and capture is not known: the amplitudes alone, against each
    // other (the gain between generator and input need not be known either).
    Unknown,
};

// A corner is taken from a loopback only when its relative standard error is at most this.
inline constexpr double kMaxLoopbackUncertainty = 0.05;

// The corner of a first-order high-pass between played and captured tones, with an unknown gain
// g: each tone's transfer H = captured / played (as a complex ratio) is g·jf / (fc + jf), so that
// 1/H = 1/g - j (fc/g) / f, linear in 1/g and fc/g. With the clock Aligned both parts of every 1/H
// are fitted (one equation each); with the clock Unknown, |1/H|² = 1/g² + (fc/g)² / f², linear in
// 1/g² and (fc/g)². The uncertainty is from the residuals of that fit, so it needs at least one
// equation more than the two unknowns: two tones when Aligned, three when Unknown, at distinct
// frequencies. Best at frequencies from about the corner to ten times it (at 20, 40 and 80 Hz a
// 10 Hz corner takes 3 %, 0.8 % and 0.2 % off the sines and leads them by 27°, 14° and 7°).
// Absent when there are too few tones, a tone is silent, the fit finds no corner above
// kMinCouplingCornerHz, or it is less certain than kMaxLoopbackUncertainty.
//
// Through a cable, the card's output coupling lies in the path too: the corner found is that of
// output and input together (for two first-order corners well below the tones, about their sum).
std::optional<CouplingCorner> cornerFromLoopback(std::span<const LoopbackTone> tones,
                                                 LoopbackClock clock);

}  // namespace measurement
