// Small helpers shared by the instrument's routine files; private to the instrument library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "instrument/FrontPanel.h"
#include "instrument/InstrumentState.h"
#include "instrument/NumText.h"

namespace instrument {

// Shows the parts joined in a fixed buffer (at most 40 characters), so no read-out allocates.
inline void showJoined(FrontPanel& panel, Control control,
                       std::initializer_list<std::string_view> parts) {
    NumText40 line;
    for (std::string_view part : parts) line.append(part);
    panel.setText(control, line.view());
}

// The end of a loop over SampleCount positions. SampleCount never leaves 0..44100; bounding it
// here keeps every loop on a 16-bit position finite whatever the state holds, and changes nothing
// else, since positions beyond the arrays are neither read (they yield 0) nor written.
inline int32_t sampleEnd(int32_t sampleCount) {
    return std::clamp(sampleCount, 0, kSampleSlots);
}

}  // namespace instrument
