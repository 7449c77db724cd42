// The ALSA mixer backend against alsa-lib itself: a card of the tests' own (testcard.h) with the
// elements of a classic card, opened by name through the driver. The pure pieces (component types
// from names, the card behind a PCM name, level scaling) are checked case by case. What every
// backend must do (refusals, read-back, change messages) is mixer_contract_test's; here is what
// the card's elements hold and how the tree is built from them.

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/MixerDriver.h"
#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/alsa/AlsaMixerTree.h"
#include "platform/alsa/AlsaMixerValues.h"
#include "testcard.h"

namespace {

using namespace platform;
using platform::alsa::AlsaMixerDriver;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new testcard::Environment);

// ---- Pure pieces ----

TEST(AlsaMixerNames, SourcesAreTypedByTheWordsOfTheirNames) {
    const std::vector<std::pair<const char*, uint32_t>> cases{
        {"PCM", component::kSrcWaveOut},
        {"Line", component::kSrcLine},
        {"Line In", component::kSrcLine},
        {"Mic", component::kSrcMicrophone},
        {"Front Mic", component::kSrcMicrophone},
        {"CD", component::kSrcCompactDisc},
        {"Aux", component::kSrcAuxiliary},
        {"Phone", component::kSrcTelephone},
        {"PC Speaker", component::kSrcPcSpeaker},
        {"Beep", component::kSrcPcSpeaker},
        {"Synth", component::kSrcSynthesizer},
        {"Video", component::kSrcAnalog},
        {"Analog", component::kSrcAnalog},
        {"Headphone", component::kSrcUndefined},
        {"Line Boost", component::kSrcUndefined},
        {"Mic Boost (+20dB)", component::kSrcUndefined},
        {"Front Mic Boost", component::kSrcUndefined},
        {"Micro", component::kSrcUndefined},
        {"IEC958", component::kSrcUndefined},
        {"", component::kSrcUndefined},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(alsa::componentForName(name), expected) << '"' << name << '"';
    }
}

TEST(AlsaMixerNames, TheCardBehindAPcmName) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {"hw:1", "hw:1"},
        {"hw:1,0", "hw:1"},
        {"plughw:1,0", "hw:1"},
        {"plughw:2,0,1", "hw:2"},
        {"hw:CARD=Intel", "hw:CARD=Intel"},
        {"plughw:CARD=Intel,DEV=0", "hw:CARD=Intel"},
        {"plughw:DEV=0,CARD=Intel", "hw:CARD=Intel"},
        {"sysdefault:CARD=PCH", "hw:CARD=PCH"},
        {"dsnoop:1", "hw:1"},
        {"hw:Intel", "hw:Intel"},
        {"hw:\"Intel\"", "hw:Intel"},
        // No card named.
        {"default", nullptr},
        {"pulse", nullptr},
        {"plug:dsnoop", nullptr},
        {"hw:", nullptr},
        {"hw:DEV=0", nullptr},
        {"hw:CARD=", nullptr},
        {"soundscope_capture_file", nullptr},
    };
    for (const auto& [pcm, expected] : cases) {
        const std::optional<std::string> card = alsa::cardControlName(pcm);
        if (expected == nullptr) {
            EXPECT_FALSE(card.has_value()) << pcm << " -> " << card.value_or("");
        } else {
            EXPECT_EQ(card.value_or("(none)"), expected) << pcm;
        }
    }
    // A card named is taken as it is, whether there or not.
    EXPECT_EQ(alsa::mixerDeviceFor("plughw:7,0"), "hw:7");
}

// Every raw position of an element comes back from its level, the ends are the level's ends, and
// a level goes to the nearest position (the reference: the position whose level is closest). A
// range wider than the levels (a sound server's 0..65536) keeps every position but those of its
// first level, PulseAudio's 50 % among them, and a level goes within one position.
TEST(AlsaMixerLevels, ScalingRoundsToNearestBothWays) {
    const std::vector<std::pair<long, long>> ranges{
        {0, 1}, {0, 31}, {0, 255}, {-6000, 0}, {0, 65535}, {0, 65536}, {7, 7}, {-100, 99999}};
    for (const auto& [min, max] : ranges) {
        SCOPED_TRACE(std::to_string(min) + ".." + std::to_string(max));
        const bool wide = max - min > alsa::kLevelMax;
        EXPECT_EQ(alsa::levelFromRaw(min, min, max), 0);
        EXPECT_EQ(alsa::levelFromRaw(max, min, max), max > min ? alsa::kLevelMax : 0);
        EXPECT_EQ(alsa::rawFromLevel(0, min, max), min);
        EXPECT_EQ(alsa::rawFromLevel(alsa::kLevelMax, min, max), max);
        const long firstLevelWidth = wide ? (max - min + alsa::kLevelMax - 1) / alsa::kLevelMax : 0;
        if (max - min <= alsa::kLevelMax + 1) {
            for (long raw = min + firstLevelWidth; raw <= max; ++raw) {
                ASSERT_EQ(alsa::rawFromLevel(alsa::levelFromRaw(raw, min, max), min, max), raw);
            }
        }
        for (int32_t level = 0; level <= alsa::kLevelMax; level += 97) {
            const long raw = alsa::rawFromLevel(level, min, max);
            const double exact = min + double(level) * double(max - min) / alsa::kLevelMax;
            ASSERT_LE(std::abs(double(raw) - exact), wide ? 1.0 : 0.5) << level;
        }
    }
    EXPECT_EQ(alsa::rawFromLevel(alsa::levelFromRaw(32768, 0, 65536), 0, 65536), 32768);
    // Out of range is clamped.
    EXPECT_EQ(alsa::rawFromLevel(-5, 0, 31), 0);
    EXPECT_EQ(alsa::rawFromLevel(70000, 0, 31), 31);
    EXPECT_EQ(alsa::levelFromRaw(40, 0, 31), alsa::kLevelMax);
}

// ---- The test card ----

class Messages : public MessageTarget {
  public:
    struct Message {
        uint32_t id;
        uintptr_t param1, param2;
    };
    void handleMessage(uint32_t id, uintptr_t p1, uintptr_t p2) override {
        received.push_back({id, p1, p2});
    }
    std::vector<Message> received;
};

// The card's mixer, open, with its tree read through the service.
struct OpenCard {
    explicit OpenCard(const char* card) : driver(card) {
        notify = loop.registerTarget(&messages);
        EXPECT_EQ(driver.deviceCount(), 1u) << driver.errorText(MMResult::BadDeviceId);
        EXPECT_EQ(driver.open(0, loop, notify, device), MMResult::NoError)
            << driver.errorText(MMResult::Error);
    }
    ~OpenCard() { loop.unregisterTarget(notify); }

    struct Line {
        MixerLine info;
        std::vector<MixerControl> controls;
    };
    Line line(uint32_t destination, int32_t source) const {
        Line l;
        EXPECT_EQ(device->lineInfo(destination, source, l.info), MMResult::NoError);
        EXPECT_EQ(device->lineControls(l.info.lineId, l.info.controls, l.controls),
                  MMResult::NoError);
        return l;
    }
    // The source called `name` of a destination.
    Line source(uint32_t destination, const std::string& name) const {
        const Line d = line(destination, -1);
        for (uint32_t s = 0; s < d.info.connections; ++s) {
            Line l = line(destination, static_cast<int32_t>(s));
            if (l.info.name == name) return l;
        }
        ADD_FAILURE() << "no source " << name << " in destination " << destination;
        return {};
    }
    static MixerControl control(const Line& l, uint32_t type) {
        const auto it = std::find_if(l.controls.begin(), l.controls.end(),
                                     [type](const MixerControl c) { return c.type == type; });
        EXPECT_NE(it, l.controls.end()) << l.info.name << " has no control of type " << type;
        return it != l.controls.end() ? *it : MixerControl{};
    }

    std::vector<int32_t> get(const MixerControl c, uint32_t channels) const {
        std::vector<int32_t> values(channels * std::max(c.items, 1u));
        EXPECT_EQ(device->getDetails({c.controlId, channels, c.items, values}), MMResult::NoError)
            << driver.errorText(MMResult::InvalidParam) << driver.errorText(MMResult::Error);
        return values;
    }
    MMResult set(const MixerControl c, std::vector<int32_t> values) const {
        const auto channels = static_cast<uint32_t>(values.size() / std::max(c.items, 1u));
        return device->setDetails({c.controlId, channels, c.items, values});
    }

    // Pumps until a message of `id` with param2 `param2` arrives or a second has passed.
    bool waitFor(MixerMessage id, uint32_t param2) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        for (;;) {
            loop.pump();
            for (const Messages::Message& m : messages.received) {
                if (m.id == messageId(id) && m.param1 == device->identity() && m.param2 == param2) {
                    return true;
                }
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd fd{loop.wakeFd(), POLLIN, 0};
            ::poll(&fd, 1, 10);
        }
    }

    MessageLoop loop;
    Messages messages;
    TargetId notify = kNoTarget;
    AlsaMixerDriver driver;
    std::unique_ptr<MixerDevice> device;
};

class AlsaMixerCard : public ::testing::Test {
  protected:
    void SetUp() override { testcard::Environment::reset(); }
};

// A line as the tests read it: "name component channels, control types", e.g. "Mic 1003 1, V M"
// (V volume, M mute, X MUX).
std::string describe(const OpenCard::Line& l) {
    std::ostringstream out;
    out << l.info.name << ' ' << std::hex << l.info.componentType << std::dec << ' '
        << l.info.channels << ',';
    for (const MixerControl& c : l.controls) {
        out << (c.type == control::kVolume ? " V" : c.type == control::kMute ? " M" : " X");
    }
    return out.str();
}

struct TreeCase {
    const char* name;
    const char* card;
    std::vector<std::string> speakers;   // the speakers destination, then its sources
    std::vector<std::string> recording;  // the recording destination, then its sources
    std::vector<std::string> muxItems;   // in the card's order; none without a MUX
    uint32_t muxChannels;                // values per item: one per channel of the selection
};

void PrintTo(const TreeCase& c, std::ostream* os) {
    *os << c.name;
}

class AlsaMixerTreeOf : public AlsaMixerCard, public ::testing::WithParamInterface<TreeCase> {};

TEST_P(AlsaMixerTreeOf, SpeakersAndRecordingWithTheirSourcesTypedByName) {
    const TreeCase& tc = GetParam();
    OpenCard card(tc.card);
    MixerCaps caps;
    ASSERT_EQ(card.driver.capabilities(0, caps), MMResult::NoError);
    EXPECT_EQ(caps.productName, "Soundscope Test Card");
    EXPECT_EQ(caps.destinations, 2u);

    const std::vector<std::vector<std::string>> expected{tc.speakers, tc.recording};
    std::set<uint32_t> ids;  // lines' and controls': nonzero, positive as int32, unique
    for (uint32_t d = 0; d < expected.size(); ++d) {
        std::vector<std::string> lines;
        const OpenCard::Line dst = card.line(d, -1);
        for (int32_t s = -1; s < static_cast<int32_t>(dst.info.connections); ++s) {
            const OpenCard::Line l = card.line(d, s);
            lines.push_back(describe(l));
            EXPECT_EQ(l.info.flags & kLineSource, s < 0 ? 0u : kLineSource);
            EXPECT_EQ(l.info.destination, d);
            EXPECT_TRUE(ids.insert(l.info.lineId).second) << l.info.lineId;
            for (const MixerControl& c : l.controls) {
                EXPECT_TRUE(ids.insert(c.controlId).second) << c.controlId;
            }
        }
        EXPECT_EQ(lines, expected[d]);
    }
    EXPECT_EQ(ids.count(0), 0u);
    EXPECT_GT(static_cast<int32_t>(*ids.rbegin()), 0);

    const OpenCard::Line recording = card.line(1, -1);
    const auto mux = std::find_if(recording.controls.begin(), recording.controls.end(),
                                  [](const MixerControl& c) { return c.type == control::kMux; });
    if (tc.muxItems.empty()) {
        EXPECT_EQ(mux, recording.controls.end());
        return;
    }
    ASSERT_NE(mux, recording.controls.end());
    EXPECT_EQ(mux->flags, kControlMultiple | (tc.muxChannels == 1 ? kControlUniform : 0));
    EXPECT_EQ(mux->itemNames, tc.muxItems);
    EXPECT_EQ(mux->items, tc.muxItems.size());
}

// Exclusive capture switches list their elements in the mixer's order; an enumeration its items;
// independent capture switches their elements, each with a mute per channel. Boosts are no
// source; a card without a selector has no MUX.
const std::vector<std::string> kClassicSpeakers{"Speakers 4 2, V M", "PCM 1008 2, V M",
                                                "Line 1002 2, V M", "CD 1005 2, V M",
                                                "Mic 1003 1, V M"};
INSTANTIATE_TEST_SUITE_P(
    Profiles, AlsaMixerTreeOf,
    ::testing::Values(
        TreeCase{"Ac97CaptureSwitches",
                 testcard::kSwitchCard,
                 kClassicSpeakers,
                 {"Recording 7 2, V X", "Line 1002 2,", "CD 1005 2,", "Mic 1003 2, V"},
                 {"Line", "CD", "Mic"},
                 2},
        TreeCase{"Ac97Enumeration",
                 testcard::kEnumCard,
                 kClassicSpeakers,
                 {"Recording 7 2, V X", "Mic 1003 1, V", "CD 1005 2,", "Line 1002 2,"},
                 {"Mic", "CD", "Line"},
                 2},
        TreeCase{"HdAudio",
                 testcard::kHdaCard,
                 {"Speakers 4 2, V M", "Headphone 1000 2, V M", "PCM 1008 2, V",
                  "Front Mic 1003 2, V M", "Front Mic Boost 1000 2, V", "Line 1002 2, V M",
                  "Line Boost 1000 2, V", "Mic 1003 2, V M", "Mic Boost 1000 2, V"},
                 {"Recording 7 2, V X", "Mic 1003 2,", "Front Mic 1003 2,", "Line 1002 2,",
                  "Front Mic Boost 1000 2, V", "Line Boost 1000 2, V", "Mic Boost 1000 2, V",
                  "Capture 1 1000 2, V M"},
                 {"Mic", "Front Mic", "Line"},
                 1},
        TreeCase{"UsbMicrophone",
                 testcard::kUsbCard,
                 {"Speakers 4 2, V M", "Mic 1003 1, V M", "Auto Gain Control 1000 1, M"},
                 {"Recording 7 2, X", "Mic 1003 1, V M"},
                 {"Mic"},
                 1},
        TreeCase{"IndependentCaptureSwitches",
                 testcard::kSwitchesCard,
                 {"Speakers 4 2, V M", "PCM 1008 2, V M"},
                 {"Recording 7 2, X", "Line 1002 2, V M", "CD 1005 2, V M", "Mic 1003 1, V M"},
                 {"Line", "CD", "Mic"},
                 2},
        TreeCase{"SoundServer",
                 testcard::kServerCard,
                 {"Speakers 4 2, V M"},
                 {"Recording 7 2, V"},
                 {},
                 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AlsaMixerCard, LevelsReachTheElementScaledToItsRangeAndComeBack) {
    OpenCard card(testcard::kSwitchCard);
    const testcard::OtherHandle other(testcard::kSwitchCard);
    struct Case {
        const char* line;
        uint32_t destination;
        const char* element;
        long max;
        std::vector<int32_t> written;
        std::vector<long> raw;
    };
    const std::vector<Case> cases{
        {nullptr, 0, "Master Playback Volume", 31, {65535, 0}, {31, 0}},
        {nullptr, 0, "Master Playback Volume", 31, {32768, 1058}, {16, 1}},  // just past half a
                                                                             // step: up
        {"PCM", 0, "PCM Playback Volume", 255, {257, 65278}, {1, 254}},
        {"Mic", 0, "Mic Playback Volume", 31, {40000}, {19}},
        {nullptr, 1, "Capture Volume", 63, {1040, 2080}, {1, 2}},
        {"Mic", 1, "Mic Capture Volume", 15, {70000}, {15}},            // clamped
        {nullptr, 0, "Master Playback Volume", 31, {30000}, {14, 14}},  // one value: all channels
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element + (" <- " + std::to_string(c.written[0])));
        const OpenCard::Line line =
            c.line == nullptr ? card.line(c.destination, -1) : card.source(c.destination, c.line);
        const MixerControl level = OpenCard::control(line, control::kVolume);
        ASSERT_EQ(card.set(level, c.written), MMResult::NoError);
        EXPECT_EQ(other.read(c.element), c.raw);
        std::vector<int32_t> expected;
        for (long raw : c.raw) expected.push_back(alsa::levelFromRaw(raw, 0, c.max));
        EXPECT_EQ(card.get(level, static_cast<uint32_t>(c.raw.size())), expected);
    }
}

TEST_F(AlsaMixerCard, MuteIsTheInverseOfThePlaybackSwitch) {
    OpenCard card(testcard::kSwitchCard);
    const testcard::OtherHandle other(testcard::kSwitchCard);
    const MixerControl mute = OpenCard::control(card.line(0, -1), control::kMute);
    EXPECT_EQ(card.get(mute, 1), std::vector{0});  // the card starts with Master on
    ASSERT_EQ(card.set(mute, {1}), MMResult::NoError);
    EXPECT_EQ(other.read("Master Playback Switch"), (std::vector<long>{0, 0}));
    ASSERT_EQ(card.set(mute, {0}), MMResult::NoError);
    EXPECT_EQ(other.read("Master Playback Switch"), (std::vector<long>{1, 1}));
    // One channel still on is not muted.
    const MixerControl lineMute = OpenCard::control(card.source(0, "Line"), control::kMute);
    other.write("Line Playback Switch", {0, 1});
    ASSERT_TRUE(card.waitFor(MixerMessage::ControlChange, lineMute.controlId));
    EXPECT_EQ(card.get(lineMute, 1), std::vector{0});
}

// Elements with their values, as the card holds them.
using Raw = std::vector<std::pair<const char*, std::vector<long>>>;

struct SelectCase {
    const char* name;
    const char* card;
    Raw lineOnEveryChannel;  // the elements behind the selection once Line is chosen
    Raw lineAndCd;           // and once channel 0 chooses Line and channel 1 CD
    Raw micOutside;          // what another program writes to choose Mic again
};

void PrintTo(const SelectCase& c, std::ostream* os) {
    *os << c.name;
}

class AlsaMixerSelect : public AlsaMixerCard, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(AlsaMixerSelect, LineIsChosenAndReadBackOnEveryChannel) {
    const SelectCase& sc = GetParam();
    OpenCard card(sc.card);
    const testcard::OtherHandle other(sc.card);
    const MixerControl mux = OpenCard::control(card.line(1, -1), control::kMux);
    const uint32_t channels = (mux.flags & kControlUniform) != 0 ? 1 : 2;
    const auto oneHot = [&](std::vector<const char*> perChannel) {
        std::vector<int32_t> values;
        for (const char* name : perChannel) {
            for (const std::string& item : mux.itemNames) values.push_back(item == name ? 1 : 0);
        }
        return values;
    };
    const auto held = [&](const Raw& raw) {
        for (const auto& [element, values] : raw) EXPECT_EQ(other.read(element), values) << element;
    };
    const std::vector<const char*> line(channels, "Line");

    // One channel written sets every channel; all of them read back.
    ASSERT_EQ(card.set(mux, oneHot({"Line"})), MMResult::NoError);
    held(sc.lineOnEveryChannel);
    EXPECT_EQ(card.get(mux, channels), oneHot(line));

    // Another program chooses the microphone; choosing Line at once, before the change has been
    // heard of, still reaches every channel.
    for (const auto& [element, values] : sc.micOutside) other.write(element, values);
    ASSERT_EQ(card.set(mux, oneHot(line)), MMResult::NoError);
    held(sc.lineOnEveryChannel);

    if (channels == 2) {
        ASSERT_EQ(card.set(mux, oneHot({"Line", "CD"})), MMResult::NoError);
        held(sc.lineAndCd);
        EXPECT_EQ(card.get(mux, 2), oneHot({"Line", "CD"}));
        EXPECT_EQ(card.get(mux, 1), oneHot({"Line"})) << "one channel read gives the first";
    }
    // Nothing chosen is refused and changes nothing.
    EXPECT_EQ(card.set(mux, std::vector<int32_t>(mux.items * channels, 0)), MMResult::InvalidParam);
    held(channels == 2 ? sc.lineAndCd : sc.lineOnEveryChannel);
}

// Exclusive capture switches over a two-channel "Capture Source" (whose second channel stayed on
// the microphone once), a two-channel and a mono enumeration, independent capture switches.
INSTANTIATE_TEST_SUITE_P(
    Profiles, AlsaMixerSelect,
    ::testing::Values(
        SelectCase{"Ac97CaptureSwitches",
                   testcard::kSwitchCard,
                   {{"Capture Source", {2, 2}}},
                   {{"Capture Source", {2, 1}}},
                   {{"Capture Source", {0, 0}}}},
        SelectCase{"Ac97Enumeration",
                   testcard::kEnumCard,
                   {{"Input Source", {2, 2}}},
                   {{"Input Source", {2, 1}}},
                   {{"Input Source", {0, 0}}}},
        SelectCase{
            "HdAudio", testcard::kHdaCard, {{"Input Source", {2}}}, {}, {{"Input Source", {0}}}},
        SelectCase{"IndependentCaptureSwitches",
                   testcard::kSwitchesCard,
                   {{"Line Capture Switch", {1, 1}},
                    {"CD Capture Switch", {0, 0}},
                    {"Mic Capture Switch", {0}}},
                   {{"Line Capture Switch", {1, 0}},
                    {"CD Capture Switch", {0, 1}},
                    {"Mic Capture Switch", {0}}},
                   {{"Line Capture Switch", {0, 0}}, {"Mic Capture Switch", {1}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AlsaMixerCard, IndependentCaptureSwitchesHaveAMutePerChannel) {
    OpenCard card(testcard::kSwitchesCard);
    const testcard::OtherHandle other(testcard::kSwitchesCard);
    const MixerControl mute = OpenCard::control(card.source(1, "Line"), control::kMute);
    EXPECT_EQ(mute.flags, 0u);
    EXPECT_EQ(card.get(mute, 2), (std::vector<int32_t>{1, 0}));  // the card starts L off, R on
    ASSERT_EQ(card.set(mute, {0, 1}), MMResult::NoError);
    EXPECT_EQ(other.read("Line Capture Switch"), (std::vector<long>{1, 0}));
    ASSERT_EQ(card.set(mute, {1}), MMResult::NoError);
    EXPECT_EQ(other.read("Line Capture Switch"), (std::vector<long>{0, 0}));
}

TEST_F(AlsaMixerCard, ChangesFromOutsidePostControlChangesForTheirControls) {
    OpenCard card(testcard::kSwitchCard);
    const testcard::OtherHandle other(testcard::kSwitchCard);
    const MixerControl cdLevel = OpenCard::control(card.source(0, "CD"), control::kVolume);
    const MixerControl mux = OpenCard::control(card.line(1, -1), control::kMux);
    const MixerControl capture = OpenCard::control(card.line(1, -1), control::kVolume);

    other.write("CD Playback Volume", {31, 0});
    ASSERT_TRUE(card.waitFor(MixerMessage::ControlChange, cdLevel.controlId));
    EXPECT_EQ(card.get(cdLevel, 2), (std::vector<int32_t>{65535, 0}));

    // CD is one of the MUX's items too, so the MUX's change came with it; the next must be new.
    ASSERT_TRUE(card.waitFor(MixerMessage::ControlChange, mux.controlId));
    card.messages.received.clear();
    other.write("Capture Source", {1});  // CD
    ASSERT_TRUE(card.waitFor(MixerMessage::ControlChange, mux.controlId));
    EXPECT_EQ(card.get(mux, 1), (std::vector<int32_t>{0, 1, 0}));

    // Only what changed: the capture level's element was left alone.
    for (const Messages::Message& m : card.messages.received) {
        EXPECT_NE(m.param2, capture.controlId);
        EXPECT_EQ(m.param1, card.device->identity());
    }
}

TEST_F(AlsaMixerCard, DeviceVolumesAreThePlaybackLevelsOfTheirElements) {
    AlsaMixerDriver driver(testcard::kSwitchCard);
    const testcard::OtherHandle other(testcard::kSwitchCard);
    uint32_t volume = 0;
    ASSERT_EQ(driver.waveOutVolume(volume), MMResult::NoError);
    EXPECT_EQ(volume, 0x80808080u);  // PCM at 128 of 255
    ASSERT_EQ(driver.setWaveOutVolume(0xFFFF0000u), MMResult::NoError);
    EXPECT_EQ(other.read("PCM Playback Volume"), (std::vector<long>{0, 255}));

    // A change made elsewhere is read, not the value the driver saw before.
    other.write("CD Playback Volume", {31, 0});
    ASSERT_EQ(driver.auxVolume(aux::kCompactDisc, volume), MMResult::NoError);
    EXPECT_EQ(volume, 0x0000FFFFu);
    ASSERT_EQ(driver.setAuxVolume(aux::kLine, 0x0000FFFFu), MMResult::NoError);
    EXPECT_EQ(other.read("Line Playback Volume"), (std::vector<long>{31, 0}));
    ASSERT_EQ(driver.auxVolume(aux::kMicrophone, volume), MMResult::NoError);
    EXPECT_EQ(volume, 0x294A'294Au);  // mono: 5 of 31 (10570.2), in both words

    for (const uint32_t missing : {0u, aux::kAuxiliary, aux::kVideo, 6u}) {
        SCOPED_TRACE(missing);
        EXPECT_EQ(driver.auxVolume(missing, volume), MMResult::BadDeviceId);
        EXPECT_EQ(driver.setAuxVolume(missing, 0), MMResult::BadDeviceId);
    }
    EXPECT_NE(driver.errorText(MMResult::BadDeviceId).find("auxiliary device 6"),
              std::string::npos);
}

TEST(AlsaMixerDriver, AMixerThatCannotBeOpenedIsNoDevice) {
    AlsaMixerDriver driver("soundscope_no_such_mixer");
    EXPECT_EQ(driver.deviceCount(), 0u);
    MixerCaps caps;
    EXPECT_EQ(driver.capabilities(0, caps), MMResult::BadDeviceId);
    MessageLoop loop;
    std::unique_ptr<MixerDevice> device;
    EXPECT_EQ(driver.open(0, loop, kNoTarget, device), MMResult::BadDeviceId);
    EXPECT_EQ(device, nullptr);
    uint32_t volume = 0;
    EXPECT_EQ(driver.waveOutVolume(volume), MMResult::BadDeviceId);
    // After any call, the text says why there is no mixer, alsa-lib's reason included.
    const std::string text = driver.errorText(MMResult::BadDeviceId);
    EXPECT_NE(text.find("snd_mixer_attach(\"soundscope_no_such_mixer\"): No such file or directory "
                        "(alsa-lib: Invalid CTL soundscope_no_such_mixer)"),
              std::string::npos)
        << text;
}

}  // namespace
