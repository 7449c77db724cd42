#include "platform/alsa/ClosedDevices.h"

#include <algorithm>
#include <utility>

namespace platform::alsa {

ClosedDevices::~ClosedDevices() {
    for (const std::shared_ptr<PcmDevice>& device : devices_) device->retire();
    const auto until = std::chrono::steady_clock::now() + kClosedDevicesWait;
    for (const std::shared_ptr<PcmDevice>& device : devices_) device->joinBy(until);
}

void ClosedDevices::joinFinished() {
    std::erase_if(devices_, [](const std::shared_ptr<PcmDevice>& d) {
        return d->finished() && d->joinBy(std::chrono::steady_clock::now());
    });
}

void ClosedDevices::adopt(std::shared_ptr<PcmDevice> device) {
    joinFinished();
    devices_.push_back(std::move(device));
}

std::shared_ptr<PcmDevice> ClosedDevices::takeOver(Direction direction, const std::string& device,
                                                   const WaveFormat& format) {
    joinFinished();
    std::shared_ptr<PcmDevice> taken;
    const auto found = std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) {
        return d->direction() == direction && d->takeOver(device, format);
    });
    if (found != devices_.end()) {
        taken = *found;
        devices_.erase(found);
    }
    for (const std::shared_ptr<PcmDevice>& d : devices_)
        if (d->direction() == direction) d->retire();
    return taken;
}

std::vector<std::shared_ptr<PcmDevice>> ClosedDevices::busy(Direction direction) {
    joinFinished();
    std::vector<std::shared_ptr<PcmDevice>> devices;
    for (const std::shared_ptr<PcmDevice>& d : devices_)
        if (d->direction() == direction) devices.push_back(d);
    return devices;
}

}  // namespace platform::alsa
