// ClosedDevices: a driver's devices whose streams have closed them while their threads go on:
// playing out what a playback ring holds, closing the PCM, or parked for the next open (a capture
// kept running). It keeps each alive until its thread has ended and joins it then, never waiting
// for one that has not: a thread may wait inside alsa-lib for a sound server that has stopped. At
// the driver's end it retires the parked ones and waits for all a bounded time; one still inside
// alsa-lib then is abandoned (it posts nothing more) and left to end by itself. UI thread only.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/alsa/PcmDevice.h"

namespace platform::alsa {

// How long the driver's end waits for its closed devices: a play-out (ring plus kPlayOutMargin)
// and the close after it.
inline constexpr std::chrono::milliseconds kClosedDevicesWait{2000};

class ClosedDevices {
  public:
    ClosedDevices() = default;
    ~ClosedDevices();
    ClosedDevices(const ClosedDevices&) = delete;
    ClosedDevices& operator=(const ClosedDevices&) = delete;

    // Keeps `device` until its thread has ended; joins those that have.
    void adopt(std::shared_ptr<PcmDevice> device);
    // A parked device of `device` opened for `format`, taken over for a new stream; null when
    // there is none. The other parked devices of `direction` close: the device may be needed.
    std::shared_ptr<PcmDevice> takeOver(Direction direction, const std::string& device,
                                        const WaveFormat& format);
    // The devices of `direction` whose threads have not ended yet, for an open that finds its
    // device busy to wait for.
    std::vector<std::shared_ptr<PcmDevice>> busy(Direction direction);

  private:
    void joinFinished();

    std::vector<std::shared_ptr<PcmDevice>> devices_;
};

}  // namespace platform::alsa
