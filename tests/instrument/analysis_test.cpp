#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "instrument_rig.h"

namespace {

using instrument::Control;
using instrument::SampleArray;
using instrument::Word;
using testing_support::InstrumentRig;

class AnalysisTest : public ::testing::Test {
  protected:
    InstrumentRig rig;
    instrument::Instrument& s = rig.scope;
};

TEST_F(AnalysisTest, ChannelsNeverMix) {
    // R values at even positions, L values at odd positions, each telling its frame.
    for (uint32_t k = 0; k < 22050; ++k) {
        s.RawSamples.set(2 * k, static_cast<int32_t>(k % 30000));
        s.RawSamples.set(2 * k + 1, -static_cast<int32_t>(k % 30000) - 1);
    }
    s.SampleCount = 22050;
    s.AnalyseChannelL();
    s.AnalyseChannelR();
    for (uint32_t k = 0; k < 22050; ++k) {
        const auto frame = static_cast<int32_t>(k % 30000);
        ASSERT_EQ(s.R.Samples[k], frame) << k;
        ASSERT_EQ(s.L.Samples[k], -frame - 1) << k;
    }
    EXPECT_EQ(s.RawIndex, 44098) << "the R routine ran last";
}

TEST_F(AnalysisTest, ReadsPastTheCaptureYieldZeroAndNeverWrapOntoCapturedValues) {
    for (uint32_t k = 0; k < instrument::kSampleSlots; ++k) s.RawSamples.set(k, 7);
    s.SampleCount = 44100;  // the largest buffer the handler accepts
    s.L.Samples.fill(-1);
    s.R.Samples.fill(-1);
    s.AnalyseChannelL();
    s.AnalyseChannelR();
    for (uint32_t k = 0; k < instrument::kSampleSlots; ++k) {
        const int32_t expected = k < 22050 ? 7 : 0;
        ASSERT_EQ(s.L.Samples[k], expected) << k;
        ASSERT_EQ(s.R.Samples[k], expected) << k;
    }
}

struct PeakCase {
    const char* name;
    uint32_t framePosition;  // position in the channel array
    int32_t value;
    Word expectedPeak;
};

TEST_F(AnalysisTest, PeakIsTheLargestMagnitudeFromPositionOne) {
    const PeakCase cases[] = {
        {"PositionZeroIsNotExamined", 0, 30000, 0},
        {"MostNegativeValue", 1, -32768, 32768},
        {"MostPositiveValue", 1, 32767, 32767},
        {"NegativeCountsByMagnitude", 500, -1200, 1200},
        {"LastPosition", 11024, 9, 9},
        {"BeyondTheCaptureIsZero", 22049, 0, 0},
    };
    s.SampleCount = 22050;
    for (const PeakCase& c : cases) {
        SCOPED_TRACE(c.name);
        s.RawSamples.fill(0);
        s.RawSamples.set(2 * c.framePosition + 1, c.value);  // channel L only
        s.AnalyseChannelL();
        s.AnalyseChannelR();
        EXPECT_EQ(s.L.Peak, c.expectedPeak);
        EXPECT_EQ(s.R.Peak, 0) << "channel R must not see channel L";

        s.RawSamples.fill(0);
        s.RawSamples.set(2 * c.framePosition, c.value);  // channel R only
        s.AnalyseChannelL();
        s.AnalyseChannelR();
        EXPECT_EQ(s.R.Peak, c.expectedPeak);
        EXPECT_EQ(s.L.Peak, 0) << "channel L must not see channel R";
    }
}

TEST_F(AnalysisTest, PeakTextShowsBothPeaksWithRFromTheLatestRAnalysis) {
    s.SampleCount = 22050;
    s.AnalyseChannelL();
    EXPECT_EQ(rig.panel.text[Control::Edit11], "rmaxl =0rmaxr =0");

    s.RawSamples.set(2 * 10 + 1, 4321);  // L
    s.RawSamples.set(2 * 20, -1234);     // R

    s.AnalyseChannelL();
    EXPECT_EQ(rig.panel.text[Control::Edit11], "rmaxl =4321rmaxr =0");
    s.AnalyseChannelR();
    EXPECT_EQ(rig.panel.text[Control::Edit11], "rmaxl =4321rmaxr =0") << "R leaves the text";
    s.AnalyseChannelL();
    EXPECT_EQ(rig.panel.text[Control::Edit11], "rmaxl =4321rmaxr =1234");

    s.RawSamples.set(2 * 10 + 1, -32768);
    s.RawSamples.set(2 * 20, -32768);
    s.AnalyseChannelR();
    s.AnalyseChannelL();
    EXPECT_EQ(rig.panel.text[Control::Edit11], "rmaxl =32768rmaxr =32768");
}

TEST_F(AnalysisTest, LevelReadOutsShowTwoPointFiftyVoltsWhateverTheInput) {
    for (int32_t value : {0, 32767, -32768}) {
        s.RawSamples.fill(value);
        rig.panel.text.clear();
        s.AnalyseChannelL();
        s.AnalyseChannelR();
        EXPECT_EQ(rig.panel.text[Control::Edit4], "2.50 V");
        EXPECT_EQ(rig.panel.text[Control::Edit1], "2.50 V");
        EXPECT_EQ(s.L.Level, 2500.0);
        EXPECT_EQ(s.R.Level, 2500.0);
    }
}

TEST_F(AnalysisTest, OnlyTheRAnalysisHidesTheRangeWarning) {
    rig.panel.visible[Control::Panel2] = true;
    s.AnalyseChannelL();
    EXPECT_TRUE(rig.panel.visible[Control::Panel2]);
    s.AnalyseChannelR();
    EXPECT_FALSE(rig.panel.visible[Control::Panel2]);
}

TEST_F(AnalysisTest, FirstPassBeforeAnyBufferClearsBothChannelsUpToItsSampleCount) {
    s.L.Samples.fill(9);
    s.R.Samples.fill(9);
    s.AnalyseChannelL();
    s.AnalyseChannelR();
    EXPECT_EQ(s.SampleCount, 22100);
    EXPECT_EQ(s.L.Samples[22099], 0);
    EXPECT_EQ(s.R.Samples[22099], 0);
    EXPECT_EQ(s.L.Samples[22100], 9);
}

}  // namespace
