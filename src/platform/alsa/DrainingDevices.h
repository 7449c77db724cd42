// DrainingDevices: a driver's playback devices that were closed with frames still on their way
// out. Each plays out and closes on its own thread (PcmDevice); this keeps it alive meanwhile, as
// its stream is usually destroyed right after close() returns, and joins the thread. Its
// destruction, with the driver's, waits for what still plays out. UI thread only.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/alsa/PcmDevice.h"

namespace platform::alsa {

class DrainingDevices {
  public:
    DrainingDevices() = default;
    ~DrainingDevices() {
        for (const std::shared_ptr<PcmDevice>& device : devices_) device->join();
    }
    DrainingDevices(const DrainingDevices&) = delete;
    DrainingDevices& operator=(const DrainingDevices&) = delete;

    // Keeps `device` until it has finished; lets go of those that have.
    void adopt(std::shared_ptr<PcmDevice> device) {
        joinIf([](const PcmDevice& d) { return d.finished(); });
        devices_.push_back(std::move(device));
    }
    // Waits until the devices of `direction` have finished; false when there were none.
    bool finish(Direction direction) {
        return joinIf([direction](const PcmDevice& d) { return d.direction() == direction; }) > 0;
    }

  private:
    template <class Which>
    size_t joinIf(Which which) {
        return std::erase_if(devices_, [&](const std::shared_ptr<PcmDevice>& d) {
            if (!which(*d)) return false;
            d->join();
            return true;
        });
    }

    std::vector<std::shared_ptr<PcmDevice>> devices_;
};

}  // namespace platform::alsa
