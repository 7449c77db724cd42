// TAudioOut, the playback component: it opens a wave output device, has its owner fill the pool's
// buffers through OnFillBuffer, writes them, and refills each buffer the device hands back, for as
// long as the owner supplies data. When the owner stops supplying it and the last queued buffer
// has played, the component closes the device by itself. TCallBackWinOut is its notification
// target. UI thread only; no operation throws (failures are a false result and LastErrorText).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/WaveIO.h"
#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"

namespace audio {

class TAudioOut;

// Hidden notification window of a playback component: passes the driver's messages to the
// component read through ComponentRef when each arrives. One per component, created by the first
// OpenDevice and reused by every later one, so that none pile up.
class TCallBackWinOut final : public platform::MessageTarget {
  public:
    TCallBackWinOut(platform::MessageLoop& loop, const std::unique_ptr<TAudioOut>* componentRef,
                    TAudioOut* self);
    ~TCallBackWinOut();
    TCallBackWinOut(const TCallBackWinOut&) = delete;
    TCallBackWinOut& operator=(const TCallBackWinOut&) = delete;

    platform::TargetId Handle() const noexcept { return Handle_; }
    const std::unique_ptr<TAudioOut>* ComponentRef = nullptr;  // null: the component itself

    void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) override;

  private:
    platform::MessageLoop& Loop_;
    TAudioOut* Self_;
    platform::TargetId Handle_;
};

class TAudioOut : public TWaveIO {
  public:
    using TWaveIO::TWaveIO;
    ~TAudioOut() override;  // stops and closes an open device before the pool is released

    // Fills Buffer with up to Size bytes of whole frames; a handler that writes fewer sets Size
    // to the bytes written (never more than BufferSize). True has the buffer played; false says
    // there is no more data, and the buffer is neither counted nor written. The handler must not
    // destroy the component.
    TBufferEvent OnFillBuffer;

    bool Paused() const noexcept { return Paused_; }
    // Stored; while streaming, the device is paused or resumed at once, otherwise at the next
    // StartPlayback.
    void setPaused(bool value) noexcept;

    // ComponentRef: the owner's variable that holds this component, or null.
    bool StartDevice(const std::unique_ptr<TAudioOut>* ComponentRef = nullptr) noexcept;
    void StopNow() noexcept override;
    void StopWhenDrained() noexcept override;
    virtual bool RequestFill(int32_t Index, int32_t Size) noexcept;
    void CloseDevice() noexcept override;
    virtual bool OpenDevice(const std::unique_ptr<TAudioOut>* ComponentRef = nullptr) noexcept;
    bool StartPlayback() noexcept;
    bool WriteNextBuffer() noexcept;

    TCallBackWinOut* NotifyWindow() const noexcept { return NotifyWindow_.get(); }
    // Buffers the driver holds now (written, not yet done).
    int32_t BuffersInDriver() const noexcept;

  private:
    friend class TCallBackWinOut;
    void BufferDone(uintptr_t stream, uintptr_t headerAddress) noexcept;  // PlaybackDone

    std::unique_ptr<TCallBackWinOut> NotifyWindow_;
    // The open run's stream identity: done messages of any other stream (an earlier run's,
    // handed back by its reset) count nowhere.
    uintptr_t RunStream_ = 0;
    // Buffers the handler accepted while priming: only these are written by StartPlayback.
    int32_t PrimedBuffers_ = 0;
    bool Paused_ = false;
};

}  // namespace audio
