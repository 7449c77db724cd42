// The mixer service's contract, run against each backend: the line tree of a test card as lineInfo
// and lineControls give it, the refusals, values read and written, the change messages and the
// device volumes. Whatever the mixer component may rely on of one backend, it may of the other.
//
// A backend joins with one traits struct, added to Backends, that gives:
//   kName                          the instantiation's name;
//   kPresentAux, kMissingAux       an auxiliary volume device the card has, and one it lacks;
//   MixerDriver& driver()          whose device 0 shows kTestCard;
//   changeFromOutside(id, values)  sets a level's or a mute's values (all channels, channel-major)
//                                  as another program would;
//   letTimePass(MessageLoop&)      waits a short while for change messages, returning when the
//                                  loop has one; the suite gives up after 5 s.
// Levels are written at their bounds only, which survive any scaling a backend applies.

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/MixerDriver.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/alsa/AlsaMixerValues.h"
#include "platform/sim/SimMixer.h"
#include "testcard.h"

namespace {

using namespace platform;
namespace ct = platform::control;
namespace cp = platform::component;

struct LineShape {
    uint32_t componentType;
    const char* name;  // the short name
    uint32_t channels;
    std::vector<uint32_t> controls;  // their types, in order
};
struct DestinationShape {
    LineShape line;
    std::vector<LineShape> sources;  // also the items of a MUX on the destination
};
// The test card (testcard.h, recording source chosen by two-channel capture switches), in
// lineInfo's order.
const std::vector<DestinationShape> kTestCard = {
    {{cp::kDstSpeakers, "Speakers", 2, {ct::kVolume, ct::kMute}},
     {{cp::kSrcWaveOut, "PCM", 2, {ct::kVolume, ct::kMute}},
      {cp::kSrcLine, "Line", 2, {ct::kVolume, ct::kMute}},
      {cp::kSrcCompactDisc, "CD", 2, {ct::kVolume, ct::kMute}},
      {cp::kSrcMicrophone, "Mic", 1, {ct::kVolume, ct::kMute}}}},
    {{cp::kDstWaveIn, "Recording", 2, {ct::kVolume, ct::kMux}},
     {{cp::kSrcLine, "Line", 2, {}},
      {cp::kSrcCompactDisc, "CD", 2, {}},
      {cp::kSrcMicrophone, "Mic", 2, {ct::kVolume}}}},
};

const auto* const kTestCardEnvironment =
    ::testing::AddGlobalTestEnvironment(new testcard::Environment);

// The simulated mixer shaped as the test card, its long names longer than their fields.
struct SimulatedMixer {
    static constexpr const char* kName = "SimulatedMixer";
    static constexpr uint32_t kPresentAux = aux::kLine, kMissingAux = aux::kVideo;

    static sim::SimLine line(const LineShape& shape, const std::vector<LineShape>& items) {
        sim::SimLine line;
        line.componentType = shape.componentType;
        line.channels = shape.channels;
        line.shortName = shape.name;
        line.name = line.shortName + std::string(kMixerNameChars, '+');
        for (uint32_t type : shape.controls) {
            sim::SimControl& c = line.controls.emplace_back();
            c.type = type;
            c.shortName = c.name = line.name;
            if (type == ct::kVolume) continue;
            c.flags = kControlUniform | (type == ct::kMux ? kControlMultiple : 0);
            c.maximum = 1;
            if (type != ct::kMux) continue;
            c.items = static_cast<uint32_t>(items.size());
            for (const LineShape& item : items) c.itemNames.emplace_back(item.name);
        }
        return line;
    }
    static sim::SimMixerTree tree() {
        sim::SimMixerTree tree{std::string(kMixerProductNameChars, 'P'), {}};
        for (const DestinationShape& d : kTestCard) {
            tree.destinations.push_back({line(d.line, d.sources), {}});
            for (const LineShape& s : d.sources)
                tree.destinations.back().sources.push_back(line(s, {}));
        }
        return tree;
    }

    SimulatedMixer() { mixer.setVolumeDevice(kMissingAux, std::nullopt); }
    MixerDriver& driver() { return mixer; }
    void changeFromOutside(uint32_t id, std::vector<int32_t> values) {
        mixer.changeValues(0, id, std::move(values));
    }
    void letTimePass(MessageLoop&) {}

    sim::SimMixer mixer{{tree()}};
};

// The ALSA mixer on the test card, fresh for each test; another program is a control handle of its
// own on the card.
struct AlsaMixer {
    static constexpr const char* kName = "AlsaMixer";
    static constexpr uint32_t kPresentAux = aux::kLine, kMissingAux = aux::kVideo;

    MixerDriver& driver() { return mixer; }
    void changeFromOutside(uint32_t id, const std::vector<int32_t>& values) {
        const auto [element, type] = elementOf(id);
        const size_t channels = other.read(element.c_str()).size();
        const auto [min, max] =
            type == ct::kMute ? std::pair(0L, 1L) : other.range(element.c_str());
        std::vector<long> raw;
        for (size_t c = 0; c < channels; ++c) {
            const int32_t v = values.at(values.size() == 1 ? 0 : c);
            raw.push_back(type == ct::kMute ? (v != 0 ? 0 : 1) : alsa::rawFromLevel(v, min, max));
        }
        other.write(element.c_str(), raw);
    }
    void letTimePass(MessageLoop& loop) {
        pollfd fd{loop.wakeFd(), POLLIN, 0};
        ::poll(&fd, 1, 100);
    }

    // The element behind a level or mute control, and the control's type, found through a
    // device of its own.
    std::pair<std::string, uint32_t> elementOf(uint32_t controlId) {
        MessageLoop quiet;
        std::unique_ptr<MixerDevice> device;
        EXPECT_EQ(mixer.open(0, quiet, kNoTarget, device), MMResult::NoError);
        for (uint32_t d = 0; device && d < kTestCard.size(); ++d) {
            const auto sources = static_cast<int32_t>(kTestCard[d].sources.size());
            for (int32_t s = -1; s < sources; ++s) {
                MixerLine line;
                std::vector<MixerControl> controls;
                device->lineInfo(d, s, line);
                device->lineControls(line.lineId, line.controls, controls);
                for (const MixerControl& c : controls) {
                    if (c.controlId != controlId) continue;
                    const std::string owner = s >= 0   ? line.shortName
                                              : d == 0 ? "Master"
                                                       : "Capture";
                    if (c.type == ct::kMute) return {owner + " Playback Switch", c.type};
                    if (d == 0) return {owner + " Playback Volume", c.type};
                    return {s < 0 ? owner + " Volume" : owner + " Capture Volume", c.type};
                }
            }
        }
        ADD_FAILURE() << "control " << controlId << " is no level or mute of the test card";
        return {};
    }

    const bool fresh = (testcard::Environment::reset(), true);
    alsa::AlsaMixerDriver mixer{testcard::kSwitchCard};
    testcard::OtherHandle other{testcard::kSwitchCard};
};

struct BackendNames {
    template <class Backend>
    static std::string GetName(int) {
        return Backend::kName;
    }
};

struct ChangeRecorder final : MessageTarget {
    std::vector<std::array<uintptr_t, 3>> got;  // message, device identity, control or line id
    void handleMessage(uint32_t message, uintptr_t p1, uintptr_t p2) override {
        got.push_back({message, p1, p2});
    }
    bool changed(const MixerDevice& device, const MixerControl& c) const {
        const std::array<uintptr_t, 3> m{messageId(MixerMessage::ControlChange), device.identity(),
                                         c.controlId};
        return std::find(got.begin(), got.end(), m) != got.end();
    }
};

template <class Backend>
class MixerContract : public ::testing::Test {
  protected:
    ~MixerContract() override {
        for (TargetId t : targets) loop.unregisterTarget(t);
    }

    MixerDriver& driver() { return backend.driver(); }
    std::unique_ptr<MixerDevice> open(ChangeRecorder& to) {
        std::unique_ptr<MixerDevice> opened;
        targets.push_back(loop.registerTarget(&to));
        EXPECT_EQ(driver().open(0, loop, targets.back(), opened), MMResult::NoError);
        return opened;
    }
    MixerLine line(uint32_t destination, int32_t source) {
        MixerLine line;
        EXPECT_EQ(device->lineInfo(destination, source, line), MMResult::NoError);
        return line;
    }
    std::vector<MixerControl> controls(const MixerLine& line) {
        std::vector<MixerControl> controls;
        EXPECT_EQ(device->lineControls(line.lineId, line.controls, controls), MMResult::NoError);
        return controls;
    }
    MixerControl control(uint32_t destination, int32_t source, uint32_t type) {
        for (const MixerControl& c : controls(line(destination, source))) {
            if (c.type == type) return c;
        }
        ADD_FAILURE() << "no control of type " << std::hex << type;
        return {};
    }
    std::vector<int32_t> read(const MixerControl& c, uint32_t channels) {
        std::vector<int32_t> values(channels * std::max<uint32_t>(c.items, 1));
        EXPECT_EQ(device->getDetails({c.controlId, channels, c.items, values}), MMResult::NoError);
        return values;
    }
    // Dispatches messages, letting time pass, until `done` holds or a generous deadline passed.
    bool waitUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (loop.pump(); !done(); loop.pump()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            backend.letTimePass(loop);
        }
        return true;
    }

    // Declared in this order so that the devices go before the backend, and it before the loop.
    MessageLoop loop;
    std::vector<TargetId> targets;
    Backend backend;
    ChangeRecorder recorder, other;
    std::unique_ptr<MixerDevice> device = open(recorder);
};

using Backends = ::testing::Types<SimulatedMixer, AlsaMixer>;
TYPED_TEST_SUITE(MixerContract, Backends, BackendNames);

TYPED_TEST(MixerContract, TheTreeIsTheTestCardsWithNamesInTheirFieldsAndDistinctPositiveIds) {
    MixerCaps caps;
    ASSERT_EQ(this->driver().capabilities(0, caps), MMResult::NoError);
    EXPECT_EQ(caps.destinations, kTestCard.size());
    EXPECT_FALSE(caps.productName.empty());
    EXPECT_LT(caps.productName.size(), kMixerProductNameChars);
    const auto positive = [](uint32_t id) { return static_cast<int32_t>(id) > 0; };  // as int32
    std::set<uint32_t> lineIds, controlIds;
    for (uint32_t d = 0; d < kTestCard.size(); ++d) {
        const auto sources = static_cast<uint32_t>(kTestCard[d].sources.size());
        for (int32_t s = -1; s < static_cast<int32_t>(sources); ++s) {
            const LineShape& shape = s < 0 ? kTestCard[d].line : kTestCard[d].sources[s];
            SCOPED_TRACE(std::string(kTestCard[d].line.name) + " / " + shape.name);
            const MixerLine l = this->line(d, s);
            EXPECT_EQ(l.destination, d);
            EXPECT_EQ(l.source, static_cast<uint32_t>(std::max(s, 0)));
            EXPECT_EQ((l.flags & kLineSource) != 0, s >= 0);
            EXPECT_EQ(l.componentType, shape.componentType);
            EXPECT_EQ(l.channels, shape.channels);
            EXPECT_EQ(l.connections, s < 0 ? sources : 0u);
            EXPECT_EQ(l.shortName, shape.name);
            EXPECT_LT(l.name.size(), kMixerNameChars);
            EXPECT_TRUE(positive(l.lineId) && lineIds.insert(l.lineId).second) << l.lineId;
            ASSERT_EQ(l.controls, shape.controls.size());
            const std::vector<MixerControl> controls = this->controls(l);
            for (size_t i = 0; i < controls.size(); ++i) {
                const MixerControl& c = controls[i];
                EXPECT_EQ(c.type, shape.controls[i]);
                EXPECT_TRUE(positive(c.controlId) && controlIds.insert(c.controlId).second);
                EXPECT_LE(c.minimum, c.maximum);
                EXPECT_LT(c.shortName.size(), kMixerShortNameChars);
                EXPECT_LT(c.name.size(), kMixerNameChars);
                EXPECT_EQ(c.itemNames.size(), c.items);
                if (c.type != ct::kMux) continue;
                EXPECT_EQ(c.flags & kControlMultiple, kControlMultiple);
                EXPECT_EQ(c.items, sources);
                for (uint32_t item = 0; item < std::min(c.items, sources); ++item) {
                    EXPECT_EQ(c.itemNames[item], kTestCard[d].sources[item].name);
                }
            }
        }
    }
}

TYPED_TEST(MixerContract, CallsBeyondTheDevicesOrTheTreeOrWithoutRoomAreRefused) {
    MixerDriver& driver = this->driver();
    MixerDevice& device = *this->device;
    const MixerLine master = this->line(0, -1);
    const uint32_t level = this->control(0, -1, ct::kVolume).controlId;
    const uint32_t mute = this->control(0, -1, ct::kMute).controlId;
    const MixerControl mux = this->control(1, -1, ct::kMux);
    const uint32_t count = driver.deviceCount();
    const auto sources = [](uint32_t d) { return int32_t(kTestCard[d].sources.size()); };
    MixerLine line;
    std::vector<MixerControl> controls;
    std::vector<int32_t> one(1, 0), room(2 * mux.items, 0), none(mux.items, 0);
    const ControlDetails noRoom{level, 2, 0, one}, noControl{0, 1, 0, one};
    const ControlDetails twoOnUniform{mute, 2, 0, room}, itemsOnLevel{level, 2, 1, room};
    const ControlDetails fewerItems{mux.controlId, 1, mux.items - 1, room};
    const ControlDetails noneChosen{mux.controlId, 1, mux.items, none};
    std::unique_ptr<MixerDevice> notOpened;
    MixerCaps caps;
    uint32_t volume = 0;
    using enum MMResult;
    const std::pair<MMResult, std::function<MMResult()>> cases[] = {
        {BadDeviceId, [&] { return driver.capabilities(count, caps); }},
        {BadDeviceId, [&] { return driver.open(count, this->loop, kNoTarget, notOpened); }},
        {InvalidParam, [&] { return device.lineInfo(uint32_t(kTestCard.size()), -1, line); }},
        {InvalidParam, [&] { return device.lineInfo(0, sources(0), line); }},
        {InvalidParam, [&] { return device.lineInfo(1, sources(1), line); }},
        {InvalidParam,
         [&] { return device.lineControls(master.lineId, master.controls - 1, controls); }},
        {InvalidParam,
         [&] { return device.lineControls(master.lineId, master.controls + 1, controls); }},
        {InvalidParam, [&] { return device.lineControls(0, 0, controls); }},
        {InvalidParam, [&] { return device.getDetails(noRoom); }},
        {InvalidParam, [&] { return device.setDetails(noRoom); }},
        {InvalidParam, [&] { return device.getDetails(noControl); }},
        {InvalidParam, [&] { return device.setDetails(twoOnUniform); }},
        {InvalidParam, [&] { return device.setDetails(itemsOnLevel); }},
        {InvalidParam, [&] { return device.getDetails(fewerItems); }},
        {InvalidParam, [&] { return device.setDetails(noneChosen); }},
        {BadDeviceId, [&] { return driver.auxVolume(TypeParam::kMissingAux, volume); }},
        {BadDeviceId, [&] { return driver.setAuxVolume(TypeParam::kMissingAux, 0); }},
    };
    const auto values = [&] {
        return std::pair(this->read(this->control(0, -1, ct::kVolume), 2), this->read(mux, 1));
    };
    const auto before = values();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& [expected, call] = cases[i];
        EXPECT_EQ(call(), expected) << "case " << i;
        const std::string text = driver.errorText(expected);
        EXPECT_EQ(text.rfind(standardErrorText(expected), 0), 0u) << text;
    }
    EXPECT_EQ(notOpened, nullptr);
    EXPECT_EQ(values(), before);
    this->loop.pump();
    EXPECT_TRUE(this->recorder.got.empty()) << "a refused call posts nothing";
}

TYPED_TEST(MixerContract, ValuesReadBackAsWrittenWithLevelsClampedIntoTheirBounds) {
    using Values = std::function<std::vector<int32_t>(const MixerControl&)>;
    const Values bounds = [](const MixerControl& c) { return std::vector{c.minimum, c.maximum}; };
    const Values beyond = [](const MixerControl& c) {
        constexpr int64_t lo = std::numeric_limits<int32_t>::min();
        constexpr int64_t hi = std::numeric_limits<int32_t>::max();
        return std::vector{static_cast<int32_t>(std::max(lo, int64_t{c.minimum} - 1000)),
                           static_cast<int32_t>(std::min(hi, int64_t{c.maximum} + 1000))};
    };
    const auto just = [](int32_t v) { return [v](const MixerControl&) { return std::vector{v}; }; };
    const auto oneHot = [](bool last) {
        return [last](const MixerControl& c) {
            std::vector<int32_t> v(c.items, 0);
            v.at(last ? c.items - 1 : 0) = 1;
            return v;
        };
    };
    const Values twoChosen = [](const MixerControl& c) {
        std::vector<int32_t> v(c.items, 0);
        v.at(0) = v.at(c.items - 1) = 1;
        return v;
    };
    const struct {
        const char* what;
        uint32_t destination;
        int32_t source;
        uint32_t type;
        uint32_t channels;
        Values write, expect;
    } cases[] = {
        {"stereo level at its bounds", 0, -1, ct::kVolume, 2, bounds, bounds},
        {"stereo level beyond its bounds", 0, 0, ct::kVolume, 2, beyond, bounds},
        {"uniform mute on", 0, 1, ct::kMute, 1, just(1), just(1)},
        {"uniform mute off", 0, 1, ct::kMute, 1, just(0), just(0)},
        {"MUX, first item", 1, -1, ct::kMux, 1, oneHot(false), oneHot(false)},
        {"MUX, last item", 1, -1, ct::kMux, 1, oneHot(true), oneHot(true)},
        {"MUX, two items chosen: the first", 1, -1, ct::kMux, 1, twoChosen, oneHot(false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const MixerControl control = this->control(c.destination, c.source, c.type);
        std::vector<int32_t> written = c.write(control);
        ASSERT_EQ(this->device->setDetails({control.controlId, c.channels, control.items, written}),
                  MMResult::NoError);
        EXPECT_EQ(this->read(control, c.channels), c.expect(control));
    }
}

TYPED_TEST(MixerContract, AWriteIsPostedToEveryOpenDeviceWithItsOwnIdentity) {
    std::unique_ptr<MixerDevice> second = this->open(this->other);
    this->loop.pump();
    EXPECT_TRUE(this->recorder.got.empty() && this->other.got.empty()) << "opening posts nothing";
    const MixerControl mute = this->control(0, -1, ct::kMute);
    std::vector<int32_t> on{1};
    ASSERT_EQ(this->device->setDetails({mute.controlId, 1, 0, on}), MMResult::NoError);
    EXPECT_TRUE(this->waitUntil([&] {
        return this->recorder.changed(*this->device, mute) && this->other.changed(*second, mute);
    }));
    EXPECT_NE(this->device->identity(), second->identity());
}

TYPED_TEST(MixerContract, AChangeFromOutsideIsPostedAndReadBack) {
    const MixerControl level = this->control(0, 2, ct::kVolume);
    this->backend.changeFromOutside(level.controlId, {level.maximum, level.minimum});
    EXPECT_TRUE(this->waitUntil([&] { return this->recorder.changed(*this->device, level); }));
    EXPECT_EQ(this->read(level, 2), (std::vector{level.maximum, level.minimum}));
}

TYPED_TEST(MixerContract, ADestroyedDeviceIsPostedNothingMore) {
    std::unique_ptr<MixerDevice> second = this->open(this->other);
    const MixerControl mute = this->control(0, 0, ct::kMute);
    this->device.reset();
    this->backend.changeFromOutside(mute.controlId, {1});
    ASSERT_TRUE(this->waitUntil([&] { return this->other.changed(*second, mute); }));
    std::vector<int32_t> off{0};
    ASSERT_EQ(second->setDetails({mute.controlId, 1, 0, off}), MMResult::NoError);
    ASSERT_TRUE(this->waitUntil([&] { return this->other.got.size() >= 2; }));
    EXPECT_TRUE(this->recorder.got.empty());
}

TYPED_TEST(MixerContract, DeviceVolumesReadBackAsSet) {
    MixerDriver& driver = this->driver();
    for (uint32_t volume : {0xFFFF0000u, 0x0000FFFFu}) {  // one channel at each end
        SCOPED_TRACE(volume);
        uint32_t wave = 0, aux = 0;
        ASSERT_EQ(driver.setWaveOutVolume(volume), MMResult::NoError);
        ASSERT_EQ(driver.setAuxVolume(TypeParam::kPresentAux, volume), MMResult::NoError);
        ASSERT_EQ(driver.waveOutVolume(wave), MMResult::NoError);
        ASSERT_EQ(driver.auxVolume(TypeParam::kPresentAux, aux), MMResult::NoError);
        EXPECT_EQ(wave, volume);
        EXPECT_EQ(aux, volume);
    }
}

}  // namespace
