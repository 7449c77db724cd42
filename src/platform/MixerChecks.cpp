#include "platform/MixerChecks.h"

#include <algorithm>

namespace platform {

namespace {

// `call(what): why` as InvalidParam, or another code.
Status refused(std::string_view call, const std::string& what, const std::string& why,
               MMResult code = MMResult::InvalidParam) {
    return Status::fail(code, std::string(call) + '(' + what + "): " + why);
}

std::string plural(size_t n, const char* thing) {
    return std::to_string(n) + ' ' + thing + (n == 1 ? "" : "s");
}

}  // namespace

size_t valueWords(uint32_t channels, uint32_t items) {
    return size_t{channels} * std::max<uint32_t>(items, 1);
}

int32_t clampInto(const ControlLayout& control, int32_t value) {
    return std::min(std::max(value, control.minimum), control.maximum);
}

std::string cutName(std::string_view name, size_t field) {
    if (name.size() < field) return std::string(name);
    size_t end = field - 1;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return std::string(name.substr(0, end));
}

Status checkMixerId(std::string_view call, uint32_t mixerId, uint32_t count) {
    if (mixerId < count) return {};
    return refused(call, "mixer " + std::to_string(mixerId), "there are " + plural(count, "device"),
                   MMResult::BadDeviceId);
}

Status checkLineInfo(uint32_t destination, int32_t source, size_t destinations, size_t sources) {
    std::string what = "destination " + std::to_string(destination);
    if (source >= 0) what += ", source " + std::to_string(source);
    if (destination >= destinations) {
        return refused("lineInfo", what, "the device has " + plural(destinations, "destination"));
    }
    if (source >= 0 && static_cast<size_t>(source) >= sources) {
        return refused("lineInfo", what, "the destination has " + plural(sources, "source"));
    }
    return {};
}

Status checkLineControls(uint32_t lineId, std::optional<size_t> controls, uint32_t count) {
    const std::string what = "line " + std::to_string(lineId);
    if (!controls) return refused("lineControls", what, "no such line");
    if (count != *controls) {
        return refused(
            "lineControls", what,
            "the line has " + plural(*controls, "control") + ", not " + std::to_string(count));
    }
    return {};
}

Status checkDetails(std::string_view call, const ControlDetails& details,
                    const ControlLayout* control) {
    const std::string what = "control " + std::to_string(details.controlId);
    if (control == nullptr) return refused(call, what, "no such control");
    const uint32_t channels = control->channels();
    if (details.channels != 1 && details.channels != channels) {
        return refused(call, what,
                       plural(details.channels, "channel") + " asked for; it takes " +
                           (channels == 1 ? "1" : "1 or " + std::to_string(channels)));
    }
    if (details.items != control->itemCount()) {
        return refused(call, what,
                       plural(details.items, "item") + " asked for; it has " +
                           std::to_string(control->itemCount()));
    }
    if (const size_t words = valueWords(details.channels, details.items);
        details.values.size() < words) {
        return refused(call, what,
                       "room for " + plural(details.values.size(), "value") + ", " +
                           std::to_string(words) + " needed");
    }
    return {};
}

Status valuesToWrite(const ControlDetails& details, const ControlLayout& control,
                     std::vector<int32_t>& values) {
    const size_t perChannel = valueWords(1, details.items);
    const auto given = details.values.first(valueWords(details.channels, details.items));
    values.assign(given.begin(), given.end());
    for (int32_t& v : values) v = clampInto(control, v);
    if (!control::selectsOne(control.type) || details.items == 0) return {};
    for (auto channel = values.begin(); channel != values.end(); channel += perChannel) {
        const auto end = channel + static_cast<ptrdiff_t>(perChannel);
        const auto chosen = std::find_if(channel, end, [](int32_t v) { return v != 0; });
        if (chosen == end) {
            return refused("setDetails", "control " + std::to_string(details.controlId),
                           "no item chosen");
        }
        std::fill(chosen + 1, end, 0);
    }
    return {};
}

Status checkAuxId(uint32_t auxId) {
    if (auxId >= aux::kCompactDisc && auxId <= aux::kVideo) return {};
    return Status::fail(MMResult::BadDeviceId,
                        "auxiliary device " + std::to_string(auxId) + ": there are devices 1 to 5");
}

}  // namespace platform
