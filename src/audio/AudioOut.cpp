#include "audio/AudioOut.h"

#include <algorithm>

#include "audio/DriverCall.h"

namespace audio {

using platform::MMResult;

namespace {

constexpr char kTextNoFilledBuffer[] = "There must be at least one filled buffer";

}  // namespace

void TAudioOut::setPaused(bool value) noexcept {
    Paused_ = value;
    if (!Streaming_ || !DeviceHandle_) return;
    const MMResult result =
        guarded([&] { return value ? DeviceHandle_->pause() : DeviceHandle_->restart(); });
    if (failed(result)) setDriverError({}, result);
}

bool TAudioOut::StartDevice(const std::unique_ptr<TAudioOut>* ComponentRef) noexcept {
    if (!OpenDevice(ComponentRef)) return false;
    return StartPlayback();
}

bool TAudioOut::OpenDevice(const std::unique_ptr<TAudioOut>* ComponentRef) noexcept {
    if (!beginOpen(NotifyWindow_, ComponentRef, this) || !openStream(NotifyWindow_->Handle()) ||
        !prepareRun())
        return false;

    // Priming. Only accepted buffers are kept for StartPlayback to write, in ring order from slot
    // 0: a declined one is offered again by the next request instead of being written as it is,
    // so that the counters always count what the driver is given.
    primedBuffers_ = 0;
    if (!RequestFill(0, EffectiveBufferSize)) {
        CloseDevice();
        setError(kTextNoFilledBuffer);
        return false;
    }
    primedBuffers_ = 1;
    for (int32_t i = 1; i < runBuffers_; ++i) {
        if (RequestFill(primedBuffers_, EffectiveBufferSize)) ++primedBuffers_;
    }
    return true;
}

bool TAudioOut::StartPlayback() noexcept {
    if (!requireOpen()) return false;
    Streaming_ = true;
    // Paused first: the device then takes the buffers but stays silent until it is resumed.
    if (Paused_) setPaused(true);
    if (!WriteNextBuffer()) {
        CloseDevice();
        return false;
    }
    for (int32_t i = 1; i < primedBuffers_; ++i) WriteNextBuffer();
    primedBuffers_ = 0;
    return true;
}

bool TAudioOut::WriteNextBuffer() noexcept {
    return addNextBuffer();
}

bool TAudioOut::RequestFill(int32_t Index, int32_t Size) noexcept {
    if (!Continuing_) return false;
    if (Index < 0 || Index >= runBuffers_) return false;
    const auto slot = static_cast<size_t>(Index);
    // A buffer the device is playing is not the handler's to write.
    if (inDriver_[slot]) {
        setError(texts().stillQueued);
        return false;
    }
    bool accepted = false;
    if (OnFillBuffer) {
        int32_t size = Size;
        accepted = callHandler(OnFillBuffer, buffers_[slot], size);
        // The device plays whole frames, and never beyond the buffer.
        size = std::clamp(size, 0, EffectiveBufferSize);
        headers_[slot]->bufferLength = static_cast<uint32_t>(size - size % WaveFormat.blockAlign);
    }
    if (accepted) ++FilledCount_;
    QueuedCount_ = FilledCount_ - DoneCount_;
    return accepted;
}

// The buffer refilled is the one at NextIndex: after priming it has wrapped to the first buffer
// written, so it is always the oldest, the one just finished. A handler that declines leaves
// NextIndex where it is, and the same buffer is offered at the next done.
void TAudioOut::bufferReturned(int32_t /*slot*/) noexcept {
    QueuedCount_ = FilledCount_ - DoneCount_;
    Streaming_ = QueuedCount_ > 0;
    if (RequestFill(NextIndex_, EffectiveBufferSize)) WriteNextBuffer();
    if (!DeviceOpen_) return;  // the handler stopped the device

    // The device closes once it holds nothing more, not before: a buffer the handler accepted in
    // this very step is played, and one that could not be written keeps nothing open.
    Streaming_ = buffersInDriver() > 0;
    if (!Streaming_) {
        Continuing_ = false;
        CloseDevice();
    }
}

// No reset here: the device holds nothing by now, or what it holds has been reset by StopNow. A
// playback device plays out what it has taken before it closes, and the close message follows.
void TAudioOut::CloseDevice() noexcept {
    Streaming_ = false;
    setPaused(false);  // not streaming: no device call
    closeStream(false);
    primedBuffers_ = 0;
}

}  // namespace audio
