#include "platform/alsa/AlsaWaveDriver.h"

#include <utility>

#include "platform/QueuedWaveStream.h"
#include "platform/alsa/AlsaLog.h"
#include "platform/alsa/CaptureDevice.h"
#include "platform/alsa/ClosedDevices.h"
#include "platform/alsa/PcmSetup.h"
#include "platform/alsa/PlaybackDevice.h"

namespace platform::alsa {

AlsaWaveDriver::AlsaWaveDriver(std::string captureDevice, std::string playbackDevice)
    : captureDevice_(std::move(captureDevice)),
      playbackDevice_(std::move(playbackDevice)),
      errors_(std::make_shared<ErrorLog>()),
      closed_(std::make_shared<ClosedDevices>()) {
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

    // A capture parked by its last close goes on as it runs: the sound server sees no new stream.
    std::shared_ptr<PcmDevice> pcmDevice = closed_->takeOver(direction, device, format);
    if (!pcmDevice) {
        PcmDevice::Setup setup{direction, device, {}, {}, closed_, format};
        const size_t opener = direction == Direction::Capture ? 0 : 1;
        if (Status s = openers_[opener].open(device, direction, format, closed_->busy(direction),
                                             setup.pcm, setup.geometry);
            !s.ok()) {
            return errors_->record(direction, s);
        }
        if (direction == Direction::Capture) {
            pcmDevice = std::make_shared<CaptureDevice>(std::move(setup));
        } else {
            pcmDevice = std::make_shared<PlaybackDevice>(std::move(setup));
        }
    }
    return QueuedWaveStream::open({direction, device, format.blockAlign, &loop, notify, errors_},
                                  std::move(pcmDevice), stream);
}

ErrorReason AlsaWaveDriver::errorReason(Direction direction, MMResult result) const {
    return errors_->reason(direction, result);
}

}  // namespace platform::alsa
