// TAudioMixer on shaped simulated mixers: which lines it recognises, the values it writes, the
// change messages it follows or ignores, its notification target, and its failures.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <typeindex>
#include <utility>
#include <vector>

#include "audio/AudioMixer.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimMixer.h"

namespace {

using audio::TAudioMixer;
using audio::TSource;
using platform::MMResult;
using platform::sim::MixerCall;
using platform::sim::SimControl;
using platform::sim::SimLine;
using platform::sim::SimMixerTree;
using namespace platform::component;
namespace ctl = platform::control;
using Values = std::vector<int32_t>;

constexpr uint32_t kUniform = platform::kControlUniform;
constexpr uint32_t kItems = platform::kControlUniform | platform::kControlMultiple;
constexpr uint32_t kSelf = audio::kDestinationItself;

// Every field given, in order: type, flags, items, minimum, maximum, steps, names, item names.
SimControl makeControl(uint32_t type, Values values = {}, uint32_t flags = 0, uint32_t items = 0) {
    return {type, flags, items, 0, 65535, 0, "", "", {}, std::move(values)};
}
SimLine makeLine(uint32_t type, std::vector<SimControl> controls = {}, uint32_t channels = 2) {
    return {type, channels, 0, "", "", std::move(controls)};
}
SimMixerTree makeTree(std::vector<platform::sim::SimDestination> destinations) {
    return {"Simulated Mixer", std::move(destinations)};
}

// Speakers (level, mute; wave output and LINE, each with level and mute), then the recording
// destination (level, a two-item MUX; microphone and LINE, each with a level).
SimMixerTree testCard() {
    const SimControl level = makeControl(ctl::kVolume), mute = makeControl(ctl::kMute, {}, kUniform);
    return makeTree({{makeLine(kDstSpeakers, {level, mute}),
                  {makeLine(kSrcWaveOut, {level, mute}), makeLine(kSrcLine, {level, mute})}},
                 {makeLine(kDstWaveIn, {level, makeControl(ctl::kMux, {}, kItems, 2)}),
                  {makeLine(kSrcMicrophone, {level}), makeLine(kSrcLine, {level})}}});
}
// A single destination whose own line carries the controls.
SimMixerTree oneLineTree(std::vector<SimControl> controls, uint32_t channels = 2) {
    return makeTree({{makeLine(kDstWaveIn, std::move(controls), channels), {}}});
}

struct Rig {
    explicit Rig(std::vector<SimMixerTree> trees = {testCard()}) : sim(std::move(trees)) {
        mixer.OnMixerControlChange = [this](TAudioMixer* sender, uint32_t d, uint32_t s,
                                            uint32_t c) {
            EXPECT_EQ(sender, &mixer);
            events.push_back({d, s, c});
        };
        mixer.OnMixerLineChange = [this](TAudioMixer*, uint32_t d, uint32_t s) {
            events.push_back({d, s, kLine});
        };
    }
    TSource& lineAt(uint32_t d, int32_t s) {
        auto& destination = *mixer.Destinations.at(d);
        return s < 0 ? destination : *destination.Sources.at(static_cast<size_t>(s));
    }
    static constexpr uint32_t kLine = 99;  // the C of a line change event

    platform::MessageLoop loop;
    platform::sim::SimMixer sim;
    TAudioMixer mixer{sim, loop};
    std::vector<std::array<uint32_t, 3>> events;
};

// Every reference that is set, in declaration order: "Name=D" or "Name=D.S@SourceIndex".
std::string referencesOf(TAudioMixer& m) {
    const char* const names[] = {"Record",      "WaveOut",      "CDPlay",        "CDRecord",
                                 "Synthesizer", "LinePlay",     "LineRecord",    "MicPlay",
                                 "MicRecord",   "PCSpeaker",    "AuxPlay",       "AuxRecord",
                                 "AnalogPlay",  "AnalogRecord", "TelephonePlay", "TelephoneRecord",
                                 "Speakers",    "Voice"};
    const TSource* const refs[] = {
        m.RecordDestination,   m.WaveOut,         m.CDPlay,        m.CDRecord,
        m.Synthesizer,         m.LinePlay,        m.LineRecord,    m.MicPlay,
        m.MicRecord,           m.PCSpeaker,       m.AuxPlay,       m.AuxRecord,
        m.AnalogPlay,          m.AnalogRecord,    m.TelephonePlay, m.TelephoneRecord,
        m.SpeakersDestination, m.VoiceDestination};
    std::string out;
    for (size_t i = 0; i < std::size(refs); ++i) {
        for (size_t d = 0; d < m.Destinations.size(); ++d) {
            auto& sources = m.Destinations[d]->Sources;
            if (refs[i] == m.Destinations[d].get())
                out += names[i] + ("=" + std::to_string(d) + " ");
            for (size_t s = 0; s < sources.size(); ++s) {
                if (refs[i] != sources[s].get()) continue;
                out += names[i] + ("=" + std::to_string(d) + "." + std::to_string(s) + "@" +
                                   std::to_string(sources[s]->SourceIndex) + " ");
            }
        }
    }
    return out;
}

TEST(MixerComponent, LinesTakeTheirSideFromTheDestinationsReadBefore) {
    const std::pair<SimMixerTree, std::string> cases[] = {
        {makeTree({{makeLine(kDstSpeakers),
                {makeLine(kSrcWaveOut), makeLine(kSrcSynthesizer), makeLine(kSrcLine), makeLine(kSrcMicrophone),
                 makeLine(kSrcCompactDisc), makeLine(kSrcPcSpeaker)}},
               {makeLine(kDstWaveIn), {makeLine(kSrcMicrophone), makeLine(kSrcLine), makeLine(kSrcAuxiliary)}}}),
         "Record=1 WaveOut=0.0@0 CDPlay=0.4@0 Synthesizer=0.1@0 LinePlay=0.2@0 LineRecord=1.1@1 "
         "MicPlay=0.3@0 MicRecord=1.0@0 PCSpeaker=0.5@0 AuxRecord=1.2@2 Speakers=0 "},
        {makeTree({{makeLine(kDstWaveIn),
                {makeLine(kSrcLine), makeLine(kSrcMicrophone), makeLine(kSrcCompactDisc), makeLine(kSrcTelephone),
                 makeLine(kSrcAuxiliary), makeLine(kSrcAnalog), makeLine(kSrcSynthesizer), makeLine(kSrcAnalog)}},
               {makeLine(kDstHeadphones), {makeLine(kSrcWaveOut), makeLine(kSrcMicrophone)}},
               {makeLine(kDstSpeakers), {}},
               {makeLine(kDstVoiceIn), {}}}),
         "Record=0 WaveOut=1.0@0 CDRecord=0.2@2 LineRecord=0.0@0 MicRecord=0.1@1 AuxRecord=0.4@4 "
         "AnalogRecord=0.5@5 TelephoneRecord=0.3@3 Speakers=1 Voice=3 "},
    };
    for (const auto& [tree, references] : cases) {
        Rig rig({tree});
        rig.mixer.Open();
        EXPECT_EQ(referencesOf(rig.mixer), references);
    }
}

TEST(MixerComponent, LineWithoutLevelOrSelectorHasNoVolumeAndSelectsNothing) {
    const SimControl mux = makeControl(ctl::kMux, {}, kItems, 2);
    const std::pair<std::vector<SimControl>, std::optional<MixerCall>> cases[] = {
        {{}, {}},
        {{makeControl(ctl::kMute, {}, kUniform)}, {}},
        {{makeControl(ctl::kBass), makeControl(ctl::kTreble)}, {}},
        {{makeControl(ctl::kVolume), mux}, MixerCall::LineControls},  // descriptions unreadable
        {{makeControl(ctl::kVolume), mux}, MixerCall::LineInfo},      // the line unreadable
    };
    for (const auto& [controls, failing] : cases) {
        Rig rig({oneLineTree(controls)});
        if (failing) rig.sim.failNext(*failing, MMResult::Error);
        rig.mixer.Open();
        TSource& line = rig.lineAt(0, -1);
        EXPECT_EQ(line.Valid, failing != MixerCall::LineInfo);
        EXPECT_EQ(line.Volume(), nullptr);
        line.SelectSource(0);
        EXPECT_EQ(rig.sim.writes(), 0);
        for (const auto& c : line.Controls) EXPECT_EQ(c->Valid, !failing);
        EXPECT_EQ(line.Controls.empty(), controls.empty() || failing == MixerCall::LineInfo);
    }
}

// A MUX is written through SelectSource; another multiple-item control through its item.
TEST(MixerComponent, ChosenItemTakesMaximumOthersFollowTheType) {
    constexpr int32_t kMax = 65535;  // the controls' maximum
    const std::tuple<uint32_t, uint32_t, Values> cases[] = {
        {ctl::kMux, 0, {kMax, 0, 0, 0}},
        {ctl::kMux, 1, {0, kMax, 0, 0}},
        {ctl::kMux, 3, {0, 0, 0, kMax}},
        {ctl::kMux, 4, {1, 1, 2, 2}},  // no item 4: no write
        {ctl::kMixer, 1, {1, kMax, 2, 2}}};
    for (const auto& [type, item, after] : cases) {
        Rig rig({oneLineTree({makeControl(type, {1, 1, 2, 2}, kItems, 4)})});
        rig.mixer.Open();
        if (type == ctl::kMux) {
            rig.lineAt(0, -1).SelectSource(item);
        } else {
            rig.lineAt(0, -1).Controls[0]->Values.at(item).SetLeft(kMax);
        }
        EXPECT_EQ(rig.sim.values(0, rig.sim.controlId(0, 0, -1, 0)), after) << item;
        EXPECT_EQ(rig.sim.writes(), item < 4 ? 1 : 0);
    }
}

TEST(MixerComponent, LeftAndRightGoWhereTheLineHasChannels) {
    struct Case {
        uint32_t channels, flags;
        Values before, written, outside;   // written: by SetLeft(10), SetRight(20)
        std::pair<int32_t, int32_t> read;  // Left, Right after the outside change
    };
    const Case cases[] = {{2, 0, {5, 5}, {10, 20}, {30, 40}, {30, 40}},
                          {2, kUniform, {5}, {10}, {30}, {30, 30}},
                          {1, 0, {5}, {10}, {30}, {30, 30}},
                          {4, 0, {5, 5, 5, 5}, {10, 20, 10, 20}, {30, 40, 50, 60}, {30, 40}}};
    for (const Case& c : cases) {
        Rig rig({oneLineTree({makeControl(ctl::kVolume, c.before, c.flags)}, c.channels)});
        rig.mixer.Open();
        audio::TVolume& volume = *rig.lineAt(0, -1).Volume();
        volume.SetLeft(10);
        volume.SetRight(20);
        const uint32_t id = rig.sim.controlId(0, 0, -1, 0);
        EXPECT_EQ(rig.sim.values(0, id), c.written) << c.channels << " channels";
        rig.sim.changeValues(0, id, c.outside);
        rig.loop.pump();
        EXPECT_EQ(std::pair(volume.Left, volume.Right), c.read) << c.channels << " channels";
    }
}

// An item's Left and Right are its values on the two channels of a selection that has them.
TEST(MixerComponent, ItemsOfATwoChannelSelectionReadBothChannels) {
    Rig rig({oneLineTree({makeControl(ctl::kMux, {1, 0, 0, 1, 0, 0}, platform::kControlMultiple, 3)}, 2)});
    rig.mixer.Open();
    const uint32_t id = rig.sim.controlId(0, 0, -1, 0);
    rig.sim.changeValues(0, id,
                         {0, 1, 0, 0, 0, 1});  // item 1 on the first channel, 2 on the second
    rig.loop.pump();
    const std::vector<audio::TVolume>& items = rig.lineAt(0, -1).Controls[0]->Values;
    std::vector<std::pair<int32_t, int32_t>> read;
    for (const audio::TVolume& item : items) read.emplace_back(item.Left, item.Right);
    EXPECT_EQ(read, (std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {1, 0}, {0, 1}}));
    // Selecting writes the item on both.
    rig.lineAt(0, -1).SelectSource(0);
    EXPECT_EQ(rig.sim.values(0, id), (Values{65535, 0, 0, 65535, 0, 0}));
}

// A line keeps the reference it was given at open, whichever line changes.
TEST(MixerComponent, ChangeMessageRereadsWhatChangedAndSaysWhere) {
    const std::tuple<uint32_t, int32_t, uint32_t, Values> cases[] = {
        {0, 1, 1, {1}},      // a source's mute
        {1, -1, 1, {1, 0}},  // the destination's MUX
        {0, 1, Rig::kLine, {}},
        {1, 1, Rig::kLine, {}},
        {1, -1, Rig::kLine, {}}};
    for (const auto& [d, s, c, values] : cases) {
        Rig rig;
        rig.mixer.Open();
        const std::string references = referencesOf(rig.mixer);
        if (c == Rig::kLine) {
            rig.sim.changeLine(0, rig.sim.lineId(0, d, s), platform::kLineActive);
        } else {
            rig.sim.changeValues(0, rig.sim.controlId(0, d, s, c), values);
        }
        rig.loop.pump();
        const uint32_t source = s < 0 ? kSelf : static_cast<uint32_t>(s);
        EXPECT_EQ(rig.events, (std::vector<std::array<uint32_t, 3>>{{d, source, c}}));
        if (c == Rig::kLine) {
            EXPECT_TRUE(rig.lineAt(d, s).Active);
        } else {
            EXPECT_EQ(rig.lineAt(d, s).Controls[c]->Values[0].Left, 1);
        }
        EXPECT_EQ(referencesOf(rig.mixer), references);
    }
}

// Only the open device's change messages reach the component, and only while it is open.
TEST(MixerComponent, NotificationTargetExistsExactlyWhileOpen) {
    Rig rig({testCard(), testCard()});
    for (int i = 0; i < 2; ++i) rig.mixer.Open();  // an open mixer is closed first
    EXPECT_EQ(rig.loop.targetCount(), 1u);
    std::unique_ptr<platform::MixerDevice> other;
    ASSERT_EQ(rig.sim.open(0, rig.loop, platform::kNoTarget, other), MMResult::NoError);
    const auto change = platform::messageId(platform::MixerMessage::ControlChange);
    const uint32_t id = rig.sim.controlId(0, 0, 1, 0);
    rig.loop.post(rig.mixer.Manager->Handle(), change, other->identity(), id);
    rig.loop.post(rig.mixer.Manager->Handle(), change + 1, rig.mixer.Handle->identity(), id);
    rig.loop.pump();
    rig.mixer.Close();
    rig.sim.changeValues(0, id, {1, 1});
    rig.loop.pump();
    EXPECT_TRUE(rig.events.empty());
    EXPECT_EQ(rig.loop.targetCount(), 0u);
    EXPECT_EQ(referencesOf(rig.mixer), "");
    EXPECT_TRUE(rig.mixer.Destinations.empty());
    rig.mixer.Open();
    rig.mixer.SetMixerID(1);
    EXPECT_FALSE(rig.mixer.Active);
    EXPECT_EQ(rig.loop.targetCount(), 0u);
}

TEST(MixerComponent, OpenFailuresThrowTheirTextAndLeaveItClosed) {
    // devices, the MixerID asked for (1 is set first where there are two), the failing call
    const std::tuple<size_t, uint32_t, std::optional<MixerCall>, std::type_index, std::string>
        cases[] = {{0, 0, {}, typeid(audio::EMixerID), "No mixer device present in this system."},
                   {2, 2, {}, typeid(audio::EMixerID), "MixerID maximum for this machine: 1"},
                   {2, 1, MixerCall::Capabilities, typeid(audio::EMixerCaps),
                    "Function mixerGetDevCaps failed. Mixer device ID: 1"},
                   {1, 0, MixerCall::Open, typeid(audio::EMixerOpen), "Function mixerOpen failed"}};
    for (const auto& [devices, id, failing, type, text] : cases) {
        Rig rig(std::vector<SimMixerTree>(devices, testCard()));
        if (devices > 1) rig.mixer.SetMixerID(1);
        if (failing) rig.sim.failNext(*failing, MMResult::Error);
        try {
            if (id != rig.mixer.MixerID) rig.mixer.SetMixerID(id);
            rig.mixer.Open();
            ADD_FAILURE() << "no exception: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::type_index(typeid(e)), type);
            EXPECT_EQ(e.what(), text);
        }
        EXPECT_FALSE(rig.mixer.Active);
        EXPECT_EQ(rig.loop.targetCount(), 0u);
        EXPECT_EQ(rig.mixer.MixerID, devices > 1 ? 1u : 0u);
    }
}

TEST(MixerComponent, ControlIsLeftAloneAfterAFailedRead) {
    Rig rig;
    rig.sim.failNext(MixerCall::GetDetails, MMResult::Error);
    rig.mixer.Open();
    audio::TAudioControl& level = *rig.lineAt(0, -1).Controls[0];
    EXPECT_FALSE(level.Valid);
    EXPECT_TRUE(rig.lineAt(0, -1).Controls[1]->Valid);
    const Values before = rig.sim.values(0, level.ControlID);
    level.Values[0].SetLeft(9);
    EXPECT_EQ(rig.sim.values(0, level.ControlID), before) << "written";
    rig.sim.changeValues(0, level.ControlID, {5, 5});
    rig.loop.pump();
    EXPECT_EQ(level.Values[0].Right, 0) << "read";
}

}  // namespace
