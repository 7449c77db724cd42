// CaptureStream: an open capture device. start() begins recording; the driver thread reads into
// the oldest queued buffer until it is full, then returns it with MM_WIM_DATA. Audio that arrives
// while nothing is queued is read and dropped, so the device never sits in an overrun.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/alsa/PcmStream.h"

namespace platform::alsa {

class CaptureStream final : public PcmStream {
  public:
    explicit CaptureStream(StreamSetup setup);
    ~CaptureStream() override { shutdown(); }

    MMResult start() override;
    MMResult pause() override;    // not a capture operation
    MMResult restart() override;  // not a capture operation

  private:
    bool wantsDevice() const override { return running_; }
    void transfer() override;
    Status stopDevice() override;

    // Driver thread, with the lock held: an overrun or suspend interrupted the run.
    void recoverRun(int err);

    bool running_ = false;  // guarded by PcmStream::mutex_: recording was started and not reset
    // One period of room for audio that no queued buffer wants; sized at open, driver thread only.
    std::vector<std::byte> scratch_;
};

}  // namespace platform::alsa
