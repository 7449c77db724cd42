// AlsaWaveDriver: the wave driver on ALSA PCM devices. The preferred device (kWaveMapper) of each
// direction is the ALSA device name given at construction; there are no numbered devices. Its
// streams keep the platform's stream contract (QueuedWaveStream); each runs one driver thread
// (PcmDevice).
#pragma once

#include <memory>
#include <string>

#include "platform/ErrorLog.h"
#include "platform/WaveDriver.h"

namespace platform::alsa {

class DrainingDevices;

class AlsaWaveDriver final : public WaveDriver {
  public:
    explicit AlsaWaveDriver(std::string captureDevice = "default",
                            std::string playbackDevice = "default");
    // Waits for playback devices that still play out after their close (each at most its ring's
    // length plus kPlayOutMargin): they post their close messages, so every message loop handed
    // to open must outlive the driver.
    ~AlsaWaveDriver() override;
    AlsaWaveDriver(const AlsaWaveDriver&) = delete;
    AlsaWaveDriver& operator=(const AlsaWaveDriver&) = delete;

    // Opens the configured device of `direction`; failures: BadDeviceId (no such device, or any
    // id but kWaveMapper), Allocated (in use), BadFormat (the device cannot take the format
    // exactly), Error (anything else). The text of each names the call, device and ALSA's reason.
    MMResult open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                  MessageLoop& loop, TargetId notify, std::unique_ptr<WaveStream>& stream) override;

    // The standard text of `result`, followed by the detail of the latest failure with this code
    // in this direction (from this driver or one of its streams). Any thread.
    std::string errorText(Direction direction, MMResult result) const override;

    // The ALSA device name given at construction.
    std::string deviceName(Direction direction) const override;

  private:
    const std::string captureDevice_;
    const std::string playbackDevice_;
    // Shared with the streams, which may outlive the driver.
    const std::shared_ptr<ErrorLog> errors_;
    // Closed playback devices still playing out; their devices see it through a weak pointer.
    const std::shared_ptr<DrainingDevices> draining_;
};

}  // namespace platform::alsa
