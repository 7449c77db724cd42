#include "platform/alsa/AlsaWaveDriver.h"

#include <utility>

#include "platform/QueuedWaveStream.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaLog.h"
#include "platform/alsa/CaptureDevice.h"
#include "platform/alsa/DrainingDevices.h"
#include "platform/alsa/PcmHandle.h"
#include "platform/alsa/PcmSetup.h"
#include "platform/alsa/PlaybackDevice.h"

namespace platform::alsa {

AlsaWaveDriver::AlsaWaveDriver(std::string captureDevice, std::string playbackDevice)
    : captureDevice_(std::move(captureDevice)),
      playbackDevice_(std::move(playbackDevice)),
      errors_(std::make_shared<ErrorLog>()),
      draining_(std::make_shared<DrainingDevices>()) {
    routeLibraryMessages();
}

AlsaWaveDriver::~AlsaWaveDriver() = default;

std::string AlsaWaveDriver::deviceName(Direction direction) const {
    return direction == Direction::Capture ? captureDevice_ : playbackDevice_;
}

MMResult AlsaWaveDriver::open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                              MessageLoop& loop, TargetId notify,
                              std::unique_ptr<WaveStream>& stream) {
    const std::string device = deviceName(direction);
    if (deviceId != kWaveMapper) {
        return errors_->record(
            direction,
            Status::fail(MMResult::BadDeviceId,
                         "device " + std::to_string(deviceId) +
                             " does not exist; the only device is the preferred one, \"" + device +
                             '"'));
    }
    if (Status s = checkFormat(format); !s.ok()) return errors_->record(direction, s);

    PcmDevice::Setup setup{direction, device, {}, {}, draining_};
    Status opened = PcmHandle::open(device, direction, setup.pcm);
    // A device that takes one user at a time may still be held by our own playback playing out:
    // wait for it (at most its deadline) and try once more.
    if (opened.code == MMResult::Allocated && draining_->finish(direction)) {
        opened = PcmHandle::open(device, direction, setup.pcm);
    }
    if (!opened.ok()) return errors_->record(direction, opened);
    // From here on a failure closes the PCM: setup owns it, then the device does.
    if (Status s = setUpPcm(setup.pcm.get(), device, direction, format, setup.geometry); !s.ok()) {
        return errors_->record(direction, s);
    }
    std::shared_ptr<PcmDevice> pcmDevice;
    if (direction == Direction::Capture) {
        pcmDevice = std::make_shared<CaptureDevice>(std::move(setup));
    } else {
        pcmDevice = std::make_shared<PlaybackDevice>(std::move(setup));
    }
    return QueuedWaveStream::open({direction, device, format.blockAlign, &loop, notify, errors_},
                                  std::move(pcmDevice), stream);
}

std::string AlsaWaveDriver::errorText(Direction direction, MMResult result) const {
    return errors_->text(direction, result);
}

}  // namespace platform::alsa
