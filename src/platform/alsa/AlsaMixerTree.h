// AlsaMixerTree: the line tree of the mixer service over ALSA's simple mixer elements.
//
// Destination 0, the speakers: the card's master playback element (Master, else Speaker,
// Headphone, Front, else the first with a playback volume) gives the destination its level and
// mute; every other playback element is a source, typed by its name (componentForName), with its
// level and mute where it has them.
//
// Destination 1, the recording input: the capture element (Capture, else the first with a capture
// volume that is not a source) gives its level; a MUX selects the recording source. The MUX's items
// are the card's selectable sources: the elements of its first exclusive capture group (alsa-lib
// shows a "Capture Source" enumeration this way), else the items of an enumerated "Capture Source"
// /"Input Source" element, else the sources (elements typed by name) that have capture switches
// of their own, any number of them on at once. The MUX has a value per channel of the selection
// (a two-channel enumeration, stereo capture switches): every channel chooses its item. The
// destination's sources are the items first, in that order, then every other element that can
// capture; each has its capture level if it has one, and the lines of independent capture
// switches a mute per channel (a channel's switch off).
//
// A boost ("Mic Boost", "Line Boost Volume") is the gain of an input, not an input: it is typed as
// no source, so that it is neither selected nor taken for the input's level.
//
// Identifiers: lines as every backend numbers them (lineIdOf), controls from 1 in tree order. The
// same elements give the same ids at every open.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MixerDriver.h"

namespace platform::alsa {

inline constexpr uint32_t kSpeakersDestination = 0;
inline constexpr uint32_t kRecordingDestination = 1;
inline constexpr uint32_t kDestinations = 2;

// Where a control's values live.
enum class ControlKind : uint8_t {
    PlaybackLevel,  // the element's playback volume
    CaptureLevel,   // the element's capture volume
    Mute,           // the inverse of the element's playback switch
    CaptureMute,    // the inverse of each channel's capture switch
    SwitchSelect,   // one capture switch per item (exclusive or not)
    EnumSelect,     // the element's enumerated item
};

// One simple element the tree uses, with what depends on it, for its change events. `elem` is used
// on the mixer's thread only and cleared there when alsa-lib removes the element (the card went
// away); `removed` tells any thread.
struct ElementRef {
    snd_mixer_elem_t* elem = nullptr;
    std::atomic<bool> removed{false};
    std::vector<uint32_t> controlIds;
    std::vector<uint32_t> lineIds;
};

struct TreeControl {
    MixerControl info;
    ControlKind kind = ControlKind::PlaybackLevel;
    uint32_t channels = 1;  // how many value channels a caller may give: its line's, or the MUX's
    ElementRef* element = nullptr;          // levels, mutes, the enumeration
    std::vector<ElementRef*> itemElements;  // SwitchSelect: the element of each item
    bool exclusive = false;                 // SwitchSelect: the card keeps one item on per channel
};

struct TreeLine {
    MixerLine info;
    ElementRef* element = nullptr;  // null for a selectable item no element stands for
    std::vector<TreeControl> controls;
};

struct TreeDestination {
    TreeLine line;
    std::vector<TreeLine> sources;
};

class AlsaMixerTree {
  public:
    // Builds the tree over the loaded simple elements of `mixer`; on the mixer's thread.
    static AlsaMixerTree build(snd_mixer_t* mixer);

    const std::vector<TreeDestination>& destinations() const { return destinations_; }
    const TreeLine* line(uint32_t lineId) const;
    const TreeControl* control(uint32_t controlId) const;
    // The elements the tree uses, each once; their addresses stay put when the tree moves.
    const std::vector<std::unique_ptr<ElementRef>>& elements() const { return elements_; }

  private:
    std::vector<TreeDestination> destinations_;
    std::vector<std::unique_ptr<ElementRef>> elements_;
};

// The source component type a line of this name stands for: PCM is wave output, Line is line in,
// and so on; kSrcUndefined for a name it does not know and for a boost.
uint32_t componentForName(std::string_view name);

// The element's name, with its index where it is not 0 ("Mic 1").
std::string elementName(snd_mixer_elem_t* elem);

// The first element with this name and index 0, if the mixer has one.
snd_mixer_elem_t* findElement(snd_mixer_t* mixer, const char* name);

}  // namespace platform::alsa
