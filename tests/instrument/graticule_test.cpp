// The graticule, the time-scale label sets and the scale columns, to the pixel for the designed
// client width of 792 (GridUnitX 3.76).
#include "DrawFixture.h"

namespace draw_test {
namespace {

using GraticuleTest = DrawTest;

TEST_F(GraticuleTest, GridStandsWhereTheDesignedWindowPutsIt) {
    scope.DrawGrid();

    EXPECT_DOUBLE_EQ(scope.GridUnitX, 3.76);
    std::vector<Coords> expected;
    for (int side : {-1, 1})
        for (int i = 1; i <= 11; ++i)
            expected.push_back({56, kCentre + side * 20 * i, 782, kCentre + side * 20 * i});
    for (int x : {128, 201, 275, 348, 421, 494, 567, 640, 714, 787}) {
        expected.push_back({x, kCentre + 220, x, kCentre + 20});
        expected.push_back({x, kCentre - 5, x, kCentre - 220});
    }
    EXPECT_EQ(coords(panel.screen.lines), expected);
    for (const DrawnLine& line : panel.screen.lines)
        ASSERT_EQ(line.color, (instrument::Rgb{75, 75, 75}));
}

struct LabelSetCase {
    int set;
    const char* labels;  // ticks 1..9
    int firstX, lastX;   // of the labels of ticks 1 and 9
    const char* end;
    int endX, endRow;
};

class LabelSetTest : public ::testing::WithParamInterface<LabelSetCase>, public DrawTest {};

TEST_P(LabelSetTest, LabelsOfTheSetStandAtTheirTicks) {
    const LabelSetCase& c = GetParam();
    scope.DrawGrid();
    panel.screen.clear();
    scope.DrawTimeScale(c.set);

    std::string labels;
    for (size_t k = 0; k < panel.screen.texts.size(); k += 2) {  // each followed by the end label
        labels += (k ? " " : "") + panel.screen.texts[k].text;
        EXPECT_EQ(panel.screen.texts[k].y, kCentre + 5);
    }
    EXPECT_EQ(labels, c.labels);
    EXPECT_EQ(panel.screen.texts.front().x, c.firstX);
    EXPECT_EQ(panel.screen.texts[16].x, c.lastX);
    std::string nineEnds = c.end;  // drawn in each of the nine passes at one place
    for (int i = 1; i < 9; ++i) nineEnds += std::string("|") + c.end;
    EXPECT_EQ(textsAt(c.endX, kCentre + c.endRow), nineEnds);
    // 99 minor ticks, then the 9 major ticks at the grid columns.
    ASSERT_EQ(panel.screen.lines.size(), 108u);
    EXPECT_EQ(coords(panel.screen.lines)[0], (Coords{62, kCentre + 2, 62, kCentre - 2}));
    EXPECT_EQ(coords(panel.screen.lines)[98][0], 779);
    EXPECT_EQ(coords(panel.screen.lines)[107], (Coords{714, kCentre + 3, 714, kCentre - 3}));
}

INSTANTIATE_TEST_SUITE_P(
    AllSets, LabelSetTest,
    ::testing::Values(
        LabelSetCase{1, "10 20 30 40 50 60 70 80 90", 121, 707, "100", 767, 3},
        LabelSetCase{2, "5 10 15 20 25 30 35 40 45", 121, 707, "50", 772, 5},
        LabelSetCase{3, "2 4 6 8 10 12 14 16 18", 121, 707, "20", 772, 3},
        LabelSetCase{4, "1 2 3 4 5 6 7 8 9", 125, 711, "10", 772, 3},
        LabelSetCase{5, "0.5 1.0 1.5 2.0 2.5 3.0 3.5 4.0 4.5", 121, 707, " 5", 772, 3},
        LabelSetCase{6, "0.2 0.4 0.6 0.8 1.0 1.2 1.4 1.6 1.8", 121, 707, " 2", 772, 3},
        LabelSetCase{7, "0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9", 121, 707, "ms 1", 748, 3}));

struct ColumnCase {
    double divisionValue;
    std::array<const char*, 11> texts;  // divisions 0..10
};

class ScaleColumnTest : public ::testing::WithParamInterface<ColumnCase>, public DrawTest {};

TEST_P(ScaleColumnTest, ColumnsReadTheDivisionValuesAboveAndBelowTheZeroLine) {
    const ColumnCase& c = GetParam();
    scope.L.DivisionValue = scope.R.DivisionValue = c.divisionValue;
    scope.DrawScales();

    for (int i = 1; i <= 10; ++i) {
        const std::string text = c.texts[static_cast<size_t>(i)];
        for (int row : {kCentre - 20 * i - 7, kCentre + 20 * i - 7}) {
            EXPECT_EQ(textsAt(34, row), text) << "L, division " << i;
            EXPECT_EQ(textsAt(0, row), text) << "R, division " << i;
        }
    }
    EXPECT_EQ(textsAt(0, kCentre - 7), std::string(c.texts[0]) + "|" + c.texts[0]);
    EXPECT_EQ(textsAt(34, kCentre - 7), "ms");
    for (const DrawnText& t : panel.screen.texts)
        EXPECT_EQ(t.color, t.x == 34 && t.text != "ms" ? instrument::kYellow : instrument::kWhite)
            << t.text;
}

INSTANTIATE_TEST_SUITE_P(Ranges, ScaleColumnTest,
                         ::testing::Values(ColumnCase{0.5,
                                                      {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5",
                                                       "3.0", "3.5", "4.0", "4.5", "5.0"}},
                                           ColumnCase{10.0,
                                                      {"  0", " 10", " 20", " 30", " 40", " 50",
                                                       " 60", " 70", " 80", " 90", "100"}}));

TEST_F(GraticuleTest, ScalesDrawTheLabelSetOfTheChoiceWithoutChangingTheTimeBase) {
    struct {
        int autoTimeBase, item;
        double freqR;
        const char* end;  // at row cy + 3; "" when no set is drawn
    } cases[] = {{1, 0, 25.0, "100"}, {1, 0, 1000.0, " 2"}, {0, 5, 25.0, " 5"}, {0, 0, 25.0, ""}};
    for (const auto& c : cases) {
        panel.screen.clear();
        scope.AutoTimeBase = c.autoTimeBase;
        panel.items[instrument::Control::ComboBox1] = c.item;
        scope.R.Freq = c.freqR;
        scope.DrawScales();
        const std::string end = textsAt(772, kCentre + 3) + textsAt(767, kCentre + 3);
        EXPECT_EQ(end.substr(0, end.find('|')), c.end) << c.freqR << " " << c.item;
    }
    EXPECT_EQ(panel.repaints, 0);
    EXPECT_EQ(scope.TimeStep, 6);
}

}  // namespace
}  // namespace draw_test
