// TAudioOut, the playback component: it opens a wave output device, has its owner fill the pool's
// buffers through OnFillBuffer, writes them, and refills each buffer the device hands back, for as
// long as the owner supplies data. When the owner stops supplying it and the last queued buffer
// has played, the component closes the device by itself. TCallBackWinOut is its notification
// target. UI thread only; no operation throws (failures are a false result and LastErrorText).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/NotifyTarget.h"
#include "audio/WaveIO.h"
#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"

namespace audio {

class TAudioOut : public TWaveIO {
  public:
    using TWaveIO::TWaveIO;

    bool Paused() const noexcept { return Paused_; }
    // Stored; while streaming, the device is paused or resumed at once, otherwise at the next
    // StartPlayback.
    void setPaused(bool value) noexcept;

    // Fills Buffer with up to Size bytes of whole frames; a handler that writes fewer sets Size
    // to the bytes written (never more than BufferSize). True has the buffer played; false says
    // there is no more data, and the buffer is neither counted nor written. The handler must not
    // destroy the component.
    TBufferEvent OnFillBuffer;

    // ComponentRef: the owner's variable that holds this component, or null.
    bool StartDevice(const std::unique_ptr<TAudioOut>* ComponentRef = nullptr) noexcept;
    virtual bool RequestFill(int32_t Index, int32_t Size) noexcept;
    void CloseDevice() noexcept override;
    virtual bool OpenDevice(const std::unique_ptr<TAudioOut>* ComponentRef = nullptr) noexcept;
    bool StartPlayback() noexcept;
    bool WriteNextBuffer() noexcept;

    NotifyTarget<TAudioOut>* NotifyWindow() const noexcept { return NotifyWindow_.get(); }

    platform::Direction direction() const noexcept override {
        return platform::Direction::Playback;
    }

  private:
    void bufferReturned(int32_t slot) noexcept override;

    std::unique_ptr<NotifyTarget<TAudioOut>> NotifyWindow_;
    // Buffers the handler accepted while priming: only these are written by StartPlayback.
    int32_t primedBuffers_ = 0;
    bool Paused_ = false;
};

// The hidden notification window of a playback component: one per component, created by the
// first OpenDevice and reused by every later one, so that none pile up.
using TCallBackWinOut = NotifyTarget<TAudioOut>;

}  // namespace audio
