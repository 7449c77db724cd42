// CaptureDevice: an open capture PCM. start() asks for recording; the driver thread starts the
// PCM and reads into the oldest queued buffer until it is full, and the queue returns it. Once
// started, the PCM runs until it is closed: audio that arrives while nothing is queued, or after a
// reset, is read and dropped, so the device never sits in an overrun, and a new run (or a new
// stream taking the parked device over) begins at once, without the start-up of a new stream on
// a sound server.
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
    Change nextChange() override;
    Outcome makeChange(Change change) override;
    void changeMade(Change change, const Outcome& outcome) override;
    bool wantsDevice() const override { return started_; }
    void transfer() override;
    void takenOver() override { recording_ = false; }

    // Guarded by PcmDevice::mutex_.
    bool recording_ = false;  // start() was called and not undone by a reset: buffers are filled
    bool started_ = false;    // the driver thread has started the PCM
    int overrun_ = 0;         // the read's error to recover from (an overrun or a suspend), or 0
    // One period of room for audio that no queued buffer wants; sized at open, driver thread only.
    std::vector<std::byte> scratch_;
};

}  // namespace platform::alsa
