#include <gtest/gtest.h>

#include <string>

#include "instrument_rig.h"

namespace {

using instrument::ChannelState;
using instrument::Control;
using instrument::Instrument;
using instrument::kRange100mV;
using instrument::kRange5V;
using instrument::kRangeItems;
using testing_support::InstrumentRig;

struct RangeChannel {
    const char* name;
    void (*apply)(Instrument&);  // the named entry point
    Control unitAbove;
    Control unitBelow;
    ChannelState Instrument::*channel;
    ChannelState Instrument::*other;
};

class RangeTest : public ::testing::TestWithParam<RangeChannel> {
  protected:
    InstrumentRig rig;
    Instrument& s = rig.scope;
};

TEST_P(RangeTest, FiveVoltScaleIsAppliedOnceAndRepaintsOnce) {
    const RangeChannel& c = GetParam();
    ChannelState& channel = s.*c.channel;
    EXPECT_EQ(channel.RangeLatch[kRange100mV], 1) << "start-up range";
    EXPECT_EQ(channel.Gain, 1.0);

    c.apply(s);
    EXPECT_EQ(rig.panel.text[c.unitAbove], "+ V");
    EXPECT_EQ(rig.panel.text[c.unitBelow], "- V");
    EXPECT_EQ(channel.Gain, 0.02);
    EXPECT_EQ(channel.DivisionValue, 0.5);
    EXPECT_EQ(rig.panel.repaints, 1);
    for (int flag = 1; flag <= kRangeItems; ++flag)
        EXPECT_EQ(channel.RangeLatch[flag], flag == kRange5V ? 1 : 0) << "flag " << flag;

    EXPECT_EQ((s.*c.other).Gain, 1.0) << "the other channel keeps its scale";
    EXPECT_EQ(rig.panel.text.size(), 2u);

    rig.panel.text.clear();
    for (int redraw = 0; redraw < 3; ++redraw) c.apply(s);
    EXPECT_EQ(rig.panel.repaints, 1);
    EXPECT_TRUE(rig.panel.text.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Channels, RangeTest,
    ::testing::Values(RangeChannel{"L", [](Instrument& s) { s.ApplyRangeL(); }, Control::Edit2,
                                   Control::Edit5, &Instrument::L, &Instrument::R},
                      RangeChannel{"R", [](Instrument& s) { s.ApplyRangeR(); }, Control::Edit18,
                                   Control::Edit19, &Instrument::R, &Instrument::L}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
