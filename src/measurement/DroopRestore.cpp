#include "measurement/DroopRestore.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "measurement/Coupling.h"
#include "measurement/DroopCorner.h"

namespace measurement {

namespace {

// A restored value as a sample: the nearest whole number (halves away from 0: the conversion
// truncates toward 0), limited to ±kRestoredLimit where the capture could take it beyond. Without a
// branch or a call into the maths library, so that the loops below vectorize where they can.
template <bool kLimit>
int32_t toSample(double value) {
    if constexpr (kLimit) {
        const double bound = kRestoredLimit;
        value = std::min(std::max(value, -bound), bound);
    }
    return static_cast<int32_t>(value + std::copysign(0.5, value));
}

// The integration, less the offset d: r[n] = (y[n] - d) + k Σ ((y[m - 1] - d) + (y[m] - d)) / 2,
// which is y[n] + (k/2) Σ (y[m - 1] + y[m]) - d (1 + k n). The sum of whole numbers is kept
// exactly, in 64 bits (at most 2^32 for each of up to 2^30 frames), and nothing else carries over
// from one frame to the next.
template <bool kLimit>
void integrate(ChannelView samples, double k, double offset, std::span<int32_t> out) {
    const double halfK = 0.5 * k;
    int64_t sum = 0;
    int64_t previous = samples[0];
    out[0] = toSample<kLimit>(static_cast<double>(previous) - offset);
    for (size_t i = 1; i < samples.size(); ++i) {
        const int64_t y = samples[i];
        sum += previous + y;
        const double drift = offset * (1.0 + k * static_cast<double>(i));
        out[i] =
            toSample<kLimit>(static_cast<double>(y) + halfK * static_cast<double>(sum) - drift);
        previous = y;
    }
}

// Takes the line through `level` at frame `centre` with `slope` (per frame) off out[from, to).
// Unlimited, the frames are counted in 32 bits (fewer than 2^30 of them), which lets the loop
// vectorize.
template <bool kLimit>
void subtractLine(std::span<int32_t> out, size_t from, size_t to, double level, double slope,
                  double centre) {
    const double start = level - slope * (centre - static_cast<double>(from));
    int32_t* part = out.data() + from;
    if constexpr (kLimit) {
        for (size_t j = 0; j < to - from; ++j) {
            const double line = start + slope * static_cast<double>(j);
            part[j] = toSample<true>(static_cast<double>(part[j]) - line);
        }
    } else {
        const auto count = static_cast<int32_t>(to - from);
        for (int32_t j = 0; j < count; ++j) {
            const double line = start + slope * static_cast<double>(j);
            part[j] = toSample<false>(static_cast<double>(part[j]) - line);
        }
    }
}

// The base parts of a capture in order: from each falling edge to the next rising one and, at the
// capture's ends, the run of samples at or below the middle level before the first rising edge and
// after the last falling one. Each without the frames next to its edges where the
// anti-alias filter rings: kEdgeGuardFrames, or a quarter of a shorter part; none narrower than
// kMinAnchorFrames.
class BaseParts {
  public:
    struct Part {
        size_t first = 0;
        size_t last = 0;
        double centre() const { return 0.5 * (static_cast<double>(first) + last); }
    };

    BaseParts(ChannelView samples, std::span<const Edge> edges, double middle)
        : samples_(samples), edges_(edges), middle_(middle) {}

    std::optional<Part> next() {
        const auto end = static_cast<double>(samples_.size() - 1);
        while (true) {
            double from = 0.0, to = 0.0;
            if (!startDone_) {
                startDone_ = true;
                if (edges_.empty() || !edges_[0].rising) continue;
                to = edges_[0].position;
                from = lowRunEdge(to, -1);
            } else {
                while (edge_ < edges_.size() && edges_[edge_].rising) ++edge_;
                if (edge_ >= edges_.size()) return std::nullopt;
                from = edges_[edge_].position;
                ++edge_;
                to = edge_ < edges_.size() ? edges_[edge_].position : lowRunEdge(from, +1);
            }
            if (to - from < kMinAnchorFrames) continue;
            const double guard = std::min(kEdgeGuardFrames, (to - from) / 4.0);
            // The capture's own ends are no edges: no guard there.
            const double first = from < 0.0 ? 0.0 : std::ceil(from + guard);
            const double last = to > end ? end : std::floor(to - guard);
            if (first <= last) return Part{static_cast<size_t>(first), static_cast<size_t>(last)};
        }
    }

  private:
    // From an edge at `position`, the far end of the run of samples at or below the middle level
    // in `direction`: the position of the crossing that ends it (taken as half a frame beyond the
    // run's last sample), or one frame beyond the capture when the run reaches its end.
    double lowRunEdge(double position, int direction) const {
        const auto frames = static_cast<double>(samples_.size());
        double i = direction < 0 ? std::floor(position) : std::ceil(position);
        while (i >= 0.0 && i < frames && samples_[static_cast<size_t>(i)] <= middle_)
            i += direction;
        if (i < 0.0 || i >= frames) return i;
        return i - 0.5 * direction;
    }

    ChannelView samples_;
    std::span<const Edge> edges_;
    double middle_;
    size_t edge_ = 0;  // the next edge to look at for a falling one
    bool startDone_ = false;
};

double partMean(std::span<const int32_t> out, const BaseParts::Part& part) {
    int64_t sum = 0;  // exact: at most 2^30 for each of up to 2^32 frames
    for (size_t i = part.first; i <= part.last; ++i) sum += out[i];
    return static_cast<double>(sum) / static_cast<double>(part.last - part.first + 1);
}

}  // namespace

Restoration restoreCoupling(ChannelView samples, const ChannelMeasurement& measured,
                            double cornerHz, double frameRate, std::span<int32_t> out,
                            ChannelMeasurement& restored) {
    Restoration result;
    const size_t frames = samples.size();
    if (out.size() < frames) {
        restored = measured;
        return result;
    }
    result.frames = frames;
    const auto copy = [&] {
        for (size_t i = 0; i < frames; ++i) out[i] = samples[i];
        restored = measured;
        result.restored = false;
        result.anchors = 0;
        return result;
    };
    // Without an edge there is nothing the coupling took away that could be told from an offset.
    if (frames < 2 || !usableCorner(cornerHz, frameRate) || measured.edges.empty()) return copy();

    // Without limits where the capture cannot reach them: |r| is at most (M + |d|)(1 + k N) for
    // samples within ±M, and the line taken off it lies within the range of r.
    const double k = 2.0 * std::numbers::pi * cornerHz / frameRate;
    const double offset = couplingOffset(measured);
    const double largest = std::max(std::abs(static_cast<double>(measured.levels.minimum)),
                                    std::abs(static_cast<double>(measured.levels.maximum)));
    const bool inRange = frames < (size_t{1} << 30) &&
                         (largest + std::abs(offset)) * (1.0 + k * static_cast<double>(frames)) <=
                             0.5 * kRestoredLimit;
    if (inRange) {
        integrate<false>(samples, k, offset, out);
    } else {
        integrate<true>(samples, k, offset, out);
    }

    // Where the base parts lie: by the edges of the capture as it came when its periods are
    // regular, else by those found again on the integrated samples, whose levels are flat.
    const ChannelView view(out.data(), frames, 1);
    ChannelView partSamples = samples;
    std::span<const Edge> partEdges = measured.edges;
    double middle = measured.edgeLevels.middle;
    if (!regularPeriods(measured)) {
        const EdgeLevels integrated = edgeLevels(findLevels(view));
        restored.edges.reserve(frames);
        findEdges(view, integrated, restored.edges);
        partSamples = view;
        partEdges = restored.edges;
        middle = integrated.middle;
    }

    // The anchor: a straight line through the base parts' means at their centres, taken off. Each
    // part is read before any of its frames is corrected (the correction runs up to the centre of
    // the part whose mean was read last).
    BaseParts parts(partSamples, partEdges, middle);
    std::optional<BaseParts::Part> part = parts.next();
    if (!part) return copy();
    double centre = part->centre();
    double level = partMean(out, *part);
    size_t next = 0;  // the first frame not yet corrected
    // The frames up to and including `until` (a centre, or the last frame).
    const auto upTo = [&](double until) {
        return std::min(static_cast<size_t>(std::floor(until)), frames - 1) + 1;
    };
    const auto subtract = [&](size_t from, size_t to, double slope) {
        if (inRange) {
            subtractLine<false>(out, from, to, level, slope, centre);
        } else {
            subtractLine<true>(out, from, to, level, slope, centre);
        }
    };
    subtract(next, upTo(centre), 0.0);
    next = std::max(next, upTo(centre));
    uint32_t anchors = 1;
    while (const std::optional<BaseParts::Part> following = parts.next()) {
        const double nextCentre = following->centre();
        const double nextLevel = partMean(out, *following);
        const double slope = (nextLevel - level) / (nextCentre - centre);
        const size_t until = upTo(nextCentre);
        if (until > next) subtract(next, until, slope);
        next = std::max(next, until);
        centre = nextCentre;
        level = nextLevel;
        ++anchors;
    }
    if (frames > next) subtract(next, frames, 0.0);

    measureChannel(view, frameRate, restored);
    restored.levels.clipped = measured.levels.clipped;
    result.restored = true;
    result.anchors = anchors;
    result.offset = offset;
    return result;
}

}  // namespace measurement
