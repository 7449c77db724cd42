#include "platform/alsa/AlsaMixerTree.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "platform/MixerChecks.h"
#include "platform/alsa/AlsaMixerValues.h"

namespace platform::alsa {

namespace {

constexpr std::array kMasterNames{"Master", "Speaker", "Headphone", "Front"};
constexpr std::array kCaptureNames{"Capture"};
constexpr std::array kSelectorNames{"Capture Source", "Input Source"};

// Name words and the component they make a source; a line's first word found here decides.
struct NamedComponent {
    std::string_view word;
    uint32_t component;
};
constexpr std::array kComponentWords{
    NamedComponent{"PCM", component::kSrcWaveOut},
    NamedComponent{"Line", component::kSrcLine},
    NamedComponent{"Mic", component::kSrcMicrophone},
    NamedComponent{"CD", component::kSrcCompactDisc},
    NamedComponent{"Aux", component::kSrcAuxiliary},
    NamedComponent{"Phone", component::kSrcTelephone},
    NamedComponent{"Beep", component::kSrcPcSpeaker},
    NamedComponent{"Synth", component::kSrcSynthesizer},
    NamedComponent{"Video", component::kSrcAnalog},
    NamedComponent{"Analog", component::kSrcAnalog},
};

bool equalNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return (x | 0x20) == (y | 0x20);  // ASCII letters; ALSA's names are ASCII
    });
}

bool playback(snd_mixer_elem_t* e) {
    return snd_mixer_selem_has_playback_volume(e) || snd_mixer_selem_has_playback_switch(e);
}
bool capture(snd_mixer_elem_t* e) {
    return snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e);
}
uint32_t channelsOf(snd_mixer_elem_t* e, bool captureSide) {
    const bool mono =
        captureSide ? snd_mixer_selem_is_capture_mono(e) : snd_mixer_selem_is_playback_mono(e);
    return mono ? 1 : 2;
}

// The first element (index 0) called one of `names`, in the order of `names`, that `fits`.
template <typename Names, typename Fits>
snd_mixer_elem_t* byName(const std::vector<snd_mixer_elem_t*>& all, const Names& names, Fits fits) {
    for (const char* name : names) {
        for (snd_mixer_elem_t* e : all) {
            if (snd_mixer_selem_get_index(e) == 0 &&
                std::string_view(snd_mixer_selem_get_name(e)) == name && fits(e)) {
                return e;
            }
        }
    }
    return nullptr;
}

class Builder {
  public:
    explicit Builder(snd_mixer_t* mixer) {
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e != nullptr;
             e = snd_mixer_elem_next(e)) {
            all_.push_back(e);
        }
    }

    void build(std::vector<TreeDestination>& destinations,
               std::vector<std::unique_ptr<ElementRef>>& elements) {
        destinations.resize(kDestinations);
        buildSpeakers(destinations[kSpeakersDestination]);
        buildRecording(destinations[kRecordingDestination]);
        for (uint32_t d = 0; d < kDestinations; ++d) number(destinations[d], d);
        for (auto& [elem, ref] : refs_) elements.push_back(std::move(ref));
    }

  private:
    ElementRef* ref(snd_mixer_elem_t* e) {
        if (e == nullptr) return nullptr;
        std::unique_ptr<ElementRef>& r = refs_[e];
        if (!r) {
            r = std::make_unique<ElementRef>();
            r->elem = e;
        }
        return r.get();
    }

    TreeLine line(snd_mixer_elem_t* e, std::string_view name, uint32_t componentType,
                  uint32_t channels) {
        TreeLine l;
        l.element = ref(e);
        l.info.componentType = componentType;
        l.info.channels = channels;
        l.info.flags = kLineActive;
        l.info.shortName = cutName(name, kMixerShortNameChars);
        l.info.name = cutName(name, kMixerNameChars);
        return l;
    }

    void addLevel(TreeLine& l, bool captureSide) {
        snd_mixer_elem_t* e = l.element->elem;
        long min = 0;
        long max = 0;
        const bool joined = captureSide ? snd_mixer_selem_has_capture_volume_joined(e)
                                        : snd_mixer_selem_has_playback_volume_joined(e);
        if (captureSide) {
            snd_mixer_selem_get_capture_volume_range(e, &min, &max);
        } else {
            snd_mixer_selem_get_playback_volume_range(e, &min, &max);
        }
        TreeControl c;
        c.kind = captureSide ? ControlKind::CaptureLevel : ControlKind::PlaybackLevel;
        c.element = l.element;
        c.channels = l.info.channels;
        c.info.type = control::kVolume;
        c.info.flags = (l.info.channels == 1 || joined) ? kControlUniform : 0;
        c.info.minimum = 0;
        c.info.maximum = 65535;
        c.info.steps = static_cast<uint32_t>(std::max(max - min, 0L));
        c.info.shortName = "Volume";
        c.info.name = cutName(l.info.name + " Volume", kMixerNameChars);
        l.controls.push_back(std::move(c));
    }

    void addMute(TreeLine& l) {
        TreeControl c;
        c.kind = ControlKind::Mute;
        c.element = l.element;
        c.channels = 1;
        c.info.type = control::kMute;
        c.info.flags = kControlUniform;
        c.info.minimum = 0;
        c.info.maximum = 1;
        c.info.shortName = "Mute";
        c.info.name = cutName(l.info.name + " Mute", kMixerNameChars);
        l.controls.push_back(std::move(c));
    }

    // One value per channel of the element's capture switches: a channel's switch off.
    void addCaptureMute(TreeLine& l) {
        TreeControl c;
        c.kind = ControlKind::CaptureMute;
        c.element = l.element;
        c.channels = l.info.channels;
        c.info.type = control::kMute;
        c.info.flags = l.info.channels == 1 ? kControlUniform : 0;
        c.info.minimum = 0;
        c.info.maximum = 1;
        c.info.shortName = "Mute";
        c.info.name = cutName(l.info.name + " Capture Mute", kMixerNameChars);
        l.controls.push_back(std::move(c));
    }

    void addPlaybackControls(TreeLine& l) {
        if (l.element == nullptr) return;
        if (snd_mixer_selem_has_playback_volume(l.element->elem)) addLevel(l, false);
        if (snd_mixer_selem_has_playback_switch(l.element->elem)) addMute(l);
    }

    void buildSpeakers(TreeDestination& d) {
        snd_mixer_elem_t* master = byName(
            all_, kMasterNames, [](auto e) { return snd_mixer_selem_has_playback_volume(e); });
        if (master == nullptr) {
            const auto it = std::find_if(all_.begin(), all_.end(), [](auto e) {
                return snd_mixer_selem_has_playback_volume(e);
            });
            if (it != all_.end()) master = *it;
        }
        d.line = line(master, "Speakers", component::kDstSpeakers,
                      master != nullptr ? channelsOf(master, false) : 2);
        addPlaybackControls(d.line);
        for (snd_mixer_elem_t* e : all_) {
            if (e == master || !playback(e)) continue;
            const std::string name = elementName(e);
            d.sources.push_back(line(e, name, componentForName(name), channelsOf(e, false)));
            addPlaybackControls(d.sources.back());
        }
    }

    void buildRecording(TreeDestination& d) {
        // The selectable sources: an exclusive capture group, else an enumerated selector, else
        // the sources with capture switches of their own (after the capture element is known).
        std::vector<snd_mixer_elem_t*> group;
        for (snd_mixer_elem_t* e : all_) {
            if (!snd_mixer_selem_has_capture_switch_exclusive(e)) continue;
            if (group.empty() || snd_mixer_selem_get_capture_group(e) ==
                                     snd_mixer_selem_get_capture_group(group.front())) {
                group.push_back(e);
            }
        }
        const bool exclusive = !group.empty();
        snd_mixer_elem_t* selector = nullptr;
        std::vector<std::string> items;
        if (group.empty()) {
            selector = byName(all_, kSelectorNames,
                              [](auto e) { return snd_mixer_selem_is_enumerated(e); });
            if (selector == nullptr) {
                const auto it = std::find_if(all_.begin(), all_.end(), [](auto e) {
                    return snd_mixer_selem_is_enum_capture(e);
                });
                if (it != all_.end()) selector = *it;
            }
            const int count = selector != nullptr ? snd_mixer_selem_get_enum_items(selector) : 0;
            for (int i = 0; i < count; ++i) {
                std::array<char, kMixerNameChars> name{};
                if (snd_mixer_selem_get_enum_item_name(selector, static_cast<unsigned>(i),
                                                       name.size(), name.data()) < 0) {
                    name[0] = '\0';
                }
                items.emplace_back(name.data());
            }
        } else {
            for (snd_mixer_elem_t* e : group) items.push_back(elementName(e));
        }
        const auto isItem = [&](snd_mixer_elem_t* e) {
            return std::find(group.begin(), group.end(), e) != group.end() ||
                   std::find(items.begin(), items.end(), elementName(e)) != items.end();
        };

        snd_mixer_elem_t* captureElem = byName(
            all_, kCaptureNames, [](auto e) { return snd_mixer_selem_has_capture_volume(e); });
        if (captureElem == nullptr) {
            const auto it = std::find_if(all_.begin(), all_.end(), [&](auto e) {
                return snd_mixer_selem_has_capture_volume(e) && !isItem(e) &&
                       componentForName(elementName(e)) == component::kSrcUndefined;
            });
            if (it != all_.end()) captureElem = *it;
        }
        if (group.empty() && selector == nullptr) {
            for (snd_mixer_elem_t* e : all_) {
                if (e == captureElem || !snd_mixer_selem_has_capture_switch(e) ||
                    componentForName(elementName(e)) == component::kSrcUndefined) {
                    continue;
                }
                group.push_back(e);
                items.push_back(elementName(e));
            }
        }
        d.line = line(captureElem, "Recording", component::kDstWaveIn,
                      captureElem != nullptr ? channelsOf(captureElem, true) : 2);
        if (captureElem != nullptr) addLevel(d.line, true);

        // The items' lines, then every other element that captures.
        const auto canCapture = [&](snd_mixer_elem_t* e) { return e != captureElem && capture(e); };
        for (size_t i = 0; i < items.size(); ++i) {
            snd_mixer_elem_t* e = !group.empty() ? group[i] : nullptr;
            if (e == nullptr) {
                const auto it = std::find_if(all_.begin(), all_.end(), [&](auto x) {
                    return canCapture(x) && elementName(x) == items[i];
                });
                if (it != all_.end()) e = *it;
            }
            d.sources.push_back(line(e, items[i], componentForName(items[i]),
                                     e != nullptr ? channelsOf(e, true) : 2));
        }
        for (snd_mixer_elem_t* e : all_) {
            if (!canCapture(e) || isItem(e)) continue;
            const std::string name = elementName(e);
            d.sources.push_back(line(e, name, componentForName(name), channelsOf(e, true)));
        }
        for (TreeLine& s : d.sources) {
            if (s.element == nullptr) continue;
            if (snd_mixer_selem_has_capture_volume(s.element->elem)) addLevel(s, true);
            if (snd_mixer_selem_has_capture_switch(s.element->elem) &&
                !snd_mixer_selem_has_capture_switch_exclusive(s.element->elem)) {
                addCaptureMute(s);
            }
        }

        if (items.empty()) return;
        TreeControl mux;
        mux.info.type = control::kMux;
        mux.info.items = static_cast<uint32_t>(items.size());
        mux.info.minimum = 0;
        mux.info.maximum = 1;
        mux.info.shortName = "Source";
        mux.info.name = "Recording Source";
        for (const std::string& item : items)
            mux.info.itemNames.push_back(cutName(item, kMixerNameChars));
        if (group.empty()) {
            mux.kind = ControlKind::EnumSelect;
            mux.element = ref(selector);
            mux.channels = enumChannels(selector);
        } else {
            mux.kind = ControlKind::SwitchSelect;
            mux.exclusive = exclusive;
            mux.channels = 1;
            for (snd_mixer_elem_t* e : group) {
                mux.itemElements.push_back(ref(e));
                mux.channels = std::max(mux.channels, channelsOf(e, true));
            }
        }
        mux.info.flags = kControlMultiple | (mux.channels == 1 ? kControlUniform : 0);
        d.line.controls.push_back(std::move(mux));
    }

    // Gives the destination and its sources their ids and counts, and tells each element which
    // lines and controls depend on it.
    void number(TreeDestination& d, uint32_t index) {
        const auto numberLine = [&](TreeLine& l, uint32_t source, bool isSource) {
            l.info.destination = index;
            l.info.source = isSource ? source : 0;
            l.info.lineId = lineIdOf(index, isSource ? static_cast<int32_t>(source) : -1);
            if (isSource) l.info.flags |= kLineSource;
            l.info.controls = static_cast<uint32_t>(l.controls.size());
            if (l.element != nullptr) l.element->lineIds.push_back(l.info.lineId);
            for (TreeControl& c : l.controls) {
                c.info.controlId = nextControlId_++;
                if (c.element != nullptr) c.element->controlIds.push_back(c.info.controlId);
                for (ElementRef* item : c.itemElements)
                    item->controlIds.push_back(c.info.controlId);
            }
        };
        numberLine(d.line, 0, false);
        d.line.info.connections = static_cast<uint32_t>(d.sources.size());
        for (uint32_t s = 0; s < d.sources.size(); ++s) numberLine(d.sources[s], s, true);
    }

    std::vector<snd_mixer_elem_t*> all_;
    std::map<snd_mixer_elem_t*, std::unique_ptr<ElementRef>> refs_;
    uint32_t nextControlId_ = 1;
};

}  // namespace

AlsaMixerTree AlsaMixerTree::build(snd_mixer_t* mixer) {
    AlsaMixerTree tree;
    Builder(mixer).build(tree.destinations_, tree.elements_);
    return tree;
}

const TreeLine* AlsaMixerTree::line(uint32_t lineId) const {
    for (const TreeDestination& d : destinations_) {
        if (d.line.info.lineId == lineId) return &d.line;
        for (const TreeLine& s : d.sources) {
            if (s.info.lineId == lineId) return &s;
        }
    }
    return nullptr;
}

const TreeControl* AlsaMixerTree::control(uint32_t controlId) const {
    const auto find = [controlId](const TreeLine& l) -> const TreeControl* {
        for (const TreeControl& c : l.controls) {
            if (c.info.controlId == controlId) return &c;
        }
        return nullptr;
    };
    for (const TreeDestination& d : destinations_) {
        if (const TreeControl* c = find(d.line)) return c;
        for (const TreeLine& s : d.sources) {
            if (const TreeControl* c = find(s)) return c;
        }
    }
    return nullptr;
}

uint32_t componentForName(std::string_view name) {
    if (name.find("PC Speaker") != std::string_view::npos) return component::kSrcPcSpeaker;
    for (std::string_view rest = name; !rest.empty();) {
        const size_t space = rest.find(' ');
        if (equalNoCase(rest.substr(0, space), "Boost")) return component::kSrcUndefined;
        rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    }
    while (!name.empty()) {
        const size_t space = name.find(' ');
        const std::string_view word = name.substr(0, space);
        for (const NamedComponent& c : kComponentWords) {
            if (equalNoCase(word, c.word)) return c.component;
        }
        if (space == std::string_view::npos) break;
        name.remove_prefix(space + 1);
    }
    return component::kSrcUndefined;
}

std::string elementName(snd_mixer_elem_t* elem) {
    std::string name = snd_mixer_selem_get_name(elem);
    if (const unsigned index = snd_mixer_selem_get_index(elem); index != 0) {
        name += ' ' + std::to_string(index);
    }
    return name;
}

snd_mixer_elem_t* findElement(snd_mixer_t* mixer, const char* name) {
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e != nullptr;
         e = snd_mixer_elem_next(e)) {
        if (snd_mixer_selem_get_index(e) == 0 &&
            std::string_view(snd_mixer_selem_get_name(e)) == name) {
            return e;
        }
    }
    return nullptr;
}

}  // namespace platform::alsa
