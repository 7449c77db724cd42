#include "platform/alsa/AlsaWaveDriver.h"

#include <utility>

#include "platform/alsa/AlsaError.h"
#include "platform/alsa/CaptureStream.h"
#include "platform/alsa/PcmHandle.h"
#include "platform/alsa/PcmSetup.h"
#include "platform/alsa/PlaybackStream.h"

namespace platform::alsa {

AlsaWaveDriver::AlsaWaveDriver(std::string captureDevice, std::string playbackDevice)
    : captureDevice_(std::move(captureDevice)),
      playbackDevice_(std::move(playbackDevice)),
      errors_(std::make_shared<ErrorLog>()) {}

AlsaWaveDriver::~AlsaWaveDriver() = default;

const std::string& AlsaWaveDriver::deviceName(Direction direction) const {
    return direction == Direction::Capture ? captureDevice_ : playbackDevice_;
}

MMResult AlsaWaveDriver::open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                              MessageLoop& loop, TargetId notify,
                              std::unique_ptr<WaveStream>& stream) {
    const std::string& device = deviceName(direction);
    if (deviceId != kWaveMapper) {
        return errors_->record(
            direction,
            Status::fail(MMResult::BadDeviceId,
                         "device " + std::to_string(deviceId) +
                             " does not exist; the only device is the preferred one, \"" + device +
                             '"'));
    }
    if (Status s = checkFormat(format); !s.ok()) return errors_->record(direction, s);

    StreamSetup setup;
    setup.direction = direction;
    setup.device = device;
    setup.loop = &loop;
    setup.notify = notify;
    setup.errors = errors_;
    if (Status s = PcmHandle::open(device, direction, setup.pcm); !s.ok()) {
        return errors_->record(direction, s);
    }
    // From here on a failure closes the PCM: setup owns it, then the stream does.
    if (Status s = setUpPcm(setup.pcm.get(), device, direction, format, setup.geometry); !s.ok()) {
        return errors_->record(direction, s);
    }
    std::unique_ptr<PcmStream> opened;
    if (direction == Direction::Capture) {
        opened = std::make_unique<CaptureStream>(std::move(setup));
    } else {
        opened = std::make_unique<PlaybackStream>(std::move(setup));
    }
    if (Status s = opened->begin(); !s.ok()) return errors_->record(direction, s);
    stream = std::move(opened);
    return MMResult::NoError;
}

std::string AlsaWaveDriver::errorText(Direction direction, MMResult result) const {
    std::string text = standardErrorText(result);
    if (const std::string detail = errors_->detail(direction, result); !detail.empty()) {
        text += " (" + detail + ')';
    }
    return text;
}

}  // namespace platform::alsa
