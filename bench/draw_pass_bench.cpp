// One periodic idle pass as the screen sees it: DrawGrid, then DrawTraces (analyses, ranges,
// frequencies, time base, scales, trigger, erase and redraw of both traces), on a captured buffer
// of 22050 values, drawn on the 792 x 526 client area of an 800 x 526 ScreenCanvas. Band 1 (25 Hz
// on R: many short segments on the screen) and band 7 (1470 Hz on R: long segments, most of them
// beyond the right edge).
//
// Beside it, the baseline: the same pass on a canvas that draws every segment with
// QPainter::drawLine (and every text with QPainter::drawText) on a QImage. The Replay benchmarks
// draw only the recorded segments and texts of one pass, without the instrument's arithmetic.
//
// Targets: pass median at most 1 ms, at least twice as fast as the baseline, no allocation. The
// PassNewBuffer benchmarks make every pass the first over its buffer, which also measures both
// channels for the measurement window: the pass that follows each delivery.
#include <benchmark/benchmark.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "support/CanvasPanel.h"
#include "support/CountingNew.h"
#include "window/ScreenCanvas.h"

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 526;
constexpr int kFrames = 11025;  // one capture buffer: 22050 values

using testing_support::CanvasPanel;

QFont screenFont() {
    QFont font;
    font.setPixelSize(13);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// The baseline: one QPainter on a QImage, a drawLine per segment.
class PainterCanvas final : public instrument::Canvas {
    static constexpr int kPenWidth = 1;  // as every line of the screen

  public:
    PainterCanvas()
        : image_(800, kClientHeight, QImage::Format_RGB32),
          ascent_(QFontMetrics(screenFont()).ascent()) {
        image_.fill(Qt::black);
        painter_.begin(&image_);
        painter_.setFont(screenFont());
    }
    void setPenColor(instrument::Rgb c) override {
        pen_ = QColor(c.r, c.g, c.b);
        painter_.setPen(QPen(pen_, kPenWidth));
    }
    void setFontColor(instrument::Rgb c) override { font_ = QColor(c.r, c.g, c.b); }
    void moveTo(int x, int y) override { x_ = x, y_ = y; }
    void lineTo(int x, int y) override {
        painter_.drawLine(x_, y_, x, y);
        x_ = x, y_ = y;
    }
    void textOut(int x, int y, std::string_view text) override {
        painter_.setPen(font_);
        painter_.drawText(x, y + ascent_,
                          QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        painter_.setPen(QPen(pen_, kPenWidth));
    }
    int clientWidth() const override { return kClientWidth; }
    int clientHeight() const override { return kClientHeight; }

  private:
    QImage image_;
    QPainter painter_;
    QColor pen_{Qt::black}, font_{Qt::black};
    int x_ = 0, y_ = 0, ascent_ = 0;
};

// Records the drawing calls of one pass, for the replay benchmarks.
class RecordingCanvas final : public instrument::Canvas {
  public:
    struct Op {
        enum Kind { Pen, Font, Line, Text } kind;
        instrument::Rgb color;
        int x0, y0, x1, y1;
        std::string text;
    };
    std::vector<Op> ops;

    void setPenColor(instrument::Rgb c) override { ops.push_back({Op::Pen, c, 0, 0, 0, 0, {}}); }
    void setFontColor(instrument::Rgb c) override { ops.push_back({Op::Font, c, 0, 0, 0, 0, {}}); }
    void moveTo(int x, int y) override { x_ = x, y_ = y; }
    void lineTo(int x, int y) override {
        ops.push_back({Op::Line, {}, x_, y_, x, y, {}});
        x_ = x, y_ = y;
    }
    void textOut(int x, int y, std::string_view text) override {
        ops.push_back({Op::Text, {}, x, y, 0, 0, std::string(text)});
    }
    int clientWidth() const override { return kClientWidth; }
    int clientHeight() const override { return kClientHeight; }

    void replay(instrument::Canvas& canvas) const {
        for (const Op& op : ops) {
            switch (op.kind) {
                case Op::Pen:
                    canvas.setPenColor(op.color);
                    break;
                case Op::Font:
                    canvas.setFontColor(op.color);
                    break;
                case Op::Line:
                    canvas.moveTo(op.x0, op.y0);
                    canvas.lineTo(op.x1, op.y1);
                    break;
                case Op::Text:
                    canvas.textOut(op.x0, op.y0, op.text);
                    break;
            }
        }
    }

  private:
    int x_ = 0, y_ = 0;
};

struct Band {
    int number;
    int halfPeriod;  // of the square wave on R, in samples
};
constexpr Band kBand1{1, 882};  // 25 Hz
constexpr Band kBand7{7, 15};   // 1470 Hz

// An instrument with one designed capture buffer: a square wave on R, a sine on L.
class Rig {
  public:
    Rig(instrument::Canvas& canvas, const Band& band) : panel_(canvas) {
        for (int k = 0; k < kFrames; ++k) {
            const int32_t r = (k / band.halfPeriod) % 2 == 0 ? 8000 : -8000;
            const auto l = static_cast<int32_t>(std::lround(6000 * std::sin(k * 0.0123)));
            instrument_.RawSamples.set(static_cast<uint32_t>(2 * k), r);
            instrument_.RawSamples.set(static_cast<uint32_t>(2 * k + 1), l);
        }
        instrument_.SampleCount = 2 * kFrames;
        for (int warmUp = 0; warmUp < 3; ++warmUp) pass();
        ok = instrument_.TimeBaseLatch[band.number] == 1;
        panel_.repaints = 0;
    }

    // The same capture counted as a buffer newly arrived: the next pass measures it too.
    void newBuffer() { ++instrument_.capturedBuffers; }

    // One periodic idle pass without the capture start.
    void pass() {
        instrument_.R.FirstIndex = 1;
        instrument_.DrawGrid();
        instrument_.DrawTraces();
    }

    int repaints() const { return panel_.repaints; }
    bool ok = false;

  private:
    platform::MessageLoop loop_;
    platform::sim::SimCard card_;
    CanvasPanel panel_;
    instrument::Instrument instrument_{panel_, card_, loop_};
};

template <typename Canvas>
void runPass(benchmark::State& state, Canvas& canvas, const Band& band, bool newBuffers = false) {
    Rig rig(canvas, band);
    if (!rig.ok) {
        state.SkipWithError("the signal did not select the band");
        return;
    }
    const long before = testing_support::allocationCount();
    for (auto _ : state) {
        if (newBuffers) rig.newBuffer();
        rig.pass();
    }
    state.counters["allocs_per_pass"] =
        benchmark::Counter(static_cast<double>(testing_support::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["repaints"] = rig.repaints();
}

template <typename Canvas>
void runReplay(benchmark::State& state, Canvas& canvas, const Band& band) {
    RecordingCanvas recording;
    Rig rig(recording, band);
    recording.ops.clear();
    rig.pass();
    const long before = testing_support::allocationCount();
    for (auto _ : state) recording.replay(canvas);
    state.counters["allocs_per_pass"] =
        benchmark::Counter(static_cast<double>(testing_support::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["segments"] = static_cast<double>(std::count_if(
        recording.ops.begin(), recording.ops.end(),
        [](const RecordingCanvas::Op& op) { return op.kind == RecordingCanvas::Op::Line; }));
}

void BM_PassScreenCanvas(benchmark::State& state, Band band) {
    window::ScreenCanvas canvas(kClientWidth, kClientHeight);
    runPass(state, canvas, band);
}

// The pass that draws a buffer for the first time: it also measures both of its channels for the
// measurement window (the passes after it over the same buffer do not).
void BM_PassNewBufferScreenCanvas(benchmark::State& state, Band band) {
    window::ScreenCanvas canvas(kClientWidth, kClientHeight);
    runPass(state, canvas, band, true);
}

void BM_PassQPainterBaseline(benchmark::State& state, Band band) {
    PainterCanvas canvas;
    runPass(state, canvas, band);
}

void BM_ReplayScreenCanvas(benchmark::State& state, Band band) {
    window::ScreenCanvas canvas(kClientWidth, kClientHeight);
    runReplay(state, canvas, band);
}

void BM_ReplayQPainterBaseline(benchmark::State& state, Band band) {
    PainterCanvas canvas;
    runReplay(state, canvas, band);
}

}  // namespace

#define DRAW_BENCH(function, band)          \
    BENCHMARK_CAPTURE(function, band, band) \
        ->Unit(benchmark::kMicrosecond)     \
        ->Repetitions(15)                   \
        ->ReportAggregatesOnly(true)

DRAW_BENCH(BM_PassScreenCanvas, kBand1);
DRAW_BENCH(BM_PassNewBufferScreenCanvas, kBand1);
DRAW_BENCH(BM_PassQPainterBaseline, kBand1);
DRAW_BENCH(BM_PassScreenCanvas, kBand7);
DRAW_BENCH(BM_PassNewBufferScreenCanvas, kBand7);
DRAW_BENCH(BM_PassQPainterBaseline, kBand7);
DRAW_BENCH(BM_ReplayScreenCanvas, kBand1);
DRAW_BENCH(BM_ReplayQPainterBaseline, kBand1);
DRAW_BENCH(BM_ReplayScreenCanvas, kBand7);
DRAW_BENCH(BM_ReplayQPainterBaseline, kBand7);
