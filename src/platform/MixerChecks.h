// What every mixer backend does alike, written once: the checks on the requests of the mixer
// service (MixerDriver.h) with the details of their refusals, the values a write stores, and names
// cut to their fields. A backend looks up what a request names and hands it here; it supplies only
// its device I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ErrorLog.h"
#include "platform/MixerDriver.h"

namespace platform {

// What the checks need of a control: its description and the channels of its line.
struct ControlLayout {
    uint32_t type = 0;   // control::*
    uint32_t flags = 0;  // kControl*
    uint32_t items = 0;  // counted with kControlMultiple only
    int32_t minimum = 0;
    int32_t maximum = 0;
    uint32_t lineChannels = 1;

    // The channels its values have: 1 when uniform, else its line's.
    uint32_t channels() const { return (flags & kControlUniform) != 0 ? 1 : lineChannels; }
    // Its items: 0 unless it has multiple.
    uint32_t itemCount() const { return (flags & kControlMultiple) != 0 ? items : 0; }
};

// Words of `channels` x max(items, 1) values.
size_t valueWords(uint32_t channels, uint32_t items);

// `value` within the control's bounds.
int32_t clampInto(const ControlLayout& control, int32_t value);

// `name` cut to a field of `field` characters with its terminating zero, never in the middle of a
// UTF-8 character.
std::string cutName(std::string_view name, size_t field);

// BadDeviceId for a mixer id at or beyond `count`.
Status checkMixerId(std::string_view call, uint32_t mixerId, uint32_t count);

// lineInfo's request: the destination below `destinations`; a source (>= 0) below `sources`, the
// number of sources of that destination (unused when the destination is unknown).
Status checkLineInfo(uint32_t destination, int32_t source, size_t destinations, size_t sources);

// lineControls' request: a known line (`controls` its number of controls; nullopt: no such line)
// and `count` equal to that number.
Status checkLineControls(uint32_t lineId, std::optional<size_t> controls, uint32_t count);

// getDetails' and setDetails' request (`call` names which): a known control (`control` null
// otherwise), 1 or control->channels() channels, control->itemCount() items, and a span of at
// least the words those ask for.
Status checkDetails(std::string_view call, const ControlDetails& details,
                    const ControlLayout* control);

// What setDetails stores, after checkDetails passed: the words the request asks for, each clamped
// into the bounds; of a single-select control with items each channel keeps its first chosen
// (nonzero) item and clears the others, and a channel with none chosen is InvalidParam.
Status valuesToWrite(const ControlDetails& details, const ControlLayout& control,
                     std::vector<int32_t>& values);

// BadDeviceId for an auxiliary device id outside 1..5.
Status checkAuxId(uint32_t auxId);

}  // namespace platform
