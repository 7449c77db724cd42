#include "platform/alsa/AlsaMixerDevice.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/MixerChecks.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaMixerValues.h"

namespace platform::alsa {

struct AlsaMixerDevice::Shared {
    Shared(std::string name, MessageLoop& messages, TargetId target, uintptr_t device)
        : device(std::move(name)), loop(&messages), notify(target), identity(device) {}

    // Posts `message` for each id, unless the device has gone.
    void post(MixerMessage message, const std::vector<uint32_t>& ids) {
        std::lock_guard lock(postMutex);
        if (loop == nullptr) return;
        for (uint32_t id : ids) loop->post(notify, messageId(message), identity, id);
    }
    void stopPosting() {
        std::lock_guard lock(postMutex);
        loop = nullptr;
    }

    const std::string device;
    // Guards loop: cleared by the device's destructor, so that a callback on a thread left behind
    // posts nothing to a loop that may be gone.
    std::mutex postMutex;
    MessageLoop* loop;
    const TargetId notify;
    const uintptr_t identity;

    // Built by the mixer's thread before open returns; read-only afterwards.
    AlsaMixerTree tree;
    // What an element's callback is given: the element's entry in the tree.
    struct Watch {
        Shared* shared;
        ElementRef* ref;
    };
    std::vector<Watch> watches;  // one per element of the tree; never grows once made
};

namespace {

using Shared = AlsaMixerDevice::Shared;

std::string controlText(uint32_t controlId) {
    return "control " + std::to_string(controlId);
}

ControlLayout layoutOf(const TreeControl& c) {
    return {c.info.type, c.info.flags, c.info.items, c.info.minimum, c.info.maximum, c.channels};
}

Status failAlsa(const Shared& s, const char* call, int err) {
    return Status::fail(MMResult::Error, callText(call, '"' + s.device + '"', err));
}

// On the mixer's thread, inside snd_mixer_handle_events.
int elementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    auto* watch = static_cast<Shared::Watch*>(snd_mixer_elem_get_callback_private(elem));
    if (watch == nullptr) return 0;
    ElementRef* ref = watch->ref;
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
        ref->elem = nullptr;  // alsa-lib frees the element after this call
        ref->removed = true;
        watch->shared->post(MixerMessage::LineChange, ref->lineIds);
        return 0;
    }
    if ((mask & SND_CTL_EVENT_MASK_VALUE) != 0) {
        watch->shared->post(MixerMessage::ControlChange, ref->controlIds);
    }
    if ((mask & SND_CTL_EVENT_MASK_INFO) != 0) {
        watch->shared->post(MixerMessage::LineChange, ref->lineIds);
    }
    return 0;
}

// The mixer's thread: takes in the events that are waiting, so that alsa-lib's copy of the values
// is the card's.
Status catchUp(const Shared& s, snd_mixer_t* mixer) {
    if (const int err = snd_mixer_handle_events(mixer); err < 0) {
        return failAlsa(s, "snd_mixer_handle_events", err);
    }
    return {};
}

// A control whose element alsa-lib has removed fails.
Status usable(const Shared& s, const TreeControl& control) {
    const auto gone = [](const ElementRef* ref) { return ref != nullptr && ref->removed; };
    if (gone(control.element) ||
        std::any_of(control.itemElements.begin(), control.itemElements.end(), gone)) {
        return Status::fail(MMResult::Error, controlText(control.info.controlId) + " of \"" +
                                                 s.device + "\": its element has been removed");
    }
    return {};
}

Side sideOf(const TreeControl& c) {
    return c.kind == ControlKind::CaptureLevel ? Side::Capture : Side::Playback;
}

// The item chosen on each of the control's channels, from `channels` rows of written values (one
// row gives every channel the same item).
std::vector<size_t> chosenItems(const TreeControl& c, std::span<const int32_t> values,
                                uint32_t channels) {
    const size_t items = c.info.items;
    std::vector<size_t> chosen(c.channels, 0);
    for (uint32_t ch = 0; ch < c.channels; ++ch) {
        const auto row = values.subspan(std::min(ch, channels - 1) * items, items);
        chosen[ch] = static_cast<size_t>(
            std::find_if(row.begin(), row.end(), [](int32_t v) { return v != 0; }) - row.begin());
    }
    return chosen;
}

// On the mixer's thread.
ElementResult readValues(const TreeControl& c, std::span<int32_t> values, uint32_t channels) {
    ElementResult r;
    const size_t items = c.info.items;
    switch (c.kind) {
        case ControlKind::PlaybackLevel:
        case ControlKind::CaptureLevel:
            return readLevel(c.element->elem, sideOf(c), values.first(channels));
        case ControlKind::Mute: {
            bool muted = false;
            r = readMute(c.element->elem, muted);
            values[0] = muted ? 1 : 0;
            return r;
        }
        case ControlKind::CaptureMute:
            for (uint32_t ch = 0; r.ok() && ch < channels; ++ch) {
                bool on = false;
                r = readCaptureSwitch(c.element->elem, ch, on);
                values[ch] = on ? 0 : 1;
            }
            return r;
        case ControlKind::SwitchSelect:
            for (uint32_t ch = 0; r.ok() && ch < channels; ++ch) {
                for (size_t i = 0; r.ok() && i < items; ++i) {
                    bool on = false;
                    r = readCaptureSwitch(c.itemElements[i]->elem, ch, on);
                    values[ch * items + i] = on ? 1 : 0;
                }
            }
            return r;
        case ControlKind::EnumSelect:
            for (uint32_t ch = 0; r.ok() && ch < channels; ++ch) {
                unsigned item = 0;
                r = readEnumItem(c.element->elem, ch, item);
                for (size_t i = 0; i < items; ++i) values[ch * items + i] = i == item ? 1 : 0;
            }
            return r;
    }
    return r;
}

// On the mixer's thread. `values` as valuesToWrite left them: of a selector, one item chosen per
// row.
ElementResult writeValues(const TreeControl& c, std::span<const int32_t> values,
                          uint32_t channels) {
    ElementResult r;
    switch (c.kind) {
        case ControlKind::PlaybackLevel:
        case ControlKind::CaptureLevel:
            return writeLevel(c.element->elem, sideOf(c), values.first(channels));
        case ControlKind::Mute:
            return writeMute(c.element->elem, values[0] != 0);
        case ControlKind::CaptureMute:
            for (uint32_t ch = 0; r.ok() && ch < c.channels; ++ch) {
                r = writeCaptureSwitch(c.element->elem, ch,
                                       values[std::min(ch, channels - 1)] == 0);
            }
            return r;
        case ControlKind::EnumSelect: {
            const std::vector<size_t> chosen = chosenItems(c, values, channels);
            for (uint32_t ch = 0; r.ok() && ch < c.channels; ++ch) {
                r = writeEnumItem(c.element->elem, ch, static_cast<unsigned>(chosen[ch]));
            }
            return r;
        }
        case ControlKind::SwitchSelect: {
            const std::vector<size_t> chosen = chosenItems(c, values, channels);
            // The chosen switch of each channel on first, so that no channel is left without a
            // source. Exclusive switches are one enumeration underneath: turning one on turns the
            // others of its channel off.
            for (uint32_t ch = 0; r.ok() && ch < c.channels; ++ch) {
                r = writeCaptureSwitch(c.itemElements[chosen[ch]]->elem, ch, true);
            }
            if (c.exclusive) return r;
            for (uint32_t ch = 0; r.ok() && ch < c.channels; ++ch) {
                for (size_t i = 0; r.ok() && i < c.itemElements.size(); ++i) {
                    if (i != chosen[ch]) r = writeCaptureSwitch(c.itemElements[i]->elem, ch, false);
                }
            }
            return r;
        }
    }
    return r;
}

}  // namespace

AlsaMixerDevice::AlsaMixerDevice(Key, std::string device, std::shared_ptr<ErrorLog> errors)
    : device_(std::move(device)), errors_(std::move(errors)) {}

MMResult AlsaMixerDevice::open(const std::string& device, MessageLoop& loop, TargetId notify,
                               std::shared_ptr<ErrorLog> errors,
                               std::unique_ptr<MixerDevice>& out) {
    auto opened = std::make_unique<AlsaMixerDevice>(Key{}, device, errors);
    if (Status s = opened->start(loop, notify); !s.ok()) return errors->record(s);
    out = std::move(opened);
    return MMResult::NoError;
}

Status AlsaMixerDevice::start(MessageLoop& loop, TargetId notify) {
    shared_ = std::make_shared<Shared>(device_, loop, notify, identity());
    Shared* shared = shared_.get();
    const auto setUp = [shared](snd_mixer_t* mixer) -> Status {
        shared->tree = AlsaMixerTree::build(mixer);
        shared->watches.reserve(shared->tree.elements().size());  // callbacks hold addresses
        for (const std::unique_ptr<ElementRef>& ref : shared->tree.elements()) {
            shared->watches.push_back({shared, ref.get()});
            snd_mixer_elem_set_callback(ref->elem, &elementEvent);
            snd_mixer_elem_set_callback_private(ref->elem, &shared->watches.back());
        }
        return {};
    };
    Status s = AlsaMixerThread::start(device_, setUp, shared_, thread_);
    if (s.ok()) tree_ = &shared_->tree;
    return s;
}

AlsaMixerDevice::~AlsaMixerDevice() {
    // Nothing more is posted, whether or not the thread ends in time; closing the mixer removes
    // every element, and those removals are not changes anybody should hear of.
    if (shared_) shared_->stopPosting();
    thread_.reset();
}

MMResult AlsaMixerDevice::lineInfo(uint32_t destination, int32_t source, MixerLine& line) {
    const std::vector<TreeDestination>& destinations = tree_->destinations();
    const size_t sources =
        destination < destinations.size() ? destinations[destination].sources.size() : 0;
    if (Status s = checkLineInfo(destination, source, destinations.size(), sources); !s.ok()) {
        return errors_->record(s);
    }
    const TreeDestination& d = destinations[destination];
    const TreeLine& l = source < 0 ? d.line : d.sources[static_cast<size_t>(source)];
    line = l.info;
    if (l.element != nullptr && l.element->removed) {
        line.flags = (line.flags & ~kLineActive) | kLineDisconnected;
    }
    return MMResult::NoError;
}

MMResult AlsaMixerDevice::lineControls(uint32_t lineId, uint32_t count,
                                       std::vector<MixerControl>& controls) {
    const TreeLine* l = tree_->line(lineId);
    const auto known = l != nullptr ? std::optional(l->controls.size()) : std::nullopt;
    if (Status s = checkLineControls(lineId, known, count); !s.ok()) return errors_->record(s);
    controls.clear();
    for (const TreeControl& c : l->controls) controls.push_back(c.info);
    return MMResult::NoError;
}

MMResult AlsaMixerDevice::getDetails(const ControlDetails& details) {
    const TreeControl* c = tree_->control(details.controlId);
    const std::optional<ControlLayout> layout = c ? std::optional(layoutOf(*c)) : std::nullopt;
    if (Status s = checkDetails("getDetails", details, layout ? &*layout : nullptr); !s.ok()) {
        return errors_->record(s);
    }
    if (Status s = thread_->eventFailure(); !s.ok()) return errors_->record(s);
    // The command owns what it reads into: the call may give up on it before it ends.
    const size_t words = valueWords(details.channels, details.items);
    auto read = std::make_shared<std::vector<int32_t>>(words, 0);
    const uint32_t channels = details.channels;
    Status s = thread_->run([shared = shared_, c, channels, read](snd_mixer_t* mixer) {
        Status ready = catchUp(*shared, mixer);
        if (ready.ok()) ready = usable(*shared, *c);
        if (!ready.ok()) return ready;
        const ElementResult r = readValues(*c, *read, channels);
        return r.ok() ? Status{} : failAlsa(*shared, r.call, r.err);
    });
    if (s.ok()) std::copy(read->begin(), read->end(), details.values.begin());
    return errors_->record(s);
}

MMResult AlsaMixerDevice::setDetails(const ControlDetails& details) {
    const TreeControl* c = tree_->control(details.controlId);
    const std::optional<ControlLayout> layout = c ? std::optional(layoutOf(*c)) : std::nullopt;
    std::vector<int32_t> written;
    Status checked = checkDetails("setDetails", details, layout ? &*layout : nullptr);
    if (checked.ok()) checked = valuesToWrite(details, *layout, written);
    if (checked.ok()) checked = thread_->eventFailure();
    if (!checked.ok()) return errors_->record(checked);
    const uint32_t channels = details.channels;
    Status s = thread_->run(
        [shared = shared_, c, channels, values = std::move(written)](snd_mixer_t* mixer) {
            Status ready = catchUp(*shared, mixer);
            if (ready.ok()) ready = usable(*shared, *c);
            if (!ready.ok()) return ready;
            const ElementResult r = writeValues(*c, values, channels);
            return r.ok() ? Status{} : failAlsa(*shared, r.call, r.err);
        });
    if (!s.ok()) return errors_->record(s);
    // Not every control device tells the handle that wrote of its own change (PulseAudio's plugin
    // does not), so the write posts its change itself; where the card does tell, a second
    // message follows.
    shared_->post(MixerMessage::ControlChange, {c->info.controlId});
    return MMResult::NoError;
}

}  // namespace platform::alsa
