// AlsaWaveDriver: the wave driver on ALSA PCM devices. The preferred device (kWaveMapper) of each
// direction is the ALSA device name given at construction; there are no numbered devices. Its
// streams keep the platform's stream contract (QueuedWaveStream); each runs one driver thread
// (PcmDevice). Nothing the UI thread calls waits for a device without a bound: a PCM is opened on
// a thread of its own (PcmOpener), and closed by its driver thread.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/ErrorLog.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/PcmOpener.h"

namespace platform::alsa {

class ClosedDevices;

class AlsaWaveDriver final : public WaveDriver {
  public:
    explicit AlsaWaveDriver(std::string captureDevice = "default",
                            std::string playbackDevice = "default");
    // Waits for the devices that still play out or close after their close, a bounded time
    // (kClosedDevicesWait): they post their close messages, so every message loop handed to open
    // must outlive the driver. One that has not ended by then posts nothing more.
    ~AlsaWaveDriver() override;
    AlsaWaveDriver(const AlsaWaveDriver&) = delete;
    AlsaWaveDriver& operator=(const AlsaWaveDriver&) = delete;

    // Opens the configured device of `direction`; failures: BadDeviceId (no such device, or any
    // id but kWaveMapper), Allocated (in use), BadFormat (the device cannot take the format
    // exactly), NoAnswer (the device has not answered within kOpenWait; its open goes on, and a
    // later call takes it once it has), Error (anything else). The text of each names the call,
    // device and ALSA's reason. A capture closed less than kWarmGrace before, of the same device
    // and format, is taken over as it runs.
    MMResult open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                  MessageLoop& loop, TargetId notify, std::unique_ptr<WaveStream>& stream) override;

    // The standard text of `result` and the detail of the latest failure with this code in this
    // direction (from this driver or one of its streams). Any thread.
    ErrorReason errorReason(Direction direction, MMResult result) const override;

    // The ALSA device name given at construction.
    std::string deviceName(Direction direction) const override;

  private:
    const std::string captureDevice_;
    const std::string playbackDevice_;
    // Shared with the streams, which may outlive the driver.
    const std::shared_ptr<ErrorLog> errors_;
    // Closed devices whose threads go on; their devices see it through a weak pointer.
    const std::shared_ptr<ClosedDevices> closed_;
    std::array<PcmOpener, 2> openers_;  // capture, playback
};

}  // namespace platform::alsa
