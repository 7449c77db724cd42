// The simulated mixer: the line trees of its devices, the open devices that read and write them,
// the change messages, the device volumes and the one-shot faults.
#include "platform/sim/SimMixer.h"

#include <algorithm>
#include <utility>

#include "platform/ErrorLog.h"
#include "platform/MixerChecks.h"

namespace platform::sim {

namespace {

constexpr size_t kVolumeDevices = 6;             // wave output 0 and auxiliary devices 1..5
constexpr size_t kMixerCalls = 7;                // enumerators of MixerCall
constexpr uint32_t kVolumePresent = 0x80008000;  // half of full scale on both channels

ControlLayout layoutOf(const SimControl& c, uint32_t lineChannels) {
    return {c.type, c.flags, c.items, c.minimum, c.maximum, lineChannels};
}

}  // namespace

struct SimMixer::Impl {
    class Device;

    // Where a control sits in its mixer's tree.
    struct Place {
        uint32_t destination = 0;
        int32_t source = -1;
        uint32_t index = 0;
    };
    struct Mixer {
        SimMixerTree tree;
        std::vector<Place> controls;  // by control id - 1, in tree order
        std::vector<Device*> open;    // its open devices, in the order they were opened
    };
    // A control and the layout of its values.
    struct Found {
        SimControl* control = nullptr;
        ControlLayout layout;
    };

    explicit Impl(std::vector<SimMixerTree> trees);

    MMResult refuse(MMResult code, std::string detail) {
        return errors.record(Status::fail(code, std::move(detail)));
    }
    std::optional<MMResult> injected(MixerCall call) {
        return std::exchange(failures[static_cast<size_t>(call)], std::nullopt);
    }

    Mixer* mixer(uint32_t mixerId) { return mixerId < mixers.size() ? &mixers[mixerId] : nullptr; }
    static SimLine* line(Mixer& m, uint32_t destination, int32_t source);
    static SimLine* line(Mixer& m, uint32_t lineId);
    static uint32_t firstControlId(const Mixer& m, uint32_t destination, int32_t source);
    static std::optional<Found> control(Mixer& m, uint32_t controlId);
    void post(const Mixer& m, MixerMessage message, uint32_t id) const;

    // The calls of an open device.
    MMResult lineInfo(uint32_t mixerId, uint32_t destination, int32_t source, MixerLine& out);
    MMResult lineControls(uint32_t mixerId, uint32_t lineId, uint32_t count,
                          std::vector<MixerControl>& out);
    MMResult getDetails(uint32_t mixerId, const ControlDetails& details);
    MMResult setDetails(uint32_t mixerId, const ControlDetails& details);

    MMResult volume(bool aux, uint32_t device, uint32_t* get, const uint32_t* set);

    std::vector<Mixer> mixers;
    std::array<std::optional<uint32_t>, kVolumeDevices> volumes;
    std::array<std::optional<MMResult>, kMixerCalls> failures;
    int writes = 0;
    ErrorLog errors{"simulated mixer"};
};

// One open device: a view on its mixer's state, registered with it for the change messages from
// construction to destruction. Keeps the state alive, so it may outlive the SimMixer.
class SimMixer::Impl::Device final : public MixerDevice {
  public:
    Device(std::shared_ptr<Impl> impl, uint32_t mixerId, MessageLoop& loop, TargetId notify)
        : impl_(std::move(impl)), mixerId_(mixerId), loop_(loop), notify_(notify) {
        impl_->mixers[mixerId_].open.push_back(this);
    }
    ~Device() override { std::erase(impl_->mixers[mixerId_].open, this); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void notify(MixerMessage message, uint32_t id) const {
        loop_.post(notify_, messageId(message), identity(), id);
    }

    MMResult lineInfo(uint32_t destination, int32_t source, MixerLine& line) override {
        return impl_->lineInfo(mixerId_, destination, source, line);
    }
    MMResult lineControls(uint32_t lineId, uint32_t count,
                          std::vector<MixerControl>& controls) override {
        return impl_->lineControls(mixerId_, lineId, count, controls);
    }
    MMResult getDetails(const ControlDetails& details) override {
        return impl_->getDetails(mixerId_, details);
    }
    MMResult setDetails(const ControlDetails& details) override {
        return impl_->setDetails(mixerId_, details);
    }

  private:
    const std::shared_ptr<Impl> impl_;
    const uint32_t mixerId_;
    MessageLoop& loop_;
    const TargetId notify_;
};

// Numbers the controls and brings each tree into the shape the calls rely on: sources flagged as
// sources, items only on multiple-item controls, every control holding all its words in bounds.
SimMixer::Impl::Impl(std::vector<SimMixerTree> trees) {
    volumes.fill(kVolumePresent);
    mixers.reserve(trees.size());
    for (SimMixerTree& tree : trees) {
        Mixer& m = mixers.emplace_back(Mixer{std::move(tree), {}, {}});
        for (uint32_t d = 0; d < m.tree.destinations.size(); ++d) {
            SimDestination& destination = m.tree.destinations[d];
            const auto sources = static_cast<int32_t>(destination.sources.size());
            for (int32_t s = -1; s < sources; ++s) {
                SimLine& l = s < 0 ? destination.line : destination.sources[s];
                l.flags = s < 0 ? l.flags & ~kLineSource : l.flags | kLineSource;
                for (uint32_t i = 0; i < l.controls.size(); ++i) {
                    SimControl& c = l.controls[i];
                    const bool multiple = (c.flags & kControlMultiple) != 0;
                    c.items = multiple ? std::max<uint32_t>(c.items, 1) : 0;
                    const uint32_t channels = (c.flags & kControlUniform) ? 1 : l.channels;
                    c.values.resize(valueWords(channels, c.items), 0);
                    for (int32_t& v : c.values) v = clampInto(layoutOf(c, l.channels), v);
                    m.controls.push_back({d, s, i});
                }
            }
        }
    }
}

SimLine* SimMixer::Impl::line(Mixer& m, uint32_t destination, int32_t source) {
    if (destination >= m.tree.destinations.size()) return nullptr;
    SimDestination& d = m.tree.destinations[destination];
    if (source < 0) return &d.line;
    return static_cast<size_t>(source) < d.sources.size() ? &d.sources[source] : nullptr;
}

SimLine* SimMixer::Impl::line(Mixer& m, uint32_t lineId) {
    return line(m, destinationOfLine(lineId), sourceOfLine(lineId));
}

uint32_t SimMixer::Impl::firstControlId(const Mixer& m, uint32_t destination, int32_t source) {
    const auto it = std::find_if(m.controls.begin(), m.controls.end(), [&](const Place& p) {
        return p.destination == destination && p.source == source;
    });
    return static_cast<uint32_t>(it - m.controls.begin()) + 1;
}

std::optional<SimMixer::Impl::Found> SimMixer::Impl::control(Mixer& m, uint32_t controlId) {
    if (controlId == 0 || controlId > m.controls.size()) return std::nullopt;
    const Place& p = m.controls[controlId - 1];
    SimLine* l = line(m, p.destination, p.source);
    SimControl& c = l->controls[p.index];
    return Found{&c, layoutOf(c, l->channels)};
}

void SimMixer::Impl::post(const Mixer& m, MixerMessage message, uint32_t id) const {
    for (const Device* device : m.open) device->notify(message, id);
}

MMResult SimMixer::Impl::lineInfo(uint32_t mixerId, uint32_t destination, int32_t source,
                                  MixerLine& out) {
    if (auto failure = injected(MixerCall::LineInfo)) return refuse(*failure, {});
    Mixer& m = mixers[mixerId];
    const std::vector<SimDestination>& destinations = m.tree.destinations;
    const size_t sources =
        destination < destinations.size() ? destinations[destination].sources.size() : 0;
    if (Status s = checkLineInfo(destination, source, destinations.size(), sources); !s.ok()) {
        return errors.record(s);
    }
    const SimLine* l = line(m, destination, source);
    const bool isSource = source >= 0;
    out.destination = destination;
    out.source = isSource ? static_cast<uint32_t>(source) : 0;
    out.flags = l->flags;
    out.lineId = lineIdOf(destination, source);
    out.componentType = l->componentType;
    out.channels = l->channels;
    out.connections =
        isSource ? 0 : static_cast<uint32_t>(m.tree.destinations[destination].sources.size());
    out.controls = static_cast<uint32_t>(l->controls.size());
    out.shortName = cutName(l->shortName, kMixerShortNameChars);
    out.name = cutName(l->name, kMixerNameChars);
    return MMResult::NoError;
}

MMResult SimMixer::Impl::lineControls(uint32_t mixerId, uint32_t lineId, uint32_t count,
                                      std::vector<MixerControl>& out) {
    if (auto failure = injected(MixerCall::LineControls)) return refuse(*failure, {});
    Mixer& m = mixers[mixerId];
    const SimLine* l = line(m, lineId);
    const auto controls = l != nullptr ? std::optional(l->controls.size()) : std::nullopt;
    if (Status s = checkLineControls(lineId, controls, count); !s.ok()) return errors.record(s);
    const uint32_t first = firstControlId(m, destinationOfLine(lineId), sourceOfLine(lineId));
    out.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const SimControl& c = l->controls[i];
        std::vector<std::string> itemNames;
        if (c.items > 0) {
            for (uint32_t item = 0; item < c.items; ++item) {
                itemNames.push_back(
                    cutName(item < c.itemNames.size() ? c.itemNames[item] : "", kMixerNameChars));
            }
        }
        out.push_back({first + i, c.type, c.flags, c.items, c.minimum, c.maximum, c.steps,
                       cutName(c.shortName, kMixerShortNameChars), cutName(c.name, kMixerNameChars),
                       std::move(itemNames)});
    }
    return MMResult::NoError;
}

// Fewer channels than the control has read channel 0.
MMResult SimMixer::Impl::getDetails(uint32_t mixerId, const ControlDetails& details) {
    if (auto failure = injected(MixerCall::GetDetails)) return refuse(*failure, {});
    const std::optional<Found> found = control(mixers[mixerId], details.controlId);
    if (Status s = checkDetails("getDetails", details, found ? &found->layout : nullptr); !s.ok()) {
        return errors.record(s);
    }
    const size_t words = valueWords(details.channels, details.items);
    std::copy_n(found->control->values.begin(), words, details.values.begin());
    return MMResult::NoError;
}

// One channel written to a control of more sets them all alike.
MMResult SimMixer::Impl::setDetails(uint32_t mixerId, const ControlDetails& details) {
    if (auto failure = injected(MixerCall::SetDetails)) return refuse(*failure, {});
    Mixer& m = mixers[mixerId];
    const std::optional<Found> found = control(m, details.controlId);
    std::vector<int32_t> written;
    Status s = checkDetails("setDetails", details, found ? &found->layout : nullptr);
    if (s.ok()) s = valuesToWrite(details, found->layout, written);
    if (!s.ok()) return errors.record(s);
    const size_t perChannel = valueWords(1, details.items);
    std::vector<int32_t>& values = found->control->values;
    for (size_t word = 0; word < values.size(); ++word) {
        values[word] = written[details.channels == 1 ? word % perChannel : word];
    }
    ++writes;
    post(m, MixerMessage::ControlChange, details.controlId);
    return MMResult::NoError;
}

// Reads into `get` or writes `set` of volume device `device` (0 wave output, 1..5 auxiliary).
MMResult SimMixer::Impl::volume(bool aux, uint32_t device, uint32_t* get, const uint32_t* set) {
    if (auto failure = injected(MixerCall::Volume)) return refuse(*failure, {});
    if (aux) {
        if (Status s = checkAuxId(device); !s.ok()) return errors.record(s);
    }
    if (!volumes.at(device)) {
        return refuse(MMResult::BadDeviceId, (aux ? "auxiliary device " : "wave output device ") +
                                                 std::to_string(device) + " is absent");
    }
    if (get != nullptr) *get = *volumes[device];
    if (set != nullptr) volumes[device] = *set;
    return MMResult::NoError;
}

// --- SimMixer ------------------------------------------------------------------------------------

SimMixerTree SimMixer::typicalCard() {
    const auto level = [](const std::string& owner, int32_t value, uint32_t channels) {
        return SimControl{control::kVolume,
                          0,
                          0,
                          0,
                          65535,
                          0,
                          "Volume",
                          owner + " Volume",
                          {},
                          std::vector<int32_t>(channels, value)};
    };
    const auto mute = [](const std::string& owner, bool on) {
        return SimControl{control::kMute, kControlUniform, 0,  0,           1, 0,
                          "Mute",         owner + " Mute", {}, {on ? 1 : 0}};
    };
    const auto line = [](uint32_t type, uint32_t channels, const std::string& name,
                         std::vector<SimControl> controls) {
        return SimLine{type, channels, kLineActive, name, name, std::move(controls)};
    };

    SimMixerTree card;
    card.productName = "Simulated Mixer";
    SimDestination speakers{line(component::kDstSpeakers, 2, "Master",
                                 {level("Master", 49152, 2), mute("Master", false)}),
                            {}};
    speakers.sources = {
        line(component::kSrcWaveOut, 2, "PCM", {level("PCM", 49152, 2), mute("PCM", false)}),
        line(component::kSrcLine, 2, "Line", {level("Line", 32768, 2), mute("Line", false)}),
        line(component::kSrcMicrophone, 1, "Mic", {level("Mic", 32768, 1), mute("Mic", true)}),
        line(component::kSrcCompactDisc, 2, "CD", {level("CD", 32768, 2), mute("CD", false)}),
    };
    // The recording sources, and the MUX that picks one of them: the microphone to begin with.
    const std::vector<std::pair<uint32_t, std::string>> inputs = {
        {component::kSrcLine, "Line"},
        {component::kSrcMicrophone, "Mic"},
        {component::kSrcCompactDisc, "CD"},
    };
    SimControl mux{control::kMux,
                   kControlMultiple | kControlUniform,
                   0,
                   0,
                   1,
                   0,
                   "Capture Source",
                   "Capture Source",
                   {},
                   {}};
    SimDestination recording{line(component::kDstWaveIn, 2, "Capture", {}), {}};
    for (const auto& [type, name] : inputs) {
        const uint32_t channels = type == component::kSrcMicrophone ? 1 : 2;
        recording.sources.push_back(line(type, channels, name, {level(name, 32768, channels)}));
        mux.itemNames.push_back(name);
        mux.values.push_back(type == component::kSrcMicrophone ? 1 : 0);
    }
    mux.items = static_cast<uint32_t>(inputs.size());
    recording.line.controls = {level("Capture", 32768, 2), std::move(mux)};
    card.destinations = {std::move(speakers), std::move(recording)};
    return card;
}

SimMixer::SimMixer(std::vector<SimMixerTree> devices)
    : impl_(std::make_shared<Impl>(std::move(devices))) {}

SimMixer::~SimMixer() = default;

uint32_t SimMixer::lineId(uint32_t mixerId, uint32_t destination, int32_t source) const {
    Impl::Mixer* m = impl_->mixer(mixerId);
    return m && Impl::line(*m, destination, source) ? lineIdOf(destination, source) : 0;
}

uint32_t SimMixer::controlId(uint32_t mixerId, uint32_t destination, int32_t source,
                             uint32_t index) const {
    Impl::Mixer* m = impl_->mixer(mixerId);
    const SimLine* l = m ? Impl::line(*m, destination, source) : nullptr;
    if (l == nullptr || index >= l->controls.size()) return 0;
    return Impl::firstControlId(*m, destination, source) + index;
}

std::vector<int32_t> SimMixer::values(uint32_t mixerId, uint32_t controlId) const {
    Impl::Mixer* m = impl_->mixer(mixerId);
    const auto found = m ? Impl::control(*m, controlId) : std::nullopt;
    return found ? found->control->values : std::vector<int32_t>{};
}

int SimMixer::writes() const {
    return impl_->writes;
}

// `values` in the layout values() gives; a shorter vector sets the first words only.
void SimMixer::changeValues(uint32_t mixerId, uint32_t controlId, std::vector<int32_t> values) {
    Impl::Mixer* m = impl_->mixer(mixerId);
    const auto found = m ? Impl::control(*m, controlId) : std::nullopt;
    if (!found) return;
    SimControl& c = *found->control;
    for (size_t i = 0; i < std::min(values.size(), c.values.size()); ++i) {
        c.values[i] = clampInto(found->layout, values[i]);
    }
    impl_->post(*m, MixerMessage::ControlChange, controlId);
}

// A source keeps kLineSource whatever `flags` says; a destination never gets it.
void SimMixer::changeLine(uint32_t mixerId, uint32_t lineId, uint32_t flags) {
    Impl::Mixer* m = impl_->mixer(mixerId);
    SimLine* l = m ? Impl::line(*m, lineId) : nullptr;
    if (l == nullptr) return;
    const bool isSource = sourceOfLine(lineId) >= 0;
    l->flags = isSource ? flags | kLineSource : flags & ~kLineSource;
    impl_->post(*m, MixerMessage::LineChange, lineId);
}

// Devices beyond 5 do not exist: setting one does nothing, reading one gives nullopt.
void SimMixer::setVolumeDevice(uint32_t device, std::optional<uint32_t> volume) {
    if (device < kVolumeDevices) impl_->volumes[device] = volume;
}

std::optional<uint32_t> SimMixer::volumeDevice(uint32_t device) const {
    return device < kVolumeDevices ? impl_->volumes[device] : std::nullopt;
}

// NoError withdraws a pending failure.
void SimMixer::failNext(MixerCall call, MMResult result) {
    auto& pending = impl_->failures[static_cast<size_t>(call)];
    pending = failed(result) ? std::optional(result) : std::nullopt;
}

uint32_t SimMixer::deviceCount() const {
    return static_cast<uint32_t>(impl_->mixers.size());
}

MMResult SimMixer::capabilities(uint32_t mixerId, MixerCaps& caps) const {
    if (auto failure = impl_->injected(MixerCall::Capabilities)) {
        return impl_->refuse(*failure, {});
    }
    if (Status s = checkMixerId("capabilities", mixerId, deviceCount()); !s.ok()) {
        return impl_->errors.record(s);
    }
    const Impl::Mixer* m = impl_->mixer(mixerId);
    caps.productName = cutName(m->tree.productName, kMixerProductNameChars);
    caps.destinations = static_cast<uint32_t>(m->tree.destinations.size());
    return MMResult::NoError;
}

MMResult SimMixer::open(uint32_t mixerId, MessageLoop& loop, TargetId notify,
                        std::unique_ptr<MixerDevice>& device) {
    if (auto failure = impl_->injected(MixerCall::Open)) return impl_->refuse(*failure, {});
    if (Status s = checkMixerId("open", mixerId, deviceCount()); !s.ok()) {
        return impl_->errors.record(s);
    }
    device = std::make_unique<Impl::Device>(impl_, mixerId, loop, notify);
    return MMResult::NoError;
}

MMResult SimMixer::waveOutVolume(uint32_t& volume) {
    return impl_->volume(false, 0, &volume, nullptr);
}

MMResult SimMixer::setWaveOutVolume(uint32_t volume) {
    return impl_->volume(false, 0, nullptr, &volume);
}

MMResult SimMixer::auxVolume(uint32_t auxId, uint32_t& volume) {
    return impl_->volume(true, auxId, &volume, nullptr);
}

MMResult SimMixer::setAuxVolume(uint32_t auxId, uint32_t volume) {
    return impl_->volume(true, auxId, nullptr, &volume);
}

ErrorReason SimMixer::errorReason(MMResult result) const {
    return impl_->errors.reason(result);
}

}  // namespace platform::sim
