#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "instrument_rig.h"

namespace {

using instrument::ChannelState;
using instrument::Control;
using instrument::Instrument;
using instrument::SampleArray;
using instrument::Word;
using testing_support::fillSquare;
using testing_support::InstrumentRig;

// One channel's measurement through its named entry points, with the read-out it writes.
struct ChannelUnderTest {
    const char* name;
    Control readout;
    ChannelState Instrument::*channel;
    // The named entry points, as plain functions: GCC's alignment check misfires on calls through
    // pointers to member functions here.
    void (*measureFrequency)(Instrument&);
    void (*measurePeriod)(Instrument&);
    void (*findFirstPositive)(Instrument&);
};

const ChannelUnderTest kChannelL{"L",
                                 Control::Edit12,
                                 &Instrument::L,
                                 [](Instrument& s) { s.MeasureFrequencyL(); },
                                 [](Instrument& s) { s.MeasurePeriodL(); },
                                 [](Instrument& s) { s.FindFirstPositiveL(); }};

const ChannelUnderTest kChannelR{"R",
                                 Control::Edit8,
                                 &Instrument::R,
                                 [](Instrument& s) { s.MeasureFrequencyR(); },
                                 [](Instrument& s) { s.MeasurePeriodR(); },
                                 [](Instrument& s) { s.FindFirstPositiveR(); }};

class FrequencyTest : public ::testing::TestWithParam<ChannelUnderTest> {
  protected:
    FrequencyTest() {
        s.SampleCount = 22050;
        s.L.FirstIndex = 0;  // as every redraw leaves it
        s.R.FirstIndex = 1;  // as every idle pass leaves it
        rig.panel.visible[Control::Panel14] = true;
    }

    const ChannelUnderTest& ch() const { return GetParam(); }
    ChannelState& channel() { return s.*ch().channel; }
    SampleArray& samples() { return channel().Samples; }
    SampleArray& envelope() { return channel().Envelope; }
    void measure() { ch().measureFrequency(s); }
    const std::string& readout() { return rig.panel.text[ch().readout]; }
    bool warningShown() { return rig.panel.visible[Control::Panel14]; }

    InstrumentRig rig;
    Instrument& s = rig.scope;
};

std::string channelName(const ::testing::TestParamInfo<ChannelUnderTest>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Channels, FrequencyTest, ::testing::Values(kChannelL, kChannelR),
                         channelName);

TEST_P(FrequencyTest, SlowSquareIsMeasuredInTheCoarsePassToOneHertz) {
    fillSquare(samples(), 441, 10000);
    measure();
    // The edge lies three positions before the third half-wave's first positive sample.
    EXPECT_EQ(channel().PeriodStart, 879);
    EXPECT_EQ(channel().PeriodEnd, 1324);
    EXPECT_DOUBLE_EQ(channel().Freq, 22050.0 / 445.0);
    EXPECT_EQ(readout(), "    50 Hz");
    EXPECT_TRUE(warningShown()) << "the coarse result leaves the warning alone";
}

TEST_P(FrequencyTest, FasterSquareIsMeasuredAgainInTheFinePass) {
    fillSquare(samples(), 22, 10000);
    measure();
    EXPECT_EQ(channel().PeriodStart, 43);
    EXPECT_EQ(channel().PeriodEnd, 67);
    EXPECT_DOUBLE_EQ(channel().Freq, 918.75);
    EXPECT_EQ(readout(), "  920 Hz");
    EXPECT_FALSE(warningShown());
    // The edge values are those of the last position examined: the zero that ended the
    // half-wave, and the envelope one and two fine steps after it.
    EXPECT_EQ(channel().EdgeValue0, 0);
    EXPECT_EQ(channel().EdgeValue1, envelope()[channel().PeriodEnd]);
    EXPECT_EQ(channel().EdgeValue2, envelope()[channel().PeriodEnd + 1u]);

    // The coarse look-ahead and skip on the same envelope give the longer span.
    channel().EdgeStep = 3;
    channel().EdgeSkip = 95;
    ch().measurePeriod(s);
    EXPECT_EQ(channel().PeriodEnd - channel().PeriodStart, 114);
}

struct SquareCase {
    const char* name;
    int halfWave;
    const char* expected;
    bool warningHidden;
};

TEST_P(FrequencyTest, ReadOutRoundingAndLimits) {
    const SquareCase cases[] = {
        // Coarse span 420: 52.5 Hz, shown to 1 Hz with the half to even.
        {"CoarseHalfToEven", 416, "    52 Hz", false},
        // Coarse span 100 (220.5 Hz) sends it to the fine pass; span 98 is 225 Hz, shown to
        // the nearest 10 Hz with the half to even.
        {"FineHalfToEven", 96, "  220 Hz", true},
        // Fine span 9: 2450 Hz, the fastest square still shown.
        {"FastestShown", 7, " 2450 Hz", true},
        // Fine spans of 8 and 7: over the display limit; the warning is left as it was.
        {"SpanOfEight", 6, "  f > fmax", false},
        {"SpanOfSeven", 5, "  f > fmax", false},
    };
    for (const SquareCase& c : cases) {
        SCOPED_TRACE(c.name);
        rig.panel.visible[Control::Panel14] = true;
        fillSquare(samples(), c.halfWave, 10000);
        measure();
        EXPECT_EQ(readout(), c.expected);
        EXPECT_EQ(warningShown(), !c.warningHidden);
    }
}

struct NoEdgeCase {
    const char* name;
    std::function<int32_t(int)> sample;  // value at position k < 11025; zero beyond
};

TEST_P(FrequencyTest, SignalsWithoutARisingEdgeRunTheSearchToItsLimit) {
    const NoEdgeCase cases[] = {
        {"Silence", [](int) { return 0; }},
        {"OneHalfWaveThenNegative", [](int k) { return k < 300 ? 8000 : -8000; }},
        {"AllNegative", [](int) { return -5000; }},
        {"ConstantPositive", [](int) { return 12000; }},
    };
    for (const NoEdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        rig.panel.visible[Control::Panel14] = true;
        samples().fill(0);
        envelope().fill(0);
        for (int k = 0; k < 11025; ++k) samples().set(static_cast<uint32_t>(k), c.sample(k));
        measure();
        EXPECT_EQ(readout(), "  f > fmax");
        EXPECT_TRUE(warningShown());
        // The fine pass: the edge search ends at the limit, the end search 5 + 1 further on.
        EXPECT_EQ(channel().PeriodStart, 19999);
        EXPECT_EQ(channel().PeriodEnd, 20006);
    }
}

struct FollowCase {
    int32_t generatorFrequency;
    const char* expected;
    bool warningHidden;
};

TEST_P(FrequencyTest, FollowingTheGeneratorShowsItsFrequencyWhateverTheInput) {
    const FollowCase cases[] = {
        {440, "  440 Hz", true},  {100, "   100 Hz", false},   {101, "  101 Hz", true},
        {2500, " 2500 Hz", true}, {2501, "  f > fmax", false}, {10000, "  f > fmax", false},
    };
    s.FollowGenerator = 1;
    for (int halfWave : {441, 22, 0}) {
        for (const FollowCase& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << c.generatorFrequency << " Hz, half-wave " << halfWave);
            rig.panel.visible[Control::Panel14] = true;
            if (halfWave == 0) {
                samples().fill(0);
            } else {
                fillSquare(samples(), halfWave, 10000);
            }
            s.GeneratorFrequency = c.generatorFrequency;
            measure();
            EXPECT_EQ(readout(), c.expected);
            EXPECT_EQ(warningShown(), !c.warningHidden);
            EXPECT_EQ(channel().Freq, c.generatorFrequency);
        }
    }
}

struct ThresholdCase {
    double gain;
    int32_t low;  // the envelope settles at this value in the low stretch
    const char* expected;
};

TEST_P(FrequencyTest, EdgeThresholdIsOneOverTheGain) {
    // A high half, a low but positive stretch, a high half, then negative: the only rising edge
    // starts from the settled low value, and only a threshold at or above it finds the edge.
    const ThresholdCase cases[] = {
        {1.0, 30, "  f > fmax"}, {1.0, 2, "  f > fmax"}, {1.0, 1, "  220 Hz"},
        {0.02, 30, "  220 Hz"},  {0.02, 50, "  220 Hz"}, {0.02, 51, "  f > fmax"},
    };
    for (const ThresholdCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "gain " << c.gain << ", low " << c.low);
        samples().fill(0);
        for (int k = 0; k < 11025; ++k) {
            const int32_t value = k < 100 ? 10000 : k < 400 ? c.low : k < 500 ? 10000 : -10000;
            samples().set(static_cast<uint32_t>(k), value);
        }
        channel().Gain = c.gain;
        measure();
        EXPECT_EQ(readout(), c.expected);
        if (std::string(c.expected) != "  f > fmax") {
            EXPECT_EQ(channel().PeriodStart, 399);
            EXPECT_EQ(channel().PeriodEnd, 501);
        }
    }
}

TEST_P(FrequencyTest, ANegativeSeedCountsAsALargeEnvelopeValue) {
    // No positive sample: the search starts at the position left by the pass, where the trigger
    // left a negative seed. Read as unsigned it is no low point, so there is no edge.
    samples().fill(0);
    envelope().fill(0);
    channel().FirstIndex = 1;
    envelope().set(1, -5000);
    measure();
    EXPECT_EQ(channel().FirstIndex, 1);
    EXPECT_EQ(readout(), "  f > fmax");
}

struct FirstPositiveCase {
    const char* name;
    int32_t sampleCount;
    uint32_t position;  // where the only positive sample is
    Word expectedFirst;
};

TEST_P(FrequencyTest, FirstPositiveSearchCoversOneToSampleCountInclusive) {
    const FirstPositiveCase cases[] = {
        {"PositionZeroIsSkipped", 22050, 0, 7},    {"PositionOne", 22050, 1, 1},
        {"LastPosition", 100, 100, 100},           {"BeyondSampleCount", 100, 101, 7},
        {"NothingWhenSampleCountIsZero", 0, 1, 7},
    };
    for (const FirstPositiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        samples().fill(-1);
        envelope().fill(-9);
        samples().set(c.position, 321);
        s.SampleCount = c.sampleCount;
        channel().FirstIndex = 7;
        ch().findFirstPositive(s);
        EXPECT_EQ(channel().FirstIndex, c.expectedFirst);
        EXPECT_EQ(envelope()[c.expectedFirst], c.expectedFirst == 7 ? -9 : 321) << "the seed";
    }
}

// The envelope as the formula reads, in double: the reference for the envelope build.
std::vector<int32_t> referenceEnvelope(const SampleArray& samples, int first, int32_t seed,
                                       int sampleCount) {
    std::vector<int32_t> envelope(static_cast<size_t>(sampleCount) + 1, 0);
    envelope[static_cast<size_t>(first)] = seed;
    for (int i = first + 1; i <= sampleCount; ++i) {
        const int32_t sample = samples[static_cast<uint32_t>(i)];
        const double previous = envelope[static_cast<size_t>(i - 1)];
        envelope[static_cast<size_t>(i)] =
            sample >= 0 ? static_cast<int32_t>(sample / 16.0 + previous - previous / 16.0) : 0;
    }
    return envelope;
}

TEST_P(FrequencyTest, EnvelopeMatchesTheFormulaComputedInDouble) {
    std::mt19937 random(20240611);  // fixed seed
    std::uniform_int_distribution<int32_t> value(-32768, 32767);
    std::uniform_int_distribution<int> runLength(1, 300);
    std::uniform_int_distribution<int> kind(0, 3);

    // Runs of positive, negative, zero and mixed values, then the zero tail.
    samples().fill(0);
    for (int k = 0; k < 11025;) {
        const int length = runLength(random);
        const int runKind = kind(random);
        for (int j = 0; j < length && k < 11025; ++j, ++k) {
            int32_t v = value(random);
            if (runKind == 0) v = v < 0 ? -v - 1 : v;  // positive half-wave
            if (runKind == 1) v = v > 0 ? -v : v;      // negative half-wave
            if (runKind == 2) v = 0;                   // silence
            samples().set(static_cast<uint32_t>(k), v);
        }
    }
    samples().set(1, 1000);  // the first positive sample, so the build starts at position 2
    measure();
    const auto expected = referenceEnvelope(samples(), 1, 1000, 22050);
    for (uint32_t i = 1; i <= 22050; ++i) ASSERT_EQ(envelope()[i], expected[i]) << "position " << i;
}

}  // namespace
