#include "audio/AudioIn.h"

#include "audio/DriverCall.h"

namespace audio {

using platform::MMResult;

namespace {

constexpr char kTextStartFailed[] = "Error starting wave record: ";
constexpr char kTextInFailed[] = "Wave input device failed: ";

}  // namespace

bool TAudioIn::StartDevice(const std::unique_ptr<TAudioIn>* ComponentRef) noexcept {
    if (!OpenDevice(ComponentRef)) return false;
    return StartCapture();
}

bool TAudioIn::OpenDevice(const std::unique_ptr<TAudioIn>* ComponentRef) noexcept {
    return beginOpen(NotifyWindow_, ComponentRef, this) && openStream(NotifyWindow_->Handle()) &&
           prepareRun();
}

bool TAudioIn::StartCapture() noexcept {
    if (!requireOpen()) return false;
    // Recording starts before any buffer is queued.
    const MMResult started = guarded([&] { return DeviceHandle_->start(); });
    if (failed(started)) {
        CloseDevice();  // closed first; the text still names the start's own code
        setDriverError(kTextStartFailed, started);
        return false;
    }
    Streaming_ = true;
    for (int32_t i = 0; i < runBuffers_; ++i) {
        if (!QueueNextBuffer()) {
            CloseDevice();
            return false;
        }
    }
    return true;
}

bool TAudioIn::QueueNextBuffer() noexcept {
    if (!addNextBuffer()) return false;
    ++QueuedCount_;
    return true;
}

bool TAudioIn::DeliverBuffer(std::byte* Buffer, int32_t Size) noexcept {
    if (!Continuing_) return false;
    int32_t size = Size;  // the handler's own copy
    const bool accepted = !OnBufferFilled || callHandler(OnBufferFilled, Buffer, size);
    if (accepted) ++FilledCount_;
    return accepted;
}

// The buffer delivered is the one the driver returned (the header the message names), not the one
// at NextIndex: after a declined delivery the two differ, and the owner must see each quarter of
// the run once. NextIndex is set to it so that an accepted buffer is re-queued and the ring goes
// on; with a handler that accepts everything this is the plain ring order.
void TAudioIn::bufferReturned(int32_t slot) noexcept {
    --QueuedCount_;
    Streaming_ = QueuedCount_ > 0;

    // Only the device's failure hands a buffer of the run back unfilled: its tail still holds an
    // earlier run's samples, so it is not delivered, and the run ends with the failure's text.
    const auto index = static_cast<size_t>(slot);
    if (headers_[index]->bytesRecorded < static_cast<uint32_t>(EffectiveBufferSize)) {
        Continuing_ = false;
        CloseDevice();
        setDriverError(kTextInFailed, MMResult::Error);
        return;
    }

    NextIndex_ = slot;
    const bool accepted = DeliverBuffer(buffers_[index], EffectiveBufferSize);
    if (!DeviceOpen_) return;  // the handler stopped the device

    // Nothing goes back once a stop was requested or the queue has run dry: the run is over.
    if (accepted && Continuing_ && Streaming_) QueueNextBuffer();
    if (!Streaming_ && DeviceOpen_) {
        Continuing_ = false;
        CloseDevice();
    }
}

// Recording does not end by itself: the device is reset before its headers are unprepared and it
// is closed, which hands every queued buffer back.
void TAudioIn::CloseDevice() noexcept {
    closeStream(true);
    QueuedCount_ = 0;  // their late returns are ignored
}

}  // namespace audio
