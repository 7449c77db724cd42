// A real LINE IN between a signal and the simulated card's converter: the coupling capacitor's
// high-pass, the converter's anti-alias low-pass and noise, applied in closed form to a pulse train
// or a sine, so that every frame is a pure function of its index.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "platform/sim/Periodic.h"
#include "platform/sim/SignalSource.h"

namespace platform::sim {

namespace {

constexpr double kRate = kSimFrameRate;
constexpr double kPi = std::numbers::pi;

// The converter's anti-alias filter: a linear-phase low-pass (a sinc cut at the corner, under a
// Blackman window 2 × kHalfWidth frames long), taken in continuous time so that an edge between
// two frames is spread exactly as far as the filter spreads it. A delta-sigma converter's
// decimation filter is such a filter; its delay is left out (it is the same for every edge).
class CardLowPass {
  public:
    static constexpr int kHalfWidth = 40;  // frames either side of an edge that it reaches
    static constexpr int kStepsPerFrame = 256;

    explicit CardLowPass(double cornerHz)
        : corner_(cornerHz / kRate), step_(2 * kHalfWidth * kStepsPerFrame + 1) {
        // The step response is the running integral of the impulse response (trapezoids), scaled
        // so that it ends at exactly 1.
        double previous = impulse(-kHalfWidth);
        double sum = 0.0;
        for (size_t i = 1; i < step_.size(); ++i) {
            const double h = impulse(-kHalfWidth + static_cast<double>(i) / kStepsPerFrame);
            sum += (previous + h) / (2.0 * kStepsPerFrame);
            step_[i] = sum;
            previous = h;
        }
        area_ = sum;
        for (double& value : step_) value /= area_;
    }

    // The response `offset` frames after a unit step (negative: before it): 0 up to -kHalfWidth,
    // 0.5 at the step, 1 from +kHalfWidth on.
    double step(double offset) const {
        const double x = (offset + kHalfWidth) * kStepsPerFrame;
        if (!(x > 0.0)) return 0.0;
        const auto last = static_cast<double>(step_.size() - 1);
        if (x >= last) return 1.0;
        const auto i = static_cast<size_t>(x);
        const double fraction = x - static_cast<double>(i);
        return step_[i] + fraction * (step_[i + 1] - step_[i]);
    }

    // The gain at `frequencyHz` (real: the filter is symmetric about its centre).
    double gain(double frequencyHz) const {
        const double omega = 2.0 * kPi * frequencyHz / kRate;  // radians per frame
        double sum = 0.0;
        const size_t points = step_.size();
        for (size_t i = 0; i < points; ++i) {
            const double s = -kHalfWidth + static_cast<double>(i) / kStepsPerFrame;
            const double weight = (i == 0 || i + 1 == points) ? 0.5 : 1.0;
            sum += weight * impulse(s) * std::cos(omega * s);
        }
        return sum / kStepsPerFrame / area_;
    }

  private:
    double impulse(double s) const {
        const double x = 2.0 * corner_ * s;
        const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
        const double window = 0.42 + 0.5 * std::cos(kPi * s / kHalfWidth) +
                              0.08 * std::cos(2.0 * kPi * s / kHalfWidth);
        return 2.0 * corner_ * sinc * window;
    }

    double corner_;  // cycles per frame
    std::vector<double> step_;
    double area_ = 1.0;
};

uint64_t splitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Standard normal noise as a function of the seed and the frame (Box-Muller on two hashed
// uniforms), so that it needs no state and repeats frame for frame.
double gaussian(uint64_t seed, uint64_t frame) {
    constexpr double kUnit = 0x1.0p-53;
    const uint64_t key = splitMix(seed) + 2 * frame;
    const double u1 = static_cast<double>((splitMix(key) >> 11) + 1) * kUnit;  // (0, 1]
    const double u2 = static_cast<double>(splitMix(key + 1) >> 11) * kUnit;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

int16_t toSample(double value) {
    if (!(value > -32768.0)) return -32768;
    if (!(value < 32767.0)) return 32767;
    return static_cast<int16_t>(std::lround(value));
}

bool usableLineIn(const LineIn& lineIn) {
    const auto corner = [](double hz) { return std::isfinite(hz) && hz >= 0.0; };
    if (!corner(lineIn.highPassHz) || !corner(lineIn.lowPassHz)) return false;
    if (!std::isfinite(lineIn.noiseRms) || lineIn.noiseRms < 0.0) return false;
    return lineIn.highPassHz == 0.0 || lineIn.lowPassHz == 0.0 ||
           lineIn.highPassHz < lineIn.lowPassHz;
}

// What the LINE IN's parts share: the high-pass's time constant, the low-pass and the noise.
class LineInParts {
  public:
    explicit LineInParts(const LineIn& lineIn)
        : highPassTau_(lineIn.highPassHz > 0.0 ? 1.0 / (2.0 * kPi * lineIn.highPassHz) : 0.0),
          noiseRms_(lineIn.noiseRms),
          seed_(lineIn.noiseSeed) {
        if (lineIn.lowPassHz > 0.0) lowPass_ = std::make_unique<CardLowPass>(lineIn.lowPassHz);
    }

    double noise(uint64_t frame) const {
        return noiseRms_ > 0.0 ? noiseRms_ * gaussian(seed_, frame) : 0.0;
    }

  protected:
    double highPassTau_;  // s; 0: no high-pass
    std::unique_ptr<CardLowPass> lowPass_;

  private:
    double noiseRms_;
    uint64_t seed_;
};

// A pulse train through the LINE IN, in its periodic steady state. The high-pass's response to one
// edge of height J is J·e^(-t/τ) from the edge on; summed over all earlier edges of one direction
// it is a geometric series, J·e^(-u/τ) / (1 - e^(-T/τ)) with u the time since the latest such
// edge. Without the high-pass the flat parts are the levels themselves. The low-pass then
// replaces the sharp step of each edge near the frame by its own step response.
class PulseThroughLineIn final : public ChannelSource, private LineInParts {
  public:
    PulseThroughLineIn(const PulseTrain& pulse, const LineIn& lineIn)
        : LineInParts(lineIn),
          pulse_(pulse),
          duty_(pulse.dutyPercent / 100.0),
          period_(1.0 / pulse.frequency),
          jump_(static_cast<double>(pulse.high) - pulse.low) {
        if (highPassTau_ > 0.0) {
            seriesScale_ = 1.0 / -std::expm1(-period_ / highPassTau_);
            periodDecay_ = std::exp(-period_ / highPassTau_);
        }
    }

    int16_t sample(uint64_t frame) const override {
        const double phase = periodPhase(frame, pulse_.frequency, pulse_.delay);
        double fallPhase = phase - duty_;
        if (fallPhase < 0.0) fallPhase += 1.0;
        const double sinceRise = phase * period_;
        const double sinceFall = fallPhase * period_;
        double value = 0.0;
        if (highPassTau_ > 0.0) {
            value = jump_ * seriesScale_ *
                    (std::exp(-sinceRise / highPassTau_) - std::exp(-sinceFall / highPassTau_));
        } else {
            value = phase < duty_ ? pulse_.high : pulse_.low;
        }
        if (lowPass_) value += jump_ * (spreadEdges(sinceRise) - spreadEdges(sinceFall));
        return toSample(value + noise(frame));
    }

  private:
    // For the edges of one direction within the low-pass's reach of the frame (the latest one
    // `since` seconds before it, the others whole periods away): the filtered step minus the
    // sharp one, each as high-passed at its distance.
    double spreadEdges(double since) const {
        const double periodFrames = period_ * kRate;
        const double sinceFrames = since * kRate;
        const double reach = CardLowPass::kHalfWidth;
        const double first = std::ceil((-reach - sinceFrames) / periodFrames);
        const double last = std::floor((reach - sinceFrames) / periodFrames);
        // The high-pass's decay at the first of them, then one period's decay from each to the
        // next.
        double decay =
            highPassTau_ > 0.0
                ? std::exp(-(sinceFrames + first * periodFrames) / (highPassTau_ * kRate))
                : 1.0;
        double sum = 0.0;
        for (double k = first; k <= last; k += 1.0) {
            const double offset = sinceFrames + k * periodFrames;  // frames after the edge
            const double sharp = offset >= 0.0 ? 1.0 : 0.0;
            sum += decay * (lowPass_->step(offset) - sharp);
            decay *= periodDecay_;
        }
        return sum;
    }

    PulseTrain pulse_;
    double duty_;
    double period_;  // s
    double jump_;    // high - low
    double seriesScale_ = 1.0;
    double periodDecay_ = 1.0;  // the high-pass's decay over one period
};

// A sine through the LINE IN: in the steady state, the same sine scaled by both filters' gain and
// shifted by the high-pass's phase (the low-pass has none).
class SineThroughLineIn final : public ChannelSource, private LineInParts {
  public:
    SineThroughLineIn(double frequency, int amplitude, const LineIn& lineIn)
        : LineInParts(lineIn), frequency_(frequency) {
        double gain = 1.0;
        if (highPassTau_ > 0.0) {
            const double omegaTau = 2.0 * kPi * std::abs(frequency) * highPassTau_;
            gain = omegaTau / std::hypot(1.0, omegaTau);
            shift_ = kPi / 2.0 - std::atan(omegaTau);
            if (frequency < 0.0) shift_ = -shift_;
        }
        if (lowPass_) gain *= lowPass_->gain(frequency);
        peak_ = amplitude * gain;
    }

    int16_t sample(uint64_t frame) const override {
        const double phase = periodPhase(frame, frequency_, 0.0);
        return toSample(peak_ * std::sin(2.0 * kPi * phase + shift_) + noise(frame));
    }

  private:
    double frequency_;
    double peak_ = 0.0;
    double shift_ = 0.0;  // radians
};

}  // namespace

std::unique_ptr<ChannelSource> makePulse(const PulseTrain& pulse, const LineIn& lineIn) {
    if (!playablePulse(pulse) || !usableLineIn(lineIn)) return makeSilence();
    return std::make_unique<PulseThroughLineIn>(pulse, lineIn);
}

std::unique_ptr<ChannelSource> makeSine(double frequency, int amplitude, const LineIn& lineIn) {
    if (!std::isfinite(frequency) || !usableLineIn(lineIn)) return makeSilence();
    return std::make_unique<SineThroughLineIn>(frequency, amplitude, lineIn);
}

}  // namespace platform::sim
