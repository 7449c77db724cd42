// DeviceNotice: the lines of what keeps the instrument from its card, one after the other: the
// capture device's and the playback device's while they fail, and the mixer's for a while after
// start-up.
#include <cstdio>
#include <string>
#include <utility>

#include "instrument/Instrument.h"

namespace instrument {

void Instrument::showMixerNotice(NoticeLine line) {
    mixerNoticeUntil_ = clock_() + kMixerNoticeTime;
    setNoticeLine(mixerNotice_, std::move(line));
}

void Instrument::expireMixerNotice() {
    if (mixerNotice_.heading.empty() || clock_() < mixerNoticeUntil_) return;
    setNoticeLine(mixerNotice_, {});
}

// The retries of a failing device, which show the same line, and a reason that changes while it
// goes on failing print nothing more; once the device works its line goes, and the next failure
// is printed again.
void Instrument::setNoticeLine(NoticeLine& line, NoticeLine next) {
    if (!next.heading.empty() && next.heading != line.heading)
        std::fprintf(stderr, "soundscope: %s: %s\n", next.heading.c_str(), next.reason.c_str());
    line = std::move(next);
    showDeviceNotice();
}

void Instrument::showDeviceNotice() {
    std::string text;
    for (const NoticeLine* line : {&captureFailure_, &generatorFailure_, &mixerNotice_}) {
        if (line->heading.empty()) continue;
        if (!text.empty()) text += '\n';
        text.append(line->heading).append(": ").append(line->reason);
        if (!line->consequence.empty()) text.append("\n").append(line->consequence);
    }
    panel_.setText(Control::DeviceNotice, text);
    panel_.setVisible(Control::DeviceNotice, !text.empty());
}

}  // namespace instrument
