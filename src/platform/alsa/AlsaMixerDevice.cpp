#include "platform/alsa/AlsaMixerDevice.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/MixerChecks.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaMixerValues.h"

namespace platform::alsa {

namespace {

std::string controlText(uint32_t controlId) {
    return "control " + std::to_string(controlId);
}

ControlLayout layoutOf(const TreeControl& c) {
    return {c.info.type, c.info.flags, c.info.items, c.info.minimum, c.info.maximum, c.channels};
}

}  // namespace

AlsaMixerDevice::AlsaMixerDevice(Key, std::string device, AlsaMixerHandle mixer, MessageLoop& loop,
                                 TargetId notify, std::shared_ptr<ErrorLog> errors)
    : device_(std::move(device)),
      loop_(loop),
      notify_(notify),
      errors_(std::move(errors)),
      mixer_(std::move(mixer)),
      tree_(AlsaMixerTree::build(mixer_.get())) {}

MMResult AlsaMixerDevice::open(const std::string& device, MessageLoop& loop, TargetId notify,
                               std::shared_ptr<ErrorLog> errors,
                               std::unique_ptr<MixerDevice>& out) {
    AlsaMixerHandle mixer;
    if (Status s = AlsaMixerHandle::open(device, mixer); !s.ok()) {
        return errors->record(s);
    }
    std::unique_ptr<AlsaMixerDevice> opened;
    Status started;
    try {
        opened = std::make_unique<AlsaMixerDevice>(Key{}, device, std::move(mixer), loop, notify,
                                                   errors);
        started = opened->start();
    } catch (const std::system_error& e) {
        started = Status::fail(MMResult::Error, "could not start the mixer event thread for \"" +
                                                    device + "\": " + e.what());
    }
    if (!started.ok()) return errors->record(started);
    out = std::move(opened);
    return MMResult::NoError;
}

Status AlsaMixerDevice::start() {
    std::lock_guard lock(mutex_);
    watches_.reserve(tree_.elements().size());  // never grows again: callbacks hold addresses
    for (const std::unique_ptr<ElementRef>& ref : tree_.elements()) {
        watches_.push_back({this, ref.get()});
        snd_mixer_elem_set_callback(ref->elem, &AlsaMixerDevice::elementEvent);
        snd_mixer_elem_set_callback_private(ref->elem, &watches_.back());
    }
    const int count = snd_mixer_poll_descriptors_count(mixer_.get());
    if (count < 0) return failAlsa("snd_mixer_poll_descriptors_count", count);
    fds_.assign(static_cast<size_t>(count) + 1, pollfd{});
    fds_[0] = {wake_.fd(), POLLIN, 0};
    thread_ = std::thread(&AlsaMixerDevice::run, this);
    return {};
}

AlsaMixerDevice::~AlsaMixerDevice() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.signal();
    if (thread_.joinable()) thread_.join();
    // Closing removes every element; those removals are not changes anybody should hear of.
    closing_ = true;
    mixer_.close();
}

void AlsaMixerDevice::run() {
    const auto stop = [this](int err, const char* call) {
        failedErr_ = err;
        failedCall_ = call;
    };
    for (;;) {
        nfds_t watched = 1;
        {
            std::lock_guard lock(mutex_);
            if (quit_) return;
            const int n = snd_mixer_poll_descriptors(mixer_.get(), &fds_[1],
                                                     static_cast<unsigned>(fds_.size() - 1));
            if (n < 0) return stop(n, "snd_mixer_poll_descriptors");
            watched += static_cast<nfds_t>(n);
        }
        if (::poll(fds_.data(), watched, -1) < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            std::lock_guard lock(mutex_);
            return stop(-err, "poll");
        }
        if ((fds_[0].revents & POLLIN) != 0) wake_.clear();

        std::lock_guard lock(mutex_);
        if (quit_) return;
        unsigned short revents = 0;
        int err = snd_mixer_poll_descriptors_revents(mixer_.get(), &fds_[1],
                                                     static_cast<unsigned>(watched - 1), &revents);
        if (err < 0) return stop(err, "snd_mixer_poll_descriptors_revents");
        if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return stop(-ENODEV, "snd_mixer_poll_descriptors_revents");
        }
        if ((revents & POLLIN) == 0) continue;
        err = snd_mixer_handle_events(mixer_.get());  // calls elementEvent for each change
        if (err < 0) return stop(err, "snd_mixer_handle_events");
    }
}

int AlsaMixerDevice::elementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    // Inside snd_mixer_handle_events on the event thread, with mutex_ held.
    const auto* watch = static_cast<const Watch*>(snd_mixer_elem_get_callback_private(elem));
    if (watch == nullptr || watch->device->closing_) return 0;
    ElementRef* ref = watch->ref;
    const AlsaMixerDevice* self = watch->device;
    const auto post = [self](MixerMessage message, const std::vector<uint32_t>& ids) {
        for (uint32_t id : ids) {
            self->loop_.post(self->notify_, messageId(message), self->identity(), id);
        }
    };
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
        ref->elem = nullptr;  // alsa-lib frees the element after this call
        post(MixerMessage::LineChange, ref->lineIds);
        return 0;
    }
    if ((mask & SND_CTL_EVENT_MASK_VALUE) != 0) post(MixerMessage::ControlChange, ref->controlIds);
    if ((mask & SND_CTL_EVENT_MASK_INFO) != 0) post(MixerMessage::LineChange, ref->lineIds);
    return 0;
}

Status AlsaMixerDevice::failAlsa(const char* call, int err) const {
    return Status::fail(MMResult::Error, callText(call, '"' + device_ + '"', err));
}

Status AlsaMixerDevice::usable(const TreeControl& control) const {
    if (failedCall_ != nullptr) return failAlsa(failedCall_, failedErr_);
    const auto gone = [](const ElementRef* ref) { return ref != nullptr && ref->elem == nullptr; };
    if (gone(control.element) ||
        std::any_of(control.itemElements.begin(), control.itemElements.end(), gone)) {
        return Status::fail(MMResult::Error, controlText(control.info.controlId) + " of \"" +
                                                 device_ + "\": its element has been removed");
    }
    return {};
}

MMResult AlsaMixerDevice::lineInfo(uint32_t destination, int32_t source, MixerLine& line) {
    const std::vector<TreeDestination>& destinations = tree_.destinations();
    const size_t sources =
        destination < destinations.size() ? destinations[destination].sources.size() : 0;
    if (Status s = checkLineInfo(destination, source, destinations.size(), sources); !s.ok()) {
        return errors_->record(s);
    }
    const TreeDestination& d = destinations[destination];
    const TreeLine& l = source < 0 ? d.line : d.sources[static_cast<size_t>(source)];
    line = l.info;
    std::lock_guard lock(mutex_);
    if (l.element != nullptr && l.element->elem == nullptr) {
        line.flags = (line.flags & ~kLineActive) | kLineDisconnected;
    }
    return MMResult::NoError;
}

MMResult AlsaMixerDevice::lineControls(uint32_t lineId, uint32_t count,
                                       std::vector<MixerControl>& controls) {
    const TreeLine* l = tree_.line(lineId);
    const auto known = l != nullptr ? std::optional(l->controls.size()) : std::nullopt;
    if (Status s = checkLineControls(lineId, known, count); !s.ok()) return errors_->record(s);
    controls.clear();
    for (const TreeControl& c : l->controls) controls.push_back(c.info);
    return MMResult::NoError;
}

MMResult AlsaMixerDevice::getDetails(const ControlDetails& details) {
    const TreeControl* c = tree_.control(details.controlId);
    const std::optional<ControlLayout> layout = c ? std::optional(layoutOf(*c)) : std::nullopt;
    if (Status s = checkDetails("getDetails", details, layout ? &*layout : nullptr); !s.ok()) {
        return errors_->record(s);
    }
    std::lock_guard lock(mutex_);
    Status s = usable(*c);
    if (s.ok()) s = read(*c, details.values, details.channels);
    return errors_->record(s);
}

MMResult AlsaMixerDevice::setDetails(const ControlDetails& details) {
    const TreeControl* c = tree_.control(details.controlId);
    const std::optional<ControlLayout> layout = c ? std::optional(layoutOf(*c)) : std::nullopt;
    std::vector<int32_t> written;
    Status checked = checkDetails("setDetails", details, layout ? &*layout : nullptr);
    if (checked.ok()) checked = valuesToWrite(details, *layout, written);
    if (!checked.ok()) return errors_->record(checked);
    {
        std::lock_guard lock(mutex_);
        Status s = usable(*c);
        if (s.ok()) s = write(*c, written, details.channels);
        if (!s.ok()) return errors_->record(s);
    }
    // Not every control device tells the handle that wrote of its own change (PulseAudio's plugin
    // does not), so the write posts its change itself; where the card does tell, a second
    // message follows.
    loop_.post(notify_, messageId(MixerMessage::ControlChange), identity(), c->info.controlId);
    return MMResult::NoError;
}

Status AlsaMixerDevice::read(const TreeControl& c, std::span<int32_t> values,
                             uint32_t channels) const {
    ElementResult r;
    switch (c.kind) {
        case ControlKind::PlaybackLevel:
        case ControlKind::CaptureLevel:
            r = readLevel(c.element->elem,
                          c.kind == ControlKind::CaptureLevel ? Side::Capture : Side::Playback,
                          values.first(channels));
            break;
        case ControlKind::Mute: {
            bool muted = false;
            r = readMute(c.element->elem, muted);
            values[0] = muted ? 1 : 0;
            break;
        }
        case ControlKind::SwitchSelect:
            for (size_t i = 0; r.ok() && i < c.itemElements.size(); ++i) {
                bool on = false;
                r = readCaptureSwitch(c.itemElements[i]->elem, on);
                values[i] = on ? 1 : 0;
            }
            break;
        case ControlKind::EnumSelect: {
            unsigned item = 0;
            r = readEnumItem(c.element->elem, item);
            for (uint32_t i = 0; i < c.info.items; ++i) values[i] = i == item ? 1 : 0;
            break;
        }
    }
    return r.ok() ? Status{} : failAlsa(r.call, r.err);
}

Status AlsaMixerDevice::write(const TreeControl& c, std::span<const int32_t> values,
                              uint32_t channels) {
    ElementResult r;
    switch (c.kind) {
        case ControlKind::PlaybackLevel:
        case ControlKind::CaptureLevel:
            r = writeLevel(c.element->elem,
                           c.kind == ControlKind::CaptureLevel ? Side::Capture : Side::Playback,
                           values.first(channels));
            break;
        case ControlKind::Mute:
            r = writeMute(c.element->elem, values[0] != 0);
            break;
        case ControlKind::SwitchSelect:
        case ControlKind::EnumSelect: {
            // valuesToWrite left exactly one item chosen.
            const auto chosen = std::find_if(values.begin(), values.begin() + c.info.items,
                                             [](int32_t v) { return v != 0; });
            const auto item = static_cast<size_t>(chosen - values.begin());
            if (c.kind == ControlKind::EnumSelect) {
                r = writeEnumItem(c.element->elem, static_cast<unsigned>(item));
                break;
            }
            // The chosen switch on first, then the others off: the group is never left empty.
            r = writeCaptureSwitch(c.itemElements[item]->elem, true);
            for (size_t i = 0; r.ok() && i < c.itemElements.size(); ++i) {
                if (i != item) r = writeCaptureSwitch(c.itemElements[i]->elem, false);
            }
            break;
        }
    }
    return r.ok() ? Status{} : failAlsa(r.call, r.err);
}

}  // namespace platform::alsa
