// CaptureDevice: an open capture PCM. start() begins recording; the driver thread reads into the
// oldest queued buffer until it is full, and the queue returns it. Audio that arrives while
// nothing is queued is read and dropped, so the device never sits in an overrun.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/alsa/PcmDevice.h"

namespace platform::alsa {

class CaptureDevice final : public PcmDevice {
  public:
    explicit CaptureDevice(Setup setup);

    Status start() override;
    Status stop() override;

  private:
    bool wantsDevice() const override { return running_; }
    void transfer() override;

    // Driver thread, with the lock held: an overrun or suspend interrupted the run.
    void recoverRun(int err);

    bool running_ = false;  // guarded by PcmDevice::mutex_: recording was started and not reset
    // One period of room for audio that no queued buffer wants; sized at open, driver thread only.
    std::vector<std::byte> scratch_;
};

}  // namespace platform::alsa
