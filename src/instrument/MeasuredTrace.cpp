#include "instrument/MeasuredTrace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "measurement/Levels.h"

namespace instrument {

namespace {

constexpr double kPeriodsShown = 2.0;
constexpr double kPretrigger = 0.1;  // of the width, before the trigger
constexpr double kMargin = 0.1;      // of the levels' range, above and below
constexpr int kTextGap = 2;          // pixels

bool clippedSample(int32_t value) {
    return value >= measurement::kFullScale - measurement::kClipMargin ||
           value <= -measurement::kFullScale + measurement::kClipMargin;
}

void clear(Canvas& canvas) {
    canvas.setPenColor(kBlack);
    for (int y = 0; y < canvas.clientHeight(); ++y) {
        canvas.moveTo(0, y);
        canvas.lineTo(canvas.clientWidth(), y);
    }
}

// "H 4.9700 V", "L 0 V", "H 15.260 %": at most a few dozen characters in `text`.
template <size_t N>
std::string_view levelLabel(char (&text)[N], char name, double units, const TraceInput& in) {
    const double level = units - in.offset;
    int n = 0;
    if (in.voltsPerUnit > 0) {
        n = std::snprintf(text, N, "%c %.4g V", name, level * in.voltsPerUnit);
    } else {
        n = std::snprintf(text, N, "%c %.4g %%", name, 100.0 * level / measurement::kFullScale);
    }
    return {text, n > 0 ? std::min(static_cast<size_t>(n), N - 1) : 0};
}

}  // namespace

TraceMarks drawMeasuredTrace(Canvas& canvas, const TraceInput& in) {
    TraceMarks marks;
    clear(canvas);
    const int width = canvas.clientWidth(), height = canvas.clientHeight();
    const size_t frames = in.samples.size();
    if (frames < 2 || width < 2 || height < 2 || in.measured == nullptr) return marks;
    const measurement::ChannelMeasurement& m = *in.measured;

    // Two periods from a little before the first rising edge; the whole capture without one.
    const measurement::Edge* trigger = nullptr;
    for (const measurement::Edge& e : m.edges) {
        if (e.rising) {
            trigger = &e;
            break;
        }
    }
    double span = static_cast<double>(frames);
    if (m.timing.period && in.frameRate > 0)
        span = std::min(span, kPeriodsShown * m.timing.period->mean * in.frameRate);
    // The trigger on a whole pixel a tenth of the width in, so that it stands still; the trace
    // ends early where the capture does.
    marks.framesPerPixel = span / width;
    double first = 0;
    if (trigger != nullptr) {
        const double before = std::round(kPretrigger * width) * marks.framesPerPixel;
        first = std::max(0.0, trigger->position - before);
        marks.triggered = true;
    }
    marks.firstFrame = first;

    // Vertical: the extremes and the levels, with a margin.
    const measurement::Levels& l = m.levels;
    double low = std::min<double>(l.minimum, l.base), high = std::max<double>(l.maximum, l.top);
    if (high - low < 1) high = low + 1;
    const double margin = kMargin * (high - low);
    low -= margin;
    high += margin;
    const auto yOf = [&](double units) {
        const double share = (high - units) / (high - low);
        return std::clamp(static_cast<int>(std::lround(share * (height - 1))), 0, height - 1);
    };
    const auto xOf = [&](double frame) {
        return static_cast<int>(std::lround((frame - first) / marks.framesPerPixel));
    };

    // The levels, under the trace.
    marks.topY = yOf(l.top);
    marks.baseY = yOf(l.base);
    canvas.setPenColor(kLevelGrey);
    for (const int y : {marks.topY, marks.baseY}) {
        canvas.moveTo(0, y);
        canvas.lineTo(width, y);
    }
    // The edges of one period: the trigger, the next falling one, the next rising one.
    if (trigger != nullptr) {
        size_t index = static_cast<size_t>(trigger - m.edges.data());
        canvas.setPenColor(kEdgeGreen);
        for (size_t k = 0; k < marks.edgeX.size() && index + k < m.edges.size(); ++k) {
            const int x = xOf(m.edges[index + k].position);
            if (x < 0 || x >= width) break;
            marks.edgeX[k] = x;
            canvas.moveTo(x, 0);
            canvas.lineTo(x, height);
        }
    }

    // The trace: per column its samples' minimum to maximum, joined to the next column.
    int previousY = -1;
    for (int x = 0; x < width; ++x) {
        const auto begin = static_cast<size_t>(std::floor(first + x * marks.framesPerPixel));
        auto end = static_cast<size_t>(std::floor(first + (x + 1) * marks.framesPerPixel));
        end = std::min(std::max(end, begin + 1), frames);
        if (begin >= frames) break;
        int32_t lo = in.samples[begin], hi = lo;
        bool clipped = false;
        for (size_t k = begin; k < end; ++k) {
            lo = std::min(lo, in.samples[k]);
            hi = std::max(hi, in.samples[k]);
            clipped = clipped || (k < in.captured.size() && clippedSample(in.captured[k]));
        }
        if (clipped) ++marks.clippedColumns;
        canvas.setPenColor(clipped ? kClippedRed : in.colour);
        int top = yOf(hi), bottom = yOf(lo);
        if (previousY >= 0) {  // joined to the column before
            top = std::min(top, previousY);
            bottom = std::max(bottom, previousY);
        }
        canvas.moveTo(x, top);
        canvas.lineTo(x, bottom + 1);
        previousY = yOf(in.samples[end - 1]);
    }

    // The levels' texts, at the right end above each line.
    char text[48];
    canvas.setFontColor(kWhite);
    canvas.textOut(kTextGap, std::max(0, marks.topY - 16), levelLabel(text, 'H', l.top, in));
    canvas.textOut(kTextGap, std::min(height - 16, marks.baseY + kTextGap),
                   levelLabel(text, 'L', l.base, in));
    marks.drawn = true;
    return marks;
}

}  // namespace instrument
