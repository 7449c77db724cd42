// The mixer service: what the mixer component and the window need of a sound card's mixer.
//
// A mixer device is a tree of lines. Each destination (the speakers, the recording input, ...) has
// source lines that feed it (wave output, LINE IN, microphone, CD, ...). Every line, destination or
// source, has controls (level, mute, a selector of the recording source, ...), each holding one or
// more 32-bit values. Lines and controls have identifiers that are unique in the device and never
// change while it is open. The numbers (message, flag, type and component codes) are the classic
// multimedia ones, so that a code seen in a text or a test means the same thing everywhere.
//
// Change notifications: while a device is open, a change of a control's values or of a line's
// state made by anybody (this process included, another program, the hardware) posts a message
// to the target given at open: param1 is the open device's identity, param2 the identifier of the
// control or line that changed.
//
// The device volume service: the level of wave output device 0 and of auxiliary devices 1 to 5
// (CD, Line, Mic, Aux and Video playback), each a 32-bit value whose low word is the left level
// and high word the right level, 0..0xFFFF. A device the card lacks fails the call.
//
// All calls come from the UI thread. No call throws. A call returns within a bounded time: a
// backend whose device does not answer (a sound server that has stopped) fails the call.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/WaveTypes.h"

namespace platform {

enum class MixerMessage : uint32_t {
    LineChange = 0x3D0,
    ControlChange = 0x3D1,
};

constexpr uint32_t messageId(MixerMessage message) {
    return static_cast<uint32_t>(message);
}

// Field sizes of the names, terminating zero included: a name is cut to one less, or fewer so as
// not to end in the middle of a UTF-8 character.
inline constexpr size_t kMixerShortNameChars = 16;
inline constexpr size_t kMixerNameChars = 64;
inline constexpr size_t kMixerProductNameChars = 32;

struct MixerCaps {
    std::string productName;
    uint32_t destinations = 0;
};

// Line flags.
inline constexpr uint32_t kLineActive = 0x1;
inline constexpr uint32_t kLineDisconnected = 0x8000;
inline constexpr uint32_t kLineSource = 0x80000000;

// Line component types.
namespace component {
inline constexpr uint32_t kDstUndefined = 0;
inline constexpr uint32_t kDstDigital = 1;
inline constexpr uint32_t kDstLine = 2;
inline constexpr uint32_t kDstMonitor = 3;
inline constexpr uint32_t kDstSpeakers = 4;
inline constexpr uint32_t kDstHeadphones = 5;
inline constexpr uint32_t kDstTelephone = 6;
inline constexpr uint32_t kDstWaveIn = 7;
inline constexpr uint32_t kDstVoiceIn = 8;
inline constexpr uint32_t kSrcUndefined = 0x1000;
inline constexpr uint32_t kSrcDigital = 0x1001;
inline constexpr uint32_t kSrcLine = 0x1002;
inline constexpr uint32_t kSrcMicrophone = 0x1003;
inline constexpr uint32_t kSrcSynthesizer = 0x1004;
inline constexpr uint32_t kSrcCompactDisc = 0x1005;
inline constexpr uint32_t kSrcTelephone = 0x1006;
inline constexpr uint32_t kSrcPcSpeaker = 0x1007;
inline constexpr uint32_t kSrcWaveOut = 0x1008;
inline constexpr uint32_t kSrcAuxiliary = 0x1009;
inline constexpr uint32_t kSrcAnalog = 0x100A;
}  // namespace component

// Line identifiers, alike in every backend: (destination + 1) << 16 | (source + 1), the source -1
// for the destination itself. Nonzero, positive as int32_t and stable while the device is open;
// control ids count from 1 in tree order and stay below 0x10000, so none equals a line's id.
inline constexpr uint32_t kLineIdShift = 16;
inline constexpr uint32_t kLineIdSourceMask = (1u << kLineIdShift) - 1;

constexpr uint32_t lineIdOf(uint32_t destination, int32_t source) {
    return ((destination + 1) << kLineIdShift) | static_cast<uint32_t>(source + 1);
}
constexpr uint32_t destinationOfLine(uint32_t lineId) {
    return (lineId >> kLineIdShift) - 1;  // ~0u for id 0: no destination
}
constexpr int32_t sourceOfLine(uint32_t lineId) {
    return static_cast<int32_t>(lineId & kLineIdSourceMask) - 1;
}

// One line's description.
struct MixerLine {
    uint32_t destination = 0;  // index of the destination (of the line itself, or its owner)
    uint32_t source = 0;       // index within the destination; 0 for a destination
    uint32_t flags = 0;        // kLine*
    uint32_t lineId = 0;
    uint32_t componentType = 0;  // component::*
    uint32_t channels = 0;
    uint32_t connections = 0;  // a destination's number of sources; 0 for a source
    uint32_t controls = 0;
    std::string shortName;  // at most kMixerShortNameChars - 1 characters
    std::string name;       // at most kMixerNameChars - 1 characters
};

// Control types.
namespace control {
inline constexpr uint32_t kCustom = 0x00000000;
inline constexpr uint32_t kBooleanMeter = 0x10010000;
inline constexpr uint32_t kSignedMeter = 0x10020000;
inline constexpr uint32_t kPeakMeter = 0x10020001;
inline constexpr uint32_t kUnsignedMeter = 0x10030000;
inline constexpr uint32_t kBoolean = 0x20010000;
inline constexpr uint32_t kOnOff = 0x20010001;
inline constexpr uint32_t kMute = 0x20010002;
inline constexpr uint32_t kMono = 0x20010003;
inline constexpr uint32_t kLoudness = 0x20010004;
inline constexpr uint32_t kStereoEnhance = 0x20010005;
inline constexpr uint32_t kSignedNumber = 0x30020000;
inline constexpr uint32_t kUnsignedNumber = 0x30030000;
inline constexpr uint32_t kSlider = 0x40020000;
inline constexpr uint32_t kPan = 0x40020001;
inline constexpr uint32_t kFader = 0x50030000;
inline constexpr uint32_t kVolume = 0x50030001;
inline constexpr uint32_t kBass = 0x50030002;
inline constexpr uint32_t kTreble = 0x50030003;
inline constexpr uint32_t kEqualizer = 0x50030004;
inline constexpr uint32_t kSingleSelect = 0x70010000;
inline constexpr uint32_t kMux = 0x70010001;
inline constexpr uint32_t kMultipleSelect = 0x71010000;
inline constexpr uint32_t kMixer = 0x71010001;

// A control of the single-select class (kSingleSelect, kMux): one item chosen on each channel.
constexpr bool selectsOne(uint32_t type) {
    constexpr uint32_t kClassMask = 0xFF000000;  // class and subclass of a control type
    return (type & kClassMask) == (kSingleSelect & kClassMask);
}
}  // namespace control

// Control flags.
inline constexpr uint32_t kControlUniform = 0x1;   // one value acts on every channel
inline constexpr uint32_t kControlMultiple = 0x2;  // the control has `items` items
inline constexpr uint32_t kControlDisabled = 0x80000000;

// One control's description.
struct MixerControl {
    uint32_t controlId = 0;
    uint32_t type = 0;    // control::*
    uint32_t flags = 0;   // kControl*
    uint32_t items = 0;   // with kControlMultiple: the number of items (at least 1); else 0
    int32_t minimum = 0;  // bounds of a value
    int32_t maximum = 0;
    uint32_t steps = 0;
    std::string shortName;  // at most kMixerShortNameChars - 1 characters
    std::string name;       // at most kMixerNameChars - 1 characters
    // For an item of a multiple-item control: the item's name, in item order.
    std::vector<std::string> itemNames;
};

// Values of a control, as read or written: `channels` times max(items, 1) words, channel-major:
// values[channel * max(items, 1) + item]. `channels` is 1 or the line's number of channels; a
// uniform control takes 1 only. `items` is the control's (0 unless kControlMultiple). A boolean
// value is 0 or nonzero; a level is within the control's bounds. Of a single-select control (a
// MUX), each channel written must have an item chosen (nonzero); the first chosen is taken and
// the others are cleared.
struct ControlDetails {
    uint32_t controlId = 0;
    uint32_t channels = 1;
    uint32_t items = 0;
    std::span<int32_t> values;
};

// One open mixer device.
class MixerDevice {
  public:
    virtual ~MixerDevice() = default;

    // The first parameter of its change messages; unique in the process and never reused.
    uintptr_t identity() const { return identity_; }

    // Destination `destination` (source < 0) or its source `source`; InvalidParam for an index
    // out of range.
    virtual MMResult lineInfo(uint32_t destination, int32_t source, MixerLine& line) = 0;
    // Every control of line `lineId`, in order; `count` must be the line's number of controls.
    virtual MMResult lineControls(uint32_t lineId, uint32_t count,
                                  std::vector<MixerControl>& controls) = 0;
    // Reads or writes the values of `details.controlId`. An unknown control, channel or item
    // counts other than the layout above allows, a span with fewer words than they ask for, or a
    // single-select write with no item chosen is InvalidParam, and changes nothing. One channel
    // read from a control of more gives channel 0; one written sets every channel alike. A
    // written value outside the control's bounds is clamped into them.
    virtual MMResult getDetails(const ControlDetails& details) = 0;
    virtual MMResult setDetails(const ControlDetails& details) = 0;

  protected:
    MixerDevice();

  private:
    const uintptr_t identity_;
};

class MixerDriver {
  public:
    virtual ~MixerDriver() = default;

    virtual uint32_t deviceCount() const = 0;
    // BadDeviceId for an id at or beyond deviceCount.
    virtual MMResult capabilities(uint32_t mixerId, MixerCaps& caps) const = 0;
    // Opens device `mixerId`; its change messages go to `notify` on `loop` until it is destroyed.
    virtual MMResult open(uint32_t mixerId, MessageLoop& loop, TargetId notify,
                          std::unique_ptr<MixerDevice>& device) = 0;

    // The device volume service (see above): device 0 of wave output, auxiliary devices 1..5.
    virtual MMResult waveOutVolume(uint32_t& volume) = 0;
    virtual MMResult setWaveOutVolume(uint32_t volume) = 0;
    virtual MMResult auxVolume(uint32_t auxId, uint32_t& volume) = 0;
    virtual MMResult setAuxVolume(uint32_t auxId, uint32_t volume) = 0;

    // Why a call failed with `result`: the code's standard text and, where the backend knows it,
    // the detail of its latest failure with this code.
    virtual ErrorReason errorReason(MMResult result) const = 0;
    // Text for a result code, as a user should read it (the reason's text).
    std::string errorText(MMResult result) const { return errorReason(result).text(); }

    // The name of the mixer the driver works on, as the user would give it ("hw:1", "default").
    virtual std::string deviceName() const = 0;
};

// Auxiliary device ids of the volume service.
namespace aux {
inline constexpr uint32_t kCompactDisc = 1;
inline constexpr uint32_t kLine = 2;
inline constexpr uint32_t kMicrophone = 3;
inline constexpr uint32_t kAuxiliary = 4;
inline constexpr uint32_t kVideo = 5;
}  // namespace aux

}  // namespace platform
