// The card's mixer as the program found it: the values of every control that start-up changes,
// read before the change and written back when the program ends, exactly as they were (every
// channel and every item, so a selection whose channels differ comes back as it was).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioMixer.h"
#include "platform/MixerDriver.h"

namespace app {

class MixerRestore {
  public:
    // Reads the values of `control`, of a line of `lineChannels` channels, unless they are kept
    // already. False when they cannot be read: the caller then leaves the control alone, since
    // it could not be put back.
    bool save(platform::MixerDevice& device, const audio::TAudioControl& control,
              uint32_t lineChannels);
    // Writes every kept control back, in the order they were kept, and forgets them. Returns the
    // detail of each write that failed (`errors` gives the driver's text). A selection that had no
    // item on a channel (independent capture switches, all off) cannot be written as one; the
    // mutes of its items, kept after it, put the switches back.
    std::vector<std::string> restore(platform::MixerDevice& device,
                                     const platform::MixerDriver& errors);
    bool empty() const { return saved_.empty(); }

  private:
    struct Saved {
        uint32_t controlId = 0;
        uint32_t type = 0;
        uint32_t channels = 0;
        uint32_t items = 0;
        std::vector<int32_t> values;
    };
    static bool everyChannelChooses(const Saved& s);

    std::vector<Saved> saved_;
};

}  // namespace app
