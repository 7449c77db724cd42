#include "measurement/LoopbackCorner.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

namespace measurement {

namespace {

constexpr size_t kMaxUnknowns = 2 * kMaxTones + 1;

// Solves the n × n system `a` x = `b` (a symmetric positive definite normal matrix) in place by
// Gaussian elimination with partial pivoting; false when a pivot is too small against the
// diagonal (the unknowns cannot be told apart).
bool solve(std::array<std::array<double, kMaxUnknowns>, kMaxUnknowns>& a,
           std::array<double, kMaxUnknowns>& b, size_t n) {
    double largest = 0.0;
    for (size_t i = 0; i < n; ++i) largest = std::max(largest, std::abs(a[i][i]));
    if (!(largest > 0.0)) return false;
    for (size_t column = 0; column < n; ++column) {
        size_t pivot = column;
        for (size_t row = column + 1; row < n; ++row)
            if (std::abs(a[row][column]) > std::abs(a[pivot][column])) pivot = row;
        if (!(std::abs(a[pivot][column]) > 1e-9 * largest)) return false;
        std::swap(a[pivot], a[column]);
        std::swap(b[pivot], b[column]);
        for (size_t row = column + 1; row < n; ++row) {
            const double factor = a[row][column] / a[column][column];
            for (size_t k = column; k < n; ++k) a[row][k] -= factor * a[column][k];
            b[row] -= factor * b[column];
        }
    }
    for (size_t row = n; row-- > 0;) {
        double sum = b[row];
        for (size_t k = row + 1; k < n; ++k) sum -= a[row][k] * b[k];
        b[row] = sum / a[row][row];
    }
    return true;
}

// A straight-line least-squares fit y = p + q x, with the variances of p and q and their
// covariance from the residuals.
struct LineFit {
    double p = 0.0, q = 0.0;
    double varP = 0.0, varQ = 0.0, covPQ = 0.0;
};

// Fits y = p + q x to the points (x[i], y[i]); none for fewer than three (no residual to judge the
// fit by) or all at one x.
std::optional<LineFit> fitLine(std::span<const double> x, std::span<const double> y) {
    const size_t n = x.size();
    if (n < 3) return std::nullopt;
    double sx = 0.0, sy = 0.0;
    for (size_t i = 0; i < n; ++i) {
        sx += x[i];
        sy += y[i];
    }
    const double mx = sx / static_cast<double>(n), my = sy / static_cast<double>(n);
    double sxx = 0.0, sxy = 0.0;
    for (size_t i = 0; i < n; ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        sxy += (x[i] - mx) * (y[i] - my);
    }
    if (!(sxx > 0.0)) return std::nullopt;
    LineFit fit;
    fit.q = sxy / sxx;
    fit.p = my - fit.q * mx;
    double residuals = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double r = y[i] - fit.p - fit.q * x[i];
        residuals += r * r;
    }
    const double variance = residuals / static_cast<double>(n - 2);
    fit.varQ = variance / sxx;
    fit.varP = variance / static_cast<double>(n) + mx * mx * fit.varQ;
    fit.covPQ = -mx * fit.varQ;
    return fit;
}

}  // namespace

bool fitTones(ChannelView samples, double frameRate, std::span<Tone> tones) {
    const size_t count = tones.size();
    const size_t unknowns = 2 * count + 1;
    if (count == 0 || count > kMaxTones || !std::isfinite(frameRate) || frameRate <= 0.0 ||
        samples.size() < unknowns)
        return false;
    for (const Tone& tone : tones)
        if (!(tone.frequencyHz > 0.0) || !(tone.frequencyHz < frameRate / 2.0)) return false;

    // The normal equations of x[n] ≈ c + Σ (a_i sin ω_i n + b_i cos ω_i n).
    std::array<std::array<double, kMaxUnknowns>, kMaxUnknowns> normal{};
    std::array<double, kMaxUnknowns> right{};
    std::array<double, kMaxUnknowns> basis{};
    std::array<double, kMaxTones> cycles{};  // each tone's frequency in cycles per frame
    for (size_t i = 0; i < count; ++i) cycles[i] = tones[i].frequencyHz / frameRate;
    for (size_t n = 0; n < samples.size(); ++n) {
        basis[0] = 1.0;
        for (size_t i = 0; i < count; ++i) {
            // The phase reduced to one cycle first, so that it stays exact late in a capture.
            const double turn = cycles[i] * static_cast<double>(n);
            const double angle = 2.0 * std::numbers::pi * (turn - std::floor(turn));
            basis[1 + 2 * i] = std::sin(angle);
            basis[2 + 2 * i] = std::cos(angle);
        }
        const double x = samples[n];
        for (size_t r = 0; r < unknowns; ++r) {
            right[r] += basis[r] * x;
            for (size_t c = r; c < unknowns; ++c) normal[r][c] += basis[r] * basis[c];
        }
    }
    for (size_t r = 0; r < unknowns; ++r)
        for (size_t c = 0; c < r; ++c) normal[r][c] = normal[c][r];
    if (!solve(normal, right, unknowns)) return false;
    for (size_t i = 0; i < count; ++i) {
        // a sin + b cos = A sin(ω n + φ) with a = A cos φ, b = A sin φ.
        const double a = right[1 + 2 * i];
        const double b = right[2 + 2 * i];
        tones[i].amplitude = std::hypot(a, b);
        tones[i].phase = std::atan2(b, a);
    }
    return true;
}

std::optional<CouplingCorner> cornerFromLoopback(std::span<const LoopbackTone> tones,
                                                 LoopbackClock clock) {
    const size_t count = tones.size();
    if (count == 0 || count > kMaxTones) return std::nullopt;
    // 1/H for each tone, and 1/f.
    std::array<std::complex<double>, kMaxTones> inverse{};
    std::array<double, kMaxTones> period{};
    for (size_t i = 0; i < count; ++i) {
        const LoopbackTone& tone = tones[i];
        const double f = tone.played.frequencyHz;
        if (!(f > 0.0) || !std::isfinite(f) || !(tone.played.amplitude > 0.0) ||
            !(tone.captured.amplitude > 0.0))
            return std::nullopt;
        inverse[i] = std::polar(tone.played.amplitude / tone.captured.amplitude,
                                tone.played.phase - tone.captured.phase);
        period[i] = 1.0 / f;
    }

    double corner = 0.0;
    double relativeVariance = 0.0;
    if (clock == LoopbackClock::Aligned) {
        // Re(1/H) = u, Im(1/H) = -v/f: 2 × count equations in u = 1/g and v = fc/g.
        if (count < 2) return std::nullopt;
        double sumRe = 0.0, sumImPeriod = 0.0, sumPeriod2 = 0.0;
        for (size_t i = 0; i < count; ++i) {
            sumRe += inverse[i].real();
            sumImPeriod += inverse[i].imag() * period[i];
            sumPeriod2 += period[i] * period[i];
        }
        const double u = sumRe / static_cast<double>(count);
        const double v = -sumImPeriod / sumPeriod2;
        double residuals = 0.0;
        for (size_t i = 0; i < count; ++i) {
            const double re = inverse[i].real() - u;
            const double im = inverse[i].imag() + v * period[i];
            residuals += re * re + im * im;
        }
        const double variance = residuals / static_cast<double>(2 * count - 2);
        if (!(u > 0.0) || !(v > 0.0)) return std::nullopt;
        corner = v / u;
        relativeVariance =
            variance / (sumPeriod2 * v * v) + variance / (static_cast<double>(count) * u * u);
    } else {
        // |1/H|² = U + V / f²: a line in 1/f², U = 1/g², V = (fc/g)².
        std::array<double, kMaxTones> x{}, y{};
        for (size_t i = 0; i < count; ++i) {
            x[i] = period[i] * period[i];
            y[i] = std::norm(inverse[i]);
        }
        const std::optional<LineFit> fit =
            fitLine(std::span(x).first(count), std::span(y).first(count));
        if (!fit || !(fit->p > 0.0) || !(fit->q > 0.0)) return std::nullopt;
        corner = std::sqrt(fit->q / fit->p);
        // fc² = V / U; the relative variance of fc is a quarter of fc²'s.
        relativeVariance = 0.25 * (fit->varQ / (fit->q * fit->q) + fit->varP / (fit->p * fit->p) -
                                   2.0 * fit->covPQ / (fit->p * fit->q));
    }
    const double uncertainty = std::sqrt(std::max(relativeVariance, 0.0));
    if (!std::isfinite(corner) || corner < kMinCouplingCornerHz ||
        !(uncertainty <= kMaxLoopbackUncertainty))
        return std::nullopt;
    CouplingCorner result;
    result.hz = corner;
    result.uncertainty = uncertainty;
    result.parts = static_cast<uint32_t>(count);
    return result;
}

}  // namespace measurement
