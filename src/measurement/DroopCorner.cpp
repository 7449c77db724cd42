#include "measurement/DroopCorner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace measurement {

namespace {

// What the smoothing (1, 2, 1) / 4 leaves of white noise's variance: (1² + 2² + 1²) / 4².
constexpr double kSmoothedNoiseShare = 6.0 / 16.0;

// Sums over the flat parts for the fit of z (y smoothed) against its running integral S, each
// part's own means taken off (so that every part has a start level of its own), and for the noise
// estimate.
struct DroopSums {
    double zz = 0.0;     // Σ (z - z̄)²
    double ss = 0.0;     // Σ (S - S̄)²
    double zs = 0.0;     // Σ (z - z̄)(S - S̄)
    double steps = 0.0;  // Σ (y[n] - y[n - 1])²
    size_t frames = 0;
    size_t stepCount = 0;
    uint32_t parts = 0;
};

// Adds frames [first, last] of one flat part, less `offset`; the samples either side of it are
// read for the smoothing.
void addPart(ChannelView samples, size_t first, size_t last, double offset, DroopSums& sums) {
    // The running parts in whole numbers, exact and with nothing carried in floating point from one
    // frame to the next: Z = 4 (z + offset), the smoothing's sum, and T = 8 (S + offset t), the
    // running sum of the trapezoids of Z, with t the frames since `first`. The sums are then taken
    // of z relative to the part's first value (which leaves the centred sums as they are and keeps
    // them small) and of S0 = T / 8, and the offset's share of S is taken off the centred sums.
    int64_t before = samples[first - 1], at = samples[first];
    int64_t z4 = 0, t8 = 0;
    int64_t originZ4 = 0;
    double sz = 0.0, szz = 0.0, ss = 0.0, sss = 0.0, szs = 0.0, sts = 0.0, stz = 0.0;
    double steps = 0.0;
    for (size_t i = first; i <= last; ++i) {
        const int64_t after = samples[i + 1];
        const int64_t next = before + 2 * at + after;
        const auto t = static_cast<double>(i - first);
        if (i == first) {
            originZ4 = next;
        } else {
            t8 += z4 + next;
            const auto step = static_cast<double>(at - before);
            steps += step * step;
        }
        z4 = next;
        const double z = 0.25 * static_cast<double>(z4 - originZ4);
        const double s0 = 0.125 * static_cast<double>(t8);
        sz += z;
        szz += z * z;
        ss += s0;
        sss += s0 * s0;
        szs += z * s0;
        sts += t * s0;
        stz += t * z;
        before = at;
        at = after;
    }
    const auto n = static_cast<double>(last - first + 1);
    const double st = n * (n - 1.0) / 2.0;
    const double stt = (n - 1.0) * n * (2.0 * n - 1.0) / 6.0;
    const double ctt = stt - st * st / n;
    const double cs0t = sts - st * ss / n;
    const double czt = stz - st * sz / n;
    // S = S0 - offset t.
    sums.zz += szz - sz * sz / n;
    sums.ss += sss - ss * ss / n - 2.0 * offset * cs0t + offset * offset * ctt;
    sums.zs += szs - sz * ss / n - offset * czt;
    sums.steps += steps;
    sums.frames += last - first + 1;
    sums.stepCount += last - first;
    ++sums.parts;
}

}  // namespace

std::optional<CouplingCorner> cornerFromDroop(ChannelView samples,
                                              const ChannelMeasurement& measured,
                                              double frameRate) {
    const auto& edges = measured.edges;
    if (!std::isfinite(frameRate) || frameRate <= 0.0 || edges.size() < 2) return std::nullopt;
    const double frames = static_cast<double>(samples.size());
    const double offset = couplingOffset(measured);

    DroopSums sums;
    for (size_t j = 0; j + 1 < edges.size(); ++j) {
        const double from = std::ceil(edges[j].position + kEdgeGuardFrames);
        const double to = std::floor(edges[j + 1].position - kEdgeGuardFrames);
        if (from < 1.0 || to + 1.0 >= frames ||
            to - from + 1.0 < static_cast<double>(kMinDroopFrames))
            continue;
        addPart(samples, static_cast<size_t>(from), static_cast<size_t>(to), offset, sums);
    }
    // Degrees of freedom: a start level per part and the slope.
    if (sums.parts == 0 || sums.frames < sums.parts + 3 || !(sums.ss > 0.0)) return std::nullopt;

    // z = c - k S: k is the decay per frame, 1/τ in frames.
    const double k = -sums.zs / sums.ss;
    const double residuals = std::max(sums.zz - sums.zs * sums.zs / sums.ss, 0.0);
    const double residualVariance = residuals / static_cast<double>(sums.frames - sums.parts - 1);
    // The smoothing leaves 6/16 of white noise's variance in z, but all of the slow part that
    // moves the slope: the slope's error is that of noise with the residuals' variance × 16/6.
    const double slopeError = std::sqrt(residualVariance / (kSmoothedNoiseShare * sums.ss));
    // White noise of variance σ² makes the differences' mean square 2σ².
    const double noiseVariance =
        kSmoothedNoiseShare * sums.steps / (2.0 * static_cast<double>(sums.stepCount));
    if (!(k > 0.0) || !(slopeError <= kMaxDroopUncertainty * k)) return std::nullopt;
    if (!(residualVariance <= kMaxDroopMisfit * kMaxDroopMisfit * noiseVariance))
        return std::nullopt;

    CouplingCorner corner;
    corner.hz = k * frameRate / (2.0 * std::numbers::pi);
    corner.uncertainty = slopeError / k;
    corner.parts = sums.parts;
    if (!usableCorner(corner.hz, frameRate)) return std::nullopt;
    return corner;
}

}  // namespace measurement
