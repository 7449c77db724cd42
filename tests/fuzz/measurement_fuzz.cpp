// Arbitrary captures for the measurement of a channel. An input is
//
//   byte 0      bits 0-1: frames of 1 to 4 values; bit 2: values are 32-bit (else 16-bit), beyond
//               what the card delivers
//   byte 1      the channel measured, modulo the frame's values
//   the rest    the values, little-endian
//
// Every figure must be finite and consistent: each statistic's min <= mean <= max, the levels in
// order, edges alternating and rising in position within the capture, periods and widths
// positive, duty between 0 and 100 %.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "measurement/Measurement.h"

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "measurement_fuzz: %s\n", what);
    std::abort();
}

void check(const std::optional<measurement::Statistic>& s, double above, double below) {
    if (!s) return;
    require(s->count > 0, "a statistic of nothing");
    for (double v : {s->mean, s->min, s->max, s->sigma}) require(std::isfinite(v), "not finite");
    require(s->min <= s->mean && s->mean <= s->max, "mean outside min and max");
    require(s->sigma >= 0, "negative sigma");
    require(s->min > above && s->max < below, "a figure out of its range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t channels = 1 + (data[0] & 3u);
    const bool wide = (data[0] & 4u) != 0;
    const size_t width = wide ? 4 : 2;
    std::vector<int32_t> values((size - 2) / width);
    for (size_t i = 0; i < values.size(); ++i) {
        const uint8_t* p = data + 2 + i * width;
        if (wide) {
            uint32_t v = 0;
            std::memcpy(&v, p, 4);
            values[i] = static_cast<int32_t>(v);
        } else {
            values[i] = static_cast<int16_t>(p[0] | (p[1] << 8));
        }
    }
    const auto view = measurement::ChannelView::interleaved(values, channels, data[1] % channels);
    measurement::ChannelMeasurement m;
    measurement::measureChannel(view, 44100, m);

    const measurement::Levels& l = m.levels;
    for (double v : {l.top, l.base, l.amplitude, l.peakToPeak, l.mean, l.rms})
        require(std::isfinite(v), "a level not finite");
    if (!view.empty()) {
        require(l.minimum <= l.base && l.base <= l.top && l.top <= l.maximum,
                "levels out of order");
        require(l.mean >= l.minimum && l.mean <= l.maximum, "mean outside the samples");
        require(l.rms >= std::abs(l.mean) * (1 - 1e-9), "RMS below the mean");
    }
    for (size_t i = 0; i < m.edges.size(); ++i) {
        const measurement::Edge& e = m.edges[i];
        require(e.position >= 0 && e.position < static_cast<double>(view.size()), "edge outside");
        if (i == 0) continue;
        require(e.position > m.edges[i - 1].position, "edges out of order");
        require(e.rising != m.edges[i - 1].rising, "edges not alternating");
    }
    const double span = static_cast<double>(view.size()) / 44100;
    const measurement::Timing& t = m.timing;
    check(t.period, 0, span);
    check(t.frequency, 0, 44100);
    check(t.positiveWidth, 0, span);
    check(t.negativeWidth, 0, span);
    check(t.dutyCycle, 0, 100);
    check(t.riseTime, -1e-12, span);
    check(t.fallTime, -1e-12, span);
    require(!t.period == !t.frequency && !t.period == !t.dutyCycle, "period figures apart");
    return 0;
}
