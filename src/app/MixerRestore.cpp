#include "app/MixerRestore.h"

#include <algorithm>

#include "platform/MixerChecks.h"

namespace app {

bool MixerRestore::save(platform::MixerDevice& device, const audio::TAudioControl& control,
                        uint32_t lineChannels) {
    if (!control.Valid || control.ControlType == platform::control::kCustom) return false;
    const auto kept = std::find_if(saved_.begin(), saved_.end(), [&](const Saved& s) {
        return s.controlId == control.ControlID;
    });
    if (kept != saved_.end()) return true;
    Saved s;
    s.controlId = control.ControlID;
    s.type = control.ControlType;
    s.channels = control.Uniform ? 1 : std::max(lineChannels, 1u);
    s.items = control.Multiple ? control.ItemCount : 0;
    s.values.assign(platform::valueWords(s.channels, s.items), 0);
    if (platform::failed(device.getDetails({s.controlId, s.channels, s.items, s.values}))) {
        return false;
    }
    saved_.push_back(std::move(s));
    return true;
}

bool MixerRestore::everyChannelChooses(const Saved& s) {
    for (uint32_t ch = 0; ch < s.channels; ++ch) {
        const auto row = s.values.begin() + static_cast<ptrdiff_t>(ch * s.items);
        if (std::none_of(row, row + s.items, [](int32_t v) { return v != 0; })) return false;
    }
    return true;
}

std::vector<std::string> MixerRestore::restore(platform::MixerDevice& device,
                                               const platform::MixerDriver& errors) {
    std::vector<std::string> failures;
    for (Saved& s : saved_) {
        if (platform::control::selectsOne(s.type) && s.items > 0 && !everyChannelChooses(s)) continue;
        const platform::MMResult r =
            device.setDetails({s.controlId, s.channels, s.items, s.values});
        if (platform::failed(r)) failures.push_back(errors.errorText(r));
    }
    saved_.clear();
    return failures;
}

}  // namespace app
