// TAudioIn, the capture component: it opens a wave input device, keeps the pool's buffers queued
// on it and hands each buffer the driver returns to its owner through OnBufferFilled; the owner's
// answer decides whether the buffer goes back into the queue, and once none is left in the driver
// the component closes the device by itself. TCallBackWinIn is its notification target. UI thread
// only; no operation throws (failures are a false result and LastErrorText).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/NotifyTarget.h"
#include "audio/WaveIO.h"
#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"

namespace audio {

class TAudioIn : public TWaveIO {
  public:
    using TWaveIO::TWaveIO;

    // Gets the buffer and its size (its own copy: what it writes there is ignored); true puts the
    // buffer back into the queue. Must not destroy the component; it may call StopNow,
    // StopWhenDrained or StartDevice.
    TBufferEvent OnBufferFilled;

    // ComponentRef: the owner's variable that holds this component, or null.
    bool StartDevice(const std::unique_ptr<TAudioIn>* ComponentRef = nullptr) noexcept;
    virtual bool DeliverBuffer(std::byte* Buffer, int32_t Size) noexcept;
    void CloseDevice() noexcept override;
    virtual bool OpenDevice(const std::unique_ptr<TAudioIn>* ComponentRef = nullptr) noexcept;
    bool StartCapture() noexcept;
    bool QueueNextBuffer() noexcept;

    NotifyTarget<TAudioIn>* NotifyWindow() const noexcept { return NotifyWindow_.get(); }

    platform::Direction direction() const noexcept override { return platform::Direction::Capture; }

  private:
    void bufferReturned(int32_t slot) noexcept override;

    std::unique_ptr<NotifyTarget<TAudioIn>> NotifyWindow_;
};

// The hidden notification window of a capture component: one per component, created by the first
// OpenDevice and reused by every later one.
using TCallBackWinIn = NotifyTarget<TAudioIn>;

}  // namespace audio
