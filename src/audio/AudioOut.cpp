#include "audio/AudioOut.h"

#include <algorithm>
#include <utility>

#include "audio/DriverCall.h"

namespace audio {

using platform::Direction;
using platform::MMResult;
using platform::WaveHeader;

namespace {

constexpr char kTextOutAlreadyOpen[] = "Wave output device is already open";
constexpr char kTextOutNotOpen[] = "Wave output device is not open";
constexpr char kTextOutNoStream[] = "Wave output driver returned no device";
constexpr char kTextOutNoWindow[] = "Could not create the wave output notification window";
constexpr char kTextNoFilledBuffer[] = "There must be at least one filled buffer";
constexpr char kTextOutStillQueued[] = "Wave output buffer is still queued on the device";
constexpr char kTextFillFailed[] = "Wave output buffer handler failed";

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCallBackWinOut

TCallBackWinOut::TCallBackWinOut(platform::MessageLoop& loop,
                                 const std::unique_ptr<TAudioOut>* componentRef, TAudioOut* self)
    : ComponentRef(componentRef), Loop_(loop), Self_(self), Handle_(loop.registerTarget(this)) {}

TCallBackWinOut::~TCallBackWinOut() {
    Loop_.unregisterTarget(Handle_);
}

void TCallBackWinOut::handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) {
    // Looked up now: the owner may have replaced or released the component since the open.
    TAudioOut* component = ComponentRef != nullptr ? ComponentRef->get() : Self_;
    if (component == nullptr || component != Self_) return;
    switch (static_cast<platform::WaveMessage>(message)) {
        case platform::WaveMessage::PlaybackOpen:
            TAudioOut::Raise(component->OnStart);
            break;
        case platform::WaveMessage::PlaybackClose:
            TAudioOut::Raise(component->OnStop);
            break;
        case platform::WaveMessage::PlaybackDone:
            component->BufferDone(param1, param2);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// TAudioOut

TAudioOut::~TAudioOut() {
    // The driver may still hold the pool; it must let go before TWaveIO releases it.
    StopNow();
}

void TAudioOut::setPaused(bool value) noexcept {
    Paused_ = value;
    if (!Streaming_ || !DeviceHandle_) return;
    const MMResult result =
        Guarded([&] { return value ? DeviceHandle_->pause() : DeviceHandle_->restart(); });
    if (failed(result)) SetDriverError({}, Direction::Playback, result);
}

bool TAudioOut::StartDevice(const std::unique_ptr<TAudioOut>* ComponentRef) noexcept {
    if (!OpenDevice(ComponentRef)) return false;
    return StartPlayback();
}

bool TAudioOut::OpenDevice(const std::unique_ptr<TAudioOut>* ComponentRef) noexcept {
    if (!BeginOpen(NotifyWindow_, ComponentRef, this, kTextOutAlreadyOpen, kTextOutNoWindow) ||
        !OpenStream(Direction::Playback, NotifyWindow_->Handle(), kTextOutNoStream))
        return false;
    RunStream_ = DeviceHandle_->identity();
    if (!PrepareRun(Direction::Playback)) return false;

    // Priming. Only accepted buffers are kept for StartPlayback to write, in ring order from slot
    // 0: a declined one is offered again by the next request instead of being written as it is,
    // so that the counters always count what the driver is given.
    PrimedBuffers_ = 0;
    if (!RequestFill(0, EffectiveBufferSize)) {
        CloseDevice();
        SetError(kTextNoFilledBuffer);
        return false;
    }
    PrimedBuffers_ = 1;
    for (int32_t i = 1; i < RunBuffers_; ++i) {
        if (RequestFill(PrimedBuffers_, EffectiveBufferSize)) ++PrimedBuffers_;
    }
    return true;
}

bool TAudioOut::StartPlayback() noexcept {
    if (!DeviceOpen_) {
        SetError(kTextOutNotOpen);
        return false;
    }
    Streaming_ = true;
    // Paused first: the device then takes the buffers but stays silent until it is resumed.
    if (Paused_) setPaused(true);
    if (!WriteNextBuffer()) {
        CloseDevice();
        return false;
    }
    for (int32_t i = 1; i < PrimedBuffers_; ++i) WriteNextBuffer();
    PrimedBuffers_ = 0;
    return true;
}

bool TAudioOut::WriteNextBuffer() noexcept {
    return AddNextBuffer(Direction::Playback, kTextOutNotOpen, kTextOutStillQueued);
}

bool TAudioOut::RequestFill(int32_t Index, int32_t Size) noexcept {
    if (!Continuing_) return false;
    if (Index < 0 || Index >= RunBuffers_) return false;
    const auto slot = static_cast<size_t>(Index);
    // A buffer the device is playing is not the handler's to write.
    if (InDriver_[slot]) {
        SetError(kTextOutStillQueued);
        return false;
    }
    bool accepted = false;
    if (OnFillBuffer) {
        int32_t size = Size;
        try {
            accepted = OnFillBuffer(Buffers_[slot], size);
        } catch (...) {
            SetError(kTextFillFailed);
            accepted = false;
        }
        // The device plays whole frames, and never beyond the buffer.
        size = std::clamp(size, 0, EffectiveBufferSize);
        Headers_[slot]->bufferLength = static_cast<uint32_t>(size - size % WaveFormat.blockAlign);
    }
    if (accepted) ++FilledCount_;
    QueuedCount_ = FilledCount_ - DoneCount_;
    return accepted;
}

int32_t TAudioOut::BuffersInDriver() const noexcept {
    return static_cast<int32_t>(std::count(InDriver_.begin(), InDriver_.end(), true));
}

// The buffer refilled is the one at NextIndex: after priming it has wrapped to the first buffer
// written, so it is always the oldest, the one just finished. A handler that declines leaves
// NextIndex where it is, and the same buffer is offered at the next done.
void TAudioOut::BufferDone(uintptr_t stream, uintptr_t headerAddress) noexcept {
    if (!DeviceOpen_ || stream != RunStream_) return;
    int32_t index = -1;
    for (int32_t i = 0; i < RunBuffers_; ++i) {
        const auto slot = static_cast<size_t>(i);
        if (reinterpret_cast<uintptr_t>(Headers_[slot]) == headerAddress && InDriver_[slot]) {
            index = i;
            break;
        }
    }
    if (index < 0) return;

    InDriver_[static_cast<size_t>(index)] = false;
    ++DoneCount_;
    QueuedCount_ = FilledCount_ - DoneCount_;
    Streaming_ = QueuedCount_ > 0;
    if (RequestFill(NextIndex_, EffectiveBufferSize)) WriteNextBuffer();
    if (!DeviceOpen_) return;  // the handler stopped the device

    // The device closes once it holds nothing more, not before: a buffer the handler accepted in
    // this very step is played, and one that could not be written keeps nothing open.
    Streaming_ = BuffersInDriver() > 0;
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
    if (!DeviceHandle_) {
        DeviceOpen_ = false;
        return;
    }
    for (int32_t i = 0; i < RunBuffers_; ++i) {
        WaveHeader& header = *Headers_[static_cast<size_t>(i)];
        Guarded([&] { return DeviceHandle_->unprepareHeader(header); });
    }
    MMResult closed = Guarded([&] { return DeviceHandle_->close(); });
    if (closed == MMResult::StillPlaying) {
        // Buffers are still queued: a closed component must not leave its device open.
        Guarded([&] { return DeviceHandle_->reset(); });
        closed = Guarded([&] { return DeviceHandle_->close(); });
    }
    if (failed(closed)) SetDriverError({}, Direction::Playback, closed);
    DeviceHandle_.reset();  // a stream that failed to close is closed by its destructor
    DeviceOpen_ = false;
    RunStream_ = 0;
    PrimedBuffers_ = 0;
    InDriver_.fill(false);
}

void TAudioOut::StopNow() noexcept {
    if (!DeviceOpen_) return;
    Streaming_ = false;
    Continuing_ = false;
    Guarded([&] { return DeviceHandle_->reset(); });
    CloseDevice();
    DeviceFailed_ = false;
}

void TAudioOut::StopWhenDrained() noexcept {
    if (!DeviceOpen_) return;
    Continuing_ = false;
    // With nothing in the driver no done will come to close the device, so close it now.
    if (BuffersInDriver() == 0) CloseDevice();
}

}  // namespace audio
