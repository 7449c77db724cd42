// DeviceNotice: the lines of what keeps the instrument from its card, one after the other: the
// capture device's and the playback device's while they fail, and the mixer's for a while after
// start-up.
#include <string>

#include "instrument/Instrument.h"

namespace instrument {

void Instrument::ShowMixerNotice(std::string_view text) {
    mixerNotice_ = text;
    mixerNoticeUntil_ = clock_() + kMixerNoticeTime;
    ShowDeviceNotice();
}

void Instrument::ExpireMixerNotice() {
    if (mixerNotice_.empty() || clock_() < mixerNoticeUntil_) return;
    mixerNotice_.clear();
    ShowDeviceNotice();
}

void Instrument::ShowDeviceNotice() {
    std::string text;
    for (const std::string* line : {&captureFailure_, &generatorFailure_, &mixerNotice_}) {
        if (line->empty()) continue;
        if (!text.empty()) text += '\n';
        text += *line;
    }
    panel_.setText(Control::DeviceNotice, text);
    panel_.setVisible(Control::DeviceNotice, !text.empty());
}

}  // namespace instrument
