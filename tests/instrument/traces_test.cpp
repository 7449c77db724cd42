// Trigger and traces on synthetic captures: where the display starts, how samples are conditioned
// and placed, and that each redraw removes exactly the traces of the previous one.
#include <algorithm>
#include <utility>

#include "DrawFixture.h"

namespace draw_test {
namespace {

constexpr size_t kSegments = 999;  // per polyline: points 1..1000

// L: a sawtooth from -1000 to 2600, unrelated to R.
int32_t sawtooth(int position) {
    return (position % 37 - 10) * 100;
}

class TracesTest : public DrawTest {
  protected:
    // A redraw ends with 999 groups of four segments: old R, old L (black), new L, new R.
    std::vector<DrawnLine> segments(size_t which) const {
        const auto& lines = panel.screen.lines;
        std::vector<DrawnLine> out;
        for (size_t k = lines.size() - 4 * kSegments + which; k < lines.size(); k += 4)
            out.push_back(lines[k]);
        return out;
    }
    std::vector<DrawnLine> newL() const { return segments(2); }
    std::vector<DrawnLine> newR() const { return segments(3); }

    // The traces against a model: point p shows the captured sample at TraceStartR + p * TimeStep,
    // clamped and rectified, Round(cy + v * 0.988 * 0.02).
    void expectTracesShow(const Signal& r, const Signal& l) {
        const auto row = [](const Signal& s, int position, int32_t clamp) {
            const int32_t v = position < kDesignedFrames ? s(position) : 0;
            return static_cast<int>(instrument::roundHalfEven(
                kCentre + (v > 0 ? -std::min(v, clamp) : 0) * 0.988 * 0.02));
        };
        const auto L = newL(), R = newR();
        for (int p = 1; p <= static_cast<int>(kSegments); ++p) {
            const int at = scope.TraceStartR + p * scope.TimeStep;
            const int next = at + scope.TimeStep;
            const auto k = static_cast<size_t>(p - 1);
            ASSERT_EQ((std::pair{R[k].y0, R[k].y1}),
                      (std::pair{row(r, at, 10100), row(r, next, 10100)}))
                << "R point " << p;
            ASSERT_EQ((std::pair{L[k].y0, L[k].y1}),
                      (std::pair{row(l, at, 10000), row(l, next, 10000)}))
                << "L point " << p;
        }
    }
};

TEST_F(TracesTest, SquareWaveIsShownFromTheFallingEdgeAfterTheFirstNegativeStretch) {
    // R: +5000 on [0, 100), -5000 on [100, 200), +5000 on [200, 300), ...
    const Signal r = square(100, 5000, -5000);
    capture(r, sawtooth);
    chooseTimeBase(4);  // 1.65 pixels and 1 sample per point
    idlePass();

    EXPECT_EQ(scope.R.FirstIndex, 100);
    // The envelope is 0 on [200, 300) and turns at 300: the display starts at 298, so point 1 is
    // the last high sample, point 2 the first low one.
    EXPECT_EQ(scope.TraceStartR, 298);
    const auto R = newR();
    EXPECT_EQ(coords({R[0]}).front(), (Coords{55, kCentre - 99, 57, kCentre}));
    expectTracesShow(r, sawtooth);

    const auto& lines = panel.screen.lines;
    const DrawnLine& zero = lines[lines.size() - 4 * kSegments - 1];
    EXPECT_EQ(coords({zero}).front(), (Coords{55, kCentre, 787, kCentre}));
    EXPECT_EQ(zero.color, instrument::kWhite);
    const instrument::Rgb order[] = {instrument::kBlack, instrument::kBlack, instrument::kYellow,
                                     instrument::kAqua};
    for (size_t k = 0; k < 4 * kSegments; ++k)
        ASSERT_EQ(lines[lines.size() - 4 * kSegments + k].color, order[k % 4]) << k;
}

TEST_F(TracesTest, WithoutNegativeRTheTracesStartAtTheFallbackOnTheZeroLine) {
    // Position 0 is never examined, so its negative sample does not count.
    capture([](int k) { return k == 0 ? -3000 : 3000; }, [](int) { return 4000; });
    idlePass();

    EXPECT_EQ(scope.R.FirstIndex, 1);  // left by the frequency measurement
    EXPECT_EQ(scope.TraceStartR, 19998);
    for (const auto& trace : {newL(), newR()})
        for (const DrawnLine& s : trace) ASSERT_TRUE(s.y0 == kCentre && s.y1 == kCentre);
}

class LateNegativeTest : public ::testing::WithParamInterface<int>, public TracesTest {};

TEST_P(LateNegativeTest, TriggerSearchStaysBoundedAndNothingIsDrawnBelowTheZeroLine) {
    // A buffer of 44100 values: 22050 positions per channel.
    const int firstNegative = GetParam();
    capture([=](int k) { return k < firstNegative ? 1000 : -3000; }, [](int) { return 4000; },
            22050);
    chooseTimeBase(1);  // points at 20004, 20010, ... 25998
    idlePass();

    EXPECT_EQ(scope.R.FirstIndex, firstNegative);
    EXPECT_EQ(scope.TraceStartR, 19998);
    EXPECT_EQ(newR()[0].y0, firstNegative > 20004 ? kCentre - 20 : kCentre);
    EXPECT_EQ(newL()[0].y0, kCentre - 79);
    for (const auto& trace : {newL(), newR()})
        for (const DrawnLine& s : trace) ASSERT_TRUE(s.y0 <= kCentre && s.y1 <= kCentre);
}

INSTANTIATE_TEST_SUITE_P(FirstNegative, LateNegativeTest,
                         ::testing::Values(19998, 19999, 20000, 20010, 22049));

struct ClampCase {
    int32_t highR, highL;
    int aboveR, aboveL;  // pixels above the zero line
};

class ClampTest : public ::testing::WithParamInterface<ClampCase>, public TracesTest {};

TEST_P(ClampTest, LargeSamplesAreClampedAndNegativeOnesLieOnTheZeroLine) {
    const ClampCase& c = GetParam();
    const Signal r = square(100, c.highR, -c.highR), l = square(100, c.highL, -c.highL);
    capture(r, l);
    chooseTimeBase(4);
    idlePass();

    ASSERT_EQ(scope.TraceStartR, 298);
    EXPECT_EQ(newR()[0].y0, kCentre - c.aboveR);
    EXPECT_EQ(newL()[0].y0, kCentre - c.aboveL);
    expectTracesShow(r, l);
}

INSTANTIATE_TEST_SUITE_P(Amplitudes, ClampTest,
                         ::testing::Values(ClampCase{12000, 15000, 200, 198},
                                           ClampCase{10100, 10000, 200, 198},
                                           ClampCase{32767, 32767, 200, 198},
                                           ClampCase{5000, 5000, 99, 99}));

TEST_F(TracesTest, ScrollBar3ShiftsTheLTraceAndRedrawsOnce) {
    capture(square(10, 5000, -5000), sawtooth);
    chooseTimeBase(7);  // 17 pixels per point
    idlePass();
    const struct {
        int position, channelShift;
    } steps[] = {{10, 1}, {14, 1}, {15, 2}, {25, 2}, {35, 4}, {200, 20}};
    for (const auto& s : steps) {
        panel.positions[instrument::Control::ScrollBar3] = s.position;
        const int before = panel.repaints;
        scope.ScrollBar3Change();
        EXPECT_EQ(scope.ChannelShift, s.channelShift) << s.position;
        EXPECT_EQ(panel.repaints, before + 1);
        const auto L = newL();
        for (size_t k = 0; k < kSegments; ++k)
            ASSERT_EQ(L[k].x0, 55 + (static_cast<int>(k) + 1 - s.channelShift) * 17);
        EXPECT_EQ(newR()[0].x0, 55);
    }
    // At shift 20 the first 19 points lie left of the trace start, 16 of them left of the window.
    const auto L = newL();
    EXPECT_EQ(std::count_if(L.begin(), L.end(), [](auto& s) { return s.x0 < 55; }), 19);
    EXPECT_EQ(std::count_if(L.begin(), L.end(), [](auto& s) { return s.x0 < 0; }), 16);
}

struct ErasePass {
    int half;    // of R
    int frames;  // captured
};

struct EraseCase {
    int band;
    std::vector<ErasePass> passes;
};

class EraseTest : public ::testing::WithParamInterface<EraseCase>, public TracesTest {};

TEST_P(EraseTest, BlackSegmentsRetraceThePreviousTracesExactly) {
    chooseTimeBase(GetParam().band);
    std::vector<Coords> previousR, previousL;
    for (const ErasePass& p : GetParam().passes) {
        capture(square(p.half, 7000, -7000), square(p.half + 13, 4000, -4000), p.frames);
        panel.screen.clear();
        const int repaints = panel.repaints;
        idlePass();
        if (!previousR.empty() && panel.repaints == repaints) {
            EXPECT_EQ(coords(segments(0)), previousR) << "pass with half " << p.half;
            EXPECT_EQ(coords(segments(1)), previousL) << "pass with half " << p.half;
        }
        previousR = coords(newR());
        previousL = coords(newL());
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, EraseTest,
                         ::testing::Values(EraseCase{4, {{100, 11025}, {60, 11025}, {60, 11025}}},
                                           // Captures shorter than the 6000 positions of a band-1
                                           // trace, with a trigger that moves between them.
                                           EraseCase{1, {{100, 11025}, {70, 1000}, {40, 1000}}}));

TEST_F(TracesTest, WindowCommandsRepaintAndTheTriggerStaysOnR) {
    capture(square(882, 5000, -5000), sawtooth);  // 25 Hz: band 1
    idlePass();

    panel.items[instrument::Control::ComboBox4] = 0;  // "automaticky"
    int before = panel.repaints;
    scope.ComboBox4Click();
    EXPECT_EQ(panel.repaints, before + 1);
    EXPECT_TRUE(panel.screen.lines.empty());  // cleared, nothing drawn
    idlePass();
    EXPECT_EQ(panel.itemIndex(instrument::Control::ComboBox4), 2);  // "od kanálu R"

    before = panel.repaints;
    scope.file1Click();  // "mazání": a fresh frame with label set 1
    EXPECT_EQ(panel.repaints, before + 1);
    EXPECT_EQ(newR().size(), kSegments);
    EXPECT_EQ(textsAt(767, kCentre + 3).substr(0, 3), "100");
    EXPECT_EQ(textsAt(707, kCentre + 5), "90");
}

}  // namespace
}  // namespace draw_test
