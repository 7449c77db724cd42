#include <gtest/gtest.h>

#include <string>

#include "instrument_rig.h"

namespace {

using instrument::Control;
using instrument::Instrument;
using instrument::kRange100mV;
using instrument::kRange5V;
using instrument::kRangeItems;
using instrument::LatchFlags;
using testing_support::InstrumentRig;

struct RangeChannel {
    const char* name;
    void (*apply)(Instrument&);
    Control unitAbove;
    Control unitBelow;
    double Instrument::*gain;
    double Instrument::*divisionValue;
    LatchFlags<kRangeItems> Instrument::*latch;
};

class RangeTest : public ::testing::TestWithParam<RangeChannel> {
  protected:
    InstrumentRig rig;
    Instrument& s = rig.scope;
};

TEST_P(RangeTest, FiveVoltScaleIsAppliedOnceAndRepaintsOnce) {
    const RangeChannel& c = GetParam();
    EXPECT_EQ((s.*c.latch)[kRange100mV], 1) << "start-up range";
    EXPECT_EQ(s.*c.gain, 1.0);

    c.apply(s);
    EXPECT_EQ(rig.panel.text[c.unitAbove], "+ V");
    EXPECT_EQ(rig.panel.text[c.unitBelow], "- V");
    EXPECT_EQ(s.*c.gain, 0.02);
    EXPECT_EQ(s.*c.divisionValue, 0.5);
    EXPECT_EQ(rig.panel.repaints, 1);
    for (int flag = 1; flag <= kRangeItems; ++flag)
        EXPECT_EQ((s.*c.latch)[flag], flag == kRange5V ? 1 : 0) << "flag " << flag;

    const bool isL = c.unitAbove == Control::Edit2;
    EXPECT_EQ(isL ? s.GainR : s.GainL, 1.0) << "the other channel keeps its scale";
    EXPECT_EQ(rig.panel.text.size(), 2u);

    rig.panel.text.clear();
    for (int redraw = 0; redraw < 3; ++redraw) c.apply(s);
    EXPECT_EQ(rig.panel.repaints, 1);
    EXPECT_TRUE(rig.panel.text.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Channels, RangeTest,
    ::testing::Values(RangeChannel{"L", [](Instrument& s) { s.ApplyRangeL(); }, Control::Edit2,
                                   Control::Edit5, &Instrument::GainL, &Instrument::DivisionValueL,
                                   &Instrument::RangeLatchL},
                      RangeChannel{"R", [](Instrument& s) { s.ApplyRangeR(); }, Control::Edit18,
                                   Control::Edit19, &Instrument::GainR, &Instrument::DivisionValueR,
                                   &Instrument::RangeLatchR}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
