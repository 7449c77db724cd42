// The time base: automatic bands at their bounds, the latches that repaint only on a change of
// band, the manual choice through ComboBox1 and the item that follows the generator.
#include "DrawFixture.h"

namespace draw_test {
namespace {

struct Band {
    double pointSpacing;
    int timeStep;
    const char* endLabel;
};
const Band kBands[8] = {{},
                        {1.0, 6, "100"},
                        {1.0, 3, "50"},
                        {0.83, 1, "20"},
                        {1.65, 1, "10"},
                        {3.3, 1, " 5"},
                        {8.5, 1, " 2"},
                        {17.0, 1, "ms 1"}};

class TimeBaseTest : public DrawTest {
  protected:
    void SetUp() override { scope.DrawGrid(); }

    void expectBand(int band) {
        EXPECT_DOUBLE_EQ(scope.PointSpacing, kBands[band].pointSpacing);
        EXPECT_EQ(scope.TimeStep, kBands[band].timeStep);
        for (int flag = 1; flag <= 7; ++flag)
            EXPECT_EQ(scope.TimeBaseLatch[flag], flag == band ? 1 : 0) << "flag " << flag;
    }
};

struct BoundCase {
    double freqR;
    int band;
};

class BandBoundTest : public ::testing::WithParamInterface<BoundCase>, public TimeBaseTest {};

TEST_P(BandBoundTest, FrequencyOnABoundBelongsToTheLowerBand) {
    scope.R.Freq = GetParam().freqR;
    scope.ApplyTimeBase();

    expectBand(GetParam().band);
    EXPECT_EQ(panel.repaints, 1);
    // The repaint wiped the grid; the screen holds the band's label set.
    ASSERT_EQ(panel.screen.texts.size(), 18u);
    EXPECT_EQ(panel.screen.texts[1].text, kBands[GetParam().band].endLabel);
}

INSTANTIATE_TEST_SUITE_P(Bounds, BandBoundTest,
                         ::testing::Values(BoundCase{0.0, 1}, BoundCase{30.0, 1},
                                           BoundCase{30.001, 2}, BoundCase{70.0, 2},
                                           BoundCase{70.001, 3}, BoundCase{150.0, 3},
                                           BoundCase{150.01, 4}, BoundCase{250.0, 4},
                                           BoundCase{250.01, 5}, BoundCase{600.0, 5},
                                           BoundCase{600.01, 6}, BoundCase{1200.0, 6},
                                           BoundCase{1200.001, 7}, BoundCase{22050.0, 7}));

TEST_F(TimeBaseTest, OnlyAChangeOfBandRepaintsAndEveryCrossingDoes) {
    const struct {
        double freqR;
        int repaints;  // in total after this step
        bool drawn;    // the new band's label set
    } steps[] = {{25.0, 1, true}, {29.0, 1, false}, {31.0, 2, true},
                 {30.0, 3, true}, {30.0, 3, false}, {31.0, 4, true}};
    for (const auto& step : steps) {
        panel.screen.clear();
        scope.R.Freq = step.freqR;
        scope.ApplyTimeBase();
        EXPECT_EQ(panel.repaints, step.repaints) << step.freqR;
        EXPECT_EQ(panel.screen.lines.empty(), !step.drawn) << step.freqR;
    }
}

TEST_F(TimeBaseTest, ComboBox1ChoosesTheBandOrAutomaticOrTheGenerator) {
    scope.R.Freq = 200.0;  // band 4 in force
    scope.ApplyTimeBase();
    const struct {
        int item, autoTimeBase, followGenerator, band, repaints;
    } steps[] = {
        {4, 0, 0, 4, 1}, {7, 0, 0, 7, 2}, {1, 0, 0, 1, 3}, {0, 1, 0, 4, 4}, {8, 1, 1, 4, 4}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.item);
        chooseTimeBase(s.item);
        EXPECT_EQ(scope.AutoTimeBase, s.autoTimeBase);
        EXPECT_EQ(scope.FollowGenerator, s.followGenerator);
        scope.ApplyTimeBase();  // the choice takes effect at the next redraw
        expectBand(s.band);
        EXPECT_EQ(panel.repaints, s.repaints);
    }
}

class GeneratorTimeBaseTest : public ::testing::WithParamInterface<int>, public TimeBaseTest {};

TEST_P(GeneratorTimeBaseTest, GeneratorItemSelectsTheGeneratorsBandWhateverTheInput) {
    const int half = GetParam();  // of the input on both channels; 0: silence
    const Signal input = half ? square(half, 8000, -8000) : Signal([](int) { return 0; });
    capture(input, input);
    scope.GeneratorFrequency = 1000;
    chooseTimeBase(8);
    idlePass();

    EXPECT_DOUBLE_EQ(scope.R.Freq, 1000.0);
    expectBand(6);
}

// 25 Hz (band 1 by itself), 2205 Hz (band 7), silence.
INSTANTIATE_TEST_SUITE_P(Inputs, GeneratorTimeBaseTest, ::testing::Values(882, 10, 0));

}  // namespace
}  // namespace draw_test
