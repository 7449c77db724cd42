#include "audio/AudioMixer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <utility>

#include "audio/DriverCall.h"

namespace audio {

using platform::MMResult;
namespace component = platform::component;
namespace control = platform::control;

namespace {

constexpr char kTextNoDevice[] = "No mixer device present in this system.";
constexpr char kTextMaximumID[] = "MixerID maximum for this machine: ";
constexpr char kTextCapsFailed[] = "Function mixerGetDevCaps failed. Mixer device ID: ";
constexpr char kTextOpenFailed[] = "Function mixerOpen failed";

// The value words of one request: on the stack for every control a card has in practice, on the
// heap beyond that. Zeroed, so a word the driver does not fill reads as 0.
class ValueWords {
  public:
    explicit ValueWords(size_t count) : count_(count) {
        if (count_ > local_.size()) heap_.resize(count_);
    }
    std::span<int32_t> words() noexcept {
        return heap_.empty() ? std::span<int32_t>(local_).first(count_) : std::span<int32_t>(heap_);
    }

  private:
    std::array<int32_t, 64> local_{};
    std::vector<int32_t> heap_;
    size_t count_;
};

size_t wordCount(uint32_t channels, uint32_t items) noexcept {
    return size_t{std::max(channels, 1u)} * std::max(items, 1u);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TVolume, TAudioControl

void TVolume::SetLeft(int32_t value) noexcept {
    Left = value;
    if (Control != nullptr) Control->ApplyValue(Index, *this);
}

void TVolume::SetRight(int32_t value) noexcept {
    Right = value;
    if (Control != nullptr) Control->ApplyValue(Index, *this);
}

uint32_t TAudioControl::channelsInEffect(uint32_t lineChannels) const noexcept {
    if (Uniform) return 1;
    if (ControlType == control::kCustom) return 0;
    return lineChannels;
}

void TAudioControl::describe(const platform::MixerControl& c) {
    Valid = true;
    ControlID = c.controlId;
    ControlType = c.type;
    Disabled = (c.flags & platform::kControlDisabled) != 0;
    Multiple = (c.flags & platform::kControlMultiple) != 0;
    Uniform = (c.flags & platform::kControlUniform) != 0;
    ItemCount = c.items;
    Values.assign(Multiple ? ItemCount : 1, TVolume{});
    for (size_t j = 0; j < Values.size(); ++j) {
        Values[j].Index = static_cast<int32_t>(j);
        Values[j].Control = this;
    }
    Minimum = c.minimum;
    Maximum = c.maximum;
    ShortName = c.shortName;
    Name = c.name;
    Steps = c.steps;
}

void TAudioControl::readValues(uint32_t lineChannels) noexcept {
    if (!Valid || MixerHandle == nullptr) return;
    const uint32_t channels = channelsInEffect(lineChannels);
    try {
        ValueWords room(wordCount(lineChannels, ItemCount));
        const std::span<int32_t> words = room.words();
        const platform::ControlDetails details{ControlID, channels, ItemCount, words};
        if (failed(guarded([&] { return MixerHandle->getDetails(details); }))) {
            Valid = false;
            return;
        }
        if (Multiple) {
            // Channel 0's items come first, then channel 1's: an item's Left and Right are its
            // values on the two, so that a selection that differs between channels shows.
            const size_t items = std::max(ItemCount, 1u);
            for (size_t j = 0; j < Values.size(); ++j) {
                Values[j].Left = words[j];
                Values[j].Right = channels >= 2 ? words[items + j] : words[j];
            }
        } else if (!Values.empty()) {
            Values[0].Left = words[0];
            Values[0].Right = channels >= 2 ? words[1] : words[0];
        }
    } catch (...) {  // no memory for the words of an outsized control
        Valid = false;
    }
}

void TAudioControl::ApplyValue(int32_t ItemIndex, TVolume& Volume) noexcept {
    if (!Valid || MixerHandle == nullptr) return;
    const uint32_t channels = channelsInEffect(Channels);
    try {
        ValueWords room(wordCount(Channels, ItemCount));
        const std::span<int32_t> words = room.words();
        if (Multiple) {
            // Only the chosen item takes the new value; a selector of one source clears the others,
            // every other control keeps them as last read. A control with more than one channel
            // gets the same items on each.
            const bool exclusive = control::selectsOne(ControlType);
            const size_t items = std::max(ItemCount, 1u);
            for (size_t i = 0; i < ItemCount; ++i) {
                int32_t value = 0;
                if (static_cast<int64_t>(i) == ItemIndex) {
                    value = Volume.Left;
                } else if (!exclusive && i < Values.size()) {
                    value = Values[i].Left;
                }
                for (size_t ch = 0; ch < std::max(channels, 1u); ++ch)
                    words[ch * items + i] = value;
            }
        } else {
            // Left on channel 0, Right on channel 1; a line of more channels gets Left on every
            // even channel and Right on every odd one.
            words[0] = Volume.Left;
            if (Channels > 1 && !Uniform) {
                for (size_t ch = 1; ch < Channels; ++ch)
                    words[ch] = ch % 2 ? Volume.Right : Volume.Left;
            }
        }
        const platform::ControlDetails details{ControlID, channels, ItemCount, words};
        if (failed(guarded([&] { return MixerHandle->setDetails(details); }))) Valid = false;
    } catch (...) {  // no memory for the words of an outsized control
        Valid = false;
    }
}

// ---------------------------------------------------------------------------------------------
// TSource

TVolume* TSource::GetVolume() const noexcept {
    if (VolumeIndex < 0 || static_cast<size_t>(VolumeIndex) >= Controls.size()) return nullptr;
    TAudioControl& level = *Controls[static_cast<size_t>(VolumeIndex)];
    return level.Values.empty() ? nullptr : &level.Values[0];
}

void TSource::SelectSource(uint32_t Index) noexcept {
    if (SelectIndex < 0 || static_cast<size_t>(SelectIndex) >= Controls.size()) return;
    TAudioControl& selector = *Controls[static_cast<size_t>(SelectIndex)];
    if (Index >= selector.ItemCount || Index >= selector.Values.size()) return;
    selector.Values[Index].SetLeft(selector.Maximum);
}

// ---------------------------------------------------------------------------------------------
// TMixerMan

TMixerMan::~TMixerMan() {
    unregisterTarget();
}

void TMixerMan::registerTarget() {
    if (handle_ == platform::kNoTarget) handle_ = loop_.registerTarget(this);
}

void TMixerMan::unregisterTarget() noexcept {
    if (handle_ == platform::kNoTarget) return;
    loop_.unregisterTarget(handle_);
    handle_ = platform::kNoTarget;
}

void TMixerMan::WndProc(uint32_t message, uintptr_t param1, uintptr_t param2) noexcept {
    const bool controlChange =
        message == platform::messageId(platform::MixerMessage::ControlChange);
    const bool lineChange = message == platform::messageId(platform::MixerMessage::LineChange);
    if (!controlChange && !lineChange) return;
    if (Mixer == nullptr || !Mixer->Active || !Mixer->Handle) return;
    if (param1 != Mixer->Handle->identity()) return;  // another device's
    const auto id = static_cast<int32_t>(static_cast<uint32_t>(param2));
    if (id < 0) return;
    try {
        if (controlChange) {
            Mixer->controlChanged(id);
        } else {
            Mixer->lineChanged(id);
        }
    } catch (...) {
        // An owner's handler, or memory running out, costs this one notification only.
    }
}

// ---------------------------------------------------------------------------------------------
// TAudioMixer

TAudioMixer::TAudioMixer(platform::MixerDriver& driver, platform::MessageLoop& loop)
    : Manager(std::make_unique<TMixerMan>(*this, loop)), driver_(driver), loop_(loop) {
    try {
        DeviceCount = driver_.deviceCount();
    } catch (...) {
        DeviceCount = 0;
    }
}

TAudioMixer::~TAudioMixer() {
    Close();
}

void TAudioMixer::SetMixerID(uint32_t value) {
    Close();
    if (value >= DeviceCount) {
        throw EMixerID(kTextMaximumID + std::to_string(static_cast<int64_t>(DeviceCount) - 1));
    }
    MixerID = value;
}

void TAudioMixer::Open() {
    Close();
    if (DeviceCount == 0) throw EMixerID(kTextNoDevice);

    platform::MixerCaps caps;
    if (failed(guarded([&] { return driver_.capabilities(MixerID, caps); }))) {
        throw EMixerCaps(kTextCapsFailed + std::to_string(MixerID));
    }
    ProductName = caps.productName;
    DestinationCount = caps.destinations;

    Manager->registerTarget();
    std::unique_ptr<platform::MixerDevice> device;
    const MMResult opened =
        guarded([&] { return driver_.open(MixerID, loop_, Manager->Handle(), device); });
    if (failed(opened) || !device) {
        Manager->unregisterTarget();
        throw EMixerOpen(kTextOpenFailed);
    }
    Handle = std::move(device);

    try {
        readTree();
    } catch (...) {
        readingTree_ = false;
        release();
        throw;
    }
    Active = true;
}

void TAudioMixer::readTree() {
    readingTree_ = true;
    Destinations.resize(DestinationCount);
    for (uint32_t D = 0; D < DestinationCount; ++D) {
        Destinations[D] = std::make_unique<TDestination>();
        UpdateLine(D, -1);
        TDestination& destination = *Destinations[D];
        if (!destination.Valid) continue;
        makeControls(D, -1);
        destination.Sources.resize(destination.Connections);
        for (uint32_t S = 0; S < destination.Connections; ++S) {
            destination.Sources[S] = std::make_unique<TSource>();
            UpdateLine(D, static_cast<int32_t>(S));
            if (destination.Sources[S]->Valid) makeControls(D, static_cast<int32_t>(S));
        }
    }
    readingTree_ = false;
}

void TAudioMixer::makeControls(uint32_t D, int32_t S) {
    TSource& line = *lineAt(D, S);
    if (line.ControlCount == 0) return;
    line.Controls.resize(line.ControlCount);
    for (auto& c : line.Controls) c = std::make_unique<TAudioControl>(line.Channels, Handle.get());
    UpdateControls(D, S);
    for (uint32_t C = 0; C < line.ControlCount; ++C) UpdateControl(D, S, C);
}

void TAudioMixer::Close() noexcept {
    if (Active) release();
}

void TAudioMixer::release() noexcept {
    Handle.reset();  // closes the device: no change message is posted after this
    Manager->unregisterTarget();
    Active = false;
    Destinations.clear();
    RecordDestination = SpeakersDestination = VoiceDestination = nullptr;
    WaveOut = CDPlay = CDRecord = Synthesizer = LinePlay = LineRecord = MicPlay = MicRecord =
        PCSpeaker = AuxPlay = AuxRecord = AnalogPlay = AnalogRecord = TelephonePlay =
            TelephoneRecord = nullptr;
}

TSource* TAudioMixer::lineAt(uint32_t D, int32_t S) const noexcept {
    if (D >= Destinations.size() || !Destinations[D]) return nullptr;
    TDestination* destination = Destinations[D].get();
    if (S < 0) return destination;
    const auto s = static_cast<size_t>(S);
    return s < destination->Sources.size() ? destination->Sources[s].get() : nullptr;
}

void TAudioMixer::UpdateLine(uint32_t D, int32_t S) {
    TSource* line = lineAt(D, S);
    if (line == nullptr || !Handle) return;
    platform::MixerLine info;
    line->Valid = !failed(guarded([&] { return Handle->lineInfo(D, S, info); }));
    if (!line->Valid) return;
    line->Active = (info.flags & platform::kLineActive) != 0;
    line->Disconnected = (info.flags & platform::kLineDisconnected) != 0;
    line->Channels = info.channels;
    if (S < 0) static_cast<TDestination*>(line)->Connections = info.connections;
    line->ControlCount = info.controls;
    line->ShortName = info.shortName;
    line->Name = info.name;
    line->LineID = info.lineId;
    // Once open, a line keeps the role it was given: a changed line on the playback side must not
    // take over a recording-side reference.
    if (readingTree_) {
        line->SourceIndex = 0;
        recognise(*line, info.componentType, S);
    }
}

// The recording side is reached once the recording destination has been read: a source read from
// then on feeds a recording destination. Which comes first differs from card to card.
void TAudioMixer::recognise(TSource& line, uint32_t componentType, int32_t S) noexcept {
    const auto first = [](auto*& reference, auto* value) {
        if (reference == nullptr) reference = value;
    };
    if (S < 0) {
        auto* destination = static_cast<TDestination*>(&line);
        if (componentType == component::kDstSpeakers ||
            componentType == component::kDstHeadphones) {
            first(SpeakersDestination, destination);
        } else if (componentType == component::kDstWaveIn) {
            first(RecordDestination, destination);
        } else if (componentType == component::kDstVoiceIn) {
            first(VoiceDestination, destination);
        }
        return;
    }

    const bool recordingSide = RecordDestination != nullptr;
    const auto takeForRecording = [&](TSource*& reference) {
        reference = &line;
        line.SourceIndex = static_cast<uint32_t>(S);
    };
    if (componentType == component::kSrcLine) {
        // The last LINE on the recording side is the one recorded.
        if (!recordingSide && LinePlay == nullptr) {
            LinePlay = &line;
        } else {
            takeForRecording(LineRecord);
        }
        return;
    }
    // Kinds found on both sides: the first on the playback side, the first on the recording side.
    struct SidedKind {
        uint32_t type;
        TSource* TAudioMixer::*play;
        TSource* TAudioMixer::*record;
    };
    static constexpr SidedKind kSidedKinds[] = {
        {component::kSrcMicrophone, &TAudioMixer::MicPlay, &TAudioMixer::MicRecord},
        {component::kSrcCompactDisc, &TAudioMixer::CDPlay, &TAudioMixer::CDRecord},
        {component::kSrcTelephone, &TAudioMixer::TelephonePlay, &TAudioMixer::TelephoneRecord},
        {component::kSrcAuxiliary, &TAudioMixer::AuxPlay, &TAudioMixer::AuxRecord},
        {component::kSrcAnalog, &TAudioMixer::AnalogPlay, &TAudioMixer::AnalogRecord},
    };
    for (const SidedKind& kind : kSidedKinds) {
        if (kind.type != componentType) continue;
        if (!recordingSide && this->*kind.play == nullptr) {
            this->*kind.play = &line;
        } else if (this->*kind.record == nullptr) {
            takeForRecording(this->*kind.record);
        }
        return;
    }
    if (componentType == component::kSrcSynthesizer && !recordingSide) first(Synthesizer, &line);
    if (componentType == component::kSrcPcSpeaker) first(PCSpeaker, &line);
    if (componentType == component::kSrcWaveOut) first(WaveOut, &line);
}

void TAudioMixer::UpdateControls(uint32_t D, int32_t S) {
    TSource* line = lineAt(D, S);
    if (line == nullptr || line->Controls.empty() || !Handle) return;
    line->MuteIndex = line->VolumeIndex = line->SelectIndex = -1;
    std::vector<platform::MixerControl> described;
    const auto count = static_cast<uint32_t>(line->Controls.size());
    if (failed(guarded([&] { return Handle->lineControls(line->LineID, count, described); }))) {
        for (auto& c : line->Controls) c->Valid = false;
        return;
    }
    const auto claim = [](int32_t& index, uint32_t C) {
        if (index < 0) index = static_cast<int32_t>(C);
    };
    for (uint32_t C = 0; C < count; ++C) {
        TAudioControl& c = *line->Controls[C];
        if (C >= described.size()) {  // the device described fewer than it counts
            c.Valid = false;
            continue;
        }
        c.describe(described[C]);
        switch (c.ControlType) {
            case control::kMute:
                claim(line->MuteIndex, C);
                break;
            case control::kBass:
            case control::kTreble:
                break;
            case control::kMux:
                claim(line->SelectIndex, C);
                break;
            default:
                claim(line->VolumeIndex, C);
                break;
        }
    }
}

void TAudioMixer::UpdateControl(uint32_t D, int32_t S, uint32_t C) noexcept {
    TSource* line = lineAt(D, S);
    if (line == nullptr || C >= line->Controls.size()) return;
    line->Controls[C]->readValues(line->Channels);
}

// Sources first: a control is looked for among the sources' controls, then among the
// destinations' own.
void TAudioMixer::controlChanged(int32_t id) {
    const auto matches = [id](const std::unique_ptr<TSource>& line, uint32_t& C) {
        if (!line) return false;
        for (C = 0; C < line->Controls.size(); ++C) {
            if (static_cast<int32_t>(line->Controls[C]->ControlID) == id) return true;
        }
        return false;
    };
    uint32_t C = 0;
    for (uint32_t D = 0; D < Destinations.size(); ++D) {
        if (!Destinations[D]) continue;
        const auto& sources = Destinations[D]->Sources;
        for (uint32_t S = 0; S < sources.size(); ++S) {
            if (!matches(sources[S], C)) continue;
            UpdateControl(D, static_cast<int32_t>(S), C);
            DoMixerControlChange(D, S, C);
            return;
        }
    }
    for (uint32_t D = 0; D < Destinations.size(); ++D) {
        if (!Destinations[D]) continue;
        const TDestination& destination = *Destinations[D];
        for (C = 0; C < destination.Controls.size(); ++C) {
            if (static_cast<int32_t>(destination.Controls[C]->ControlID) != id) continue;
            UpdateControl(D, -1, C);
            DoMixerControlChange(D, kDestinationItself, C);
            return;
        }
    }
}

void TAudioMixer::lineChanged(int32_t id) {
    for (uint32_t D = 0; D < Destinations.size(); ++D) {
        if (!Destinations[D] || static_cast<int32_t>(Destinations[D]->LineID) != id) continue;
        UpdateLine(D, -1);
        DoMixerLineChange(D, kDestinationItself);
        return;
    }
    for (uint32_t D = 0; D < Destinations.size(); ++D) {
        if (!Destinations[D]) continue;
        const auto& sources = Destinations[D]->Sources;
        for (uint32_t S = 0; S < sources.size(); ++S) {
            if (!sources[S] || static_cast<int32_t>(sources[S]->LineID) != id) continue;
            UpdateLine(D, static_cast<int32_t>(S));
            DoMixerLineChange(D, S);
            return;
        }
    }
}

void TAudioMixer::DoMixerControlChange(uint32_t D, uint32_t S, uint32_t C) {
    if (OnMixerControlChange) OnMixerControlChange(this, D, S, C);
}

void TAudioMixer::DoMixerLineChange(uint32_t D, uint32_t S) {
    if (OnMixerLineChange) OnMixerLineChange(this, D, S);
}

}  // namespace audio
