#include "audio/WaveIO.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "audio/DriverCall.h"

namespace audio {

using platform::Direction;
using platform::MMResult;
using platform::WaveHeader;

namespace {

constexpr char kTextHeaderAlloc[] = "Error allocating wave header memory";
constexpr char kTextHeaderLock[] = "Could not lock header memory for recording";
constexpr char kTextBufferAlloc[] = "Error allocating wave buffer memory";
constexpr char kTextBufferLock[] = "Error Locking wave buffer memory";
constexpr char kTextHeadersMissing[] = "Wave header memory is not allocated";
constexpr char kTextBuffersMissing[] = "Wave buffer memory is not allocated";
constexpr char kTextSizeWhileOpen[] = "Wave buffer size cannot change while the device is open";
constexpr char kTextPoolWhileOpen[] = "Wave buffers cannot be rewritten while the device is open";
constexpr char kTextInAlreadyOpen[] = "Wave Input device is already open";
constexpr char kTextInNotOpen[] = "Wave Input device is not open";
constexpr char kTextInNoStream[] = "Wave input driver returned no device";
constexpr char kTextInNoWindow[] = "Could not create the wave input notification window";
constexpr char kTextStillQueued[] = "Wave input buffer is still queued on the device";
constexpr char kTextHandlerFailed[] = "Wave input buffer handler failed";
constexpr char kTextStartFailed[] = "Error starting wave record: ";
constexpr char kTextInFailed[] = "Wave input device failed: ";

// Room for the longest text a component composes (a prefix and a capped driver text), reserved
// once so that setting LastErrorText neither allocates nor throws.
constexpr size_t kErrorTextCapacity = 64 + kMaxDriverTextLength;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TWaveIO

TWaveIO::TWaveIO(platform::WaveDriver& driver, platform::MessageLoop& loop,
                 platform::PoolMemory& memory)
    : Driver_(driver), Loop_(loop), Memory_(memory) {
    LastErrorText_.reserve(kErrorTextCapacity);
    WaveFormat.formatTag = platform::kFormatPcm;
    WaveFormat.bitsPerSample = Quantization_;
    WaveFormat.channels = 1;
    ComputeFormat();
    // Failures here are silent: the component exists, LastErrorText says what is missing, and
    // OpenDevice refuses to run on the incomplete pool.
    AllocHeaders();
    AllocBuffers();
}

TWaveIO::~TWaveIO() {
    // A derived component has closed its device by now (its stream is gone with it), so the
    // driver no longer holds any of this memory.
    DeviceHandle_.reset();
    ReleaseBuffers();
    ReleaseHeaders();
}

bool TWaveIO::setBufferSize(int32_t value) noexcept {
    // The driver holds the pool while the device is open; reallocating it would pull the memory
    // from under queued transfers.
    if (DeviceOpen_) {
        SetError(kTextSizeWhileOpen);
        return false;
    }
    RequestedBufferSize_ = std::max(value, kMinBufferSize);
    ComputeFormat();
    return AllocBuffers();
}

void TWaveIO::setNumBuffers(int32_t value) noexcept {
    NumBuffers_ = std::clamp(value, kMinBuffers, kMaxBuffers);
}

void TWaveIO::setFrameRate(int32_t value) noexcept {
    FrameRate_ = value;
    ComputeFormat();
}

void TWaveIO::setStereo(bool value) noexcept {
    WaveFormat.channels = value ? 2 : 1;
    ComputeFormat();
}

void TWaveIO::setQuantization(Word value) noexcept {
    Quantization_ = value > 8 ? 16 : 8;
    ComputeFormat();
}

void TWaveIO::ComputeFormat() noexcept {
    WaveFormat.bitsPerSample = Quantization_;
    WaveFormat.blockAlign = static_cast<uint16_t>((Quantization_ / 8) * WaveFormat.channels);
    // A rate the driver cannot take (zero or negative) goes to it as 0 and is refused at open;
    // the product is saturated rather than wrapped.
    WaveFormat.samplesPerSec = static_cast<uint32_t>(std::max(FrameRate_, 0));
    const uint64_t bytesPerSec = uint64_t{WaveFormat.blockAlign} * WaveFormat.samplesPerSec;
    WaveFormat.avgBytesPerSec = static_cast<uint32_t>(
        std::min<uint64_t>(bytesPerSec, std::numeric_limits<uint32_t>::max()));
    WaveFormat.extraSize = 0;
    EffectiveBufferSize = RequestedBufferSize_ - RequestedBufferSize_ % WaveFormat.blockAlign;
}

bool TWaveIO::InitHeaders() noexcept {
    if (DeviceOpen_) {
        SetError(kTextPoolWhileOpen);
        return false;
    }
    ComputeFormat();
    // All four slots are written: every slot is allocated, so a header beyond NumBuffers is
    // ready as well should NumBuffers be raised before the next open.
    for (int i = 0; i < kPoolSlots; ++i) {
        WaveHeader* header = Headers_[static_cast<size_t>(i)];
        if (header == nullptr) continue;
        *header = WaveHeader{};
        header->data = Buffers_[static_cast<size_t>(i)];
        header->bufferLength = static_cast<uint32_t>(EffectiveBufferSize);
    }
    return true;
}

// Every slot is allocated, and each by RequestedBufferSize rather than the effective size in force
// now: a later format change can raise the effective size up to the requested one, and raising
// NumBuffers must never put an empty slot into circulation.
bool TWaveIO::AllocBuffers() noexcept {
    if (DeviceOpen_) {
        SetError(kTextPoolWhileOpen);
        return false;
    }
    ReleaseBuffers();
    const size_t size = static_cast<size_t>(RequestedBufferSize_);
    for (size_t i = 0; i < kPoolSlots; ++i) {
        platform::MemoryBlock block = Memory_.allocate(size, false);
        if (!block) {
            ReleaseBuffers();
            SetError(kTextBufferAlloc);
            return false;
        }
        std::byte* data = Memory_.lock(block);
        if (data == nullptr) {
            Memory_.release(block);
            ReleaseBuffers();
            SetError(kTextBufferLock);
            return false;
        }
        BufferBlocks_[i] = block;
        Buffers_[i] = data;
        if (Headers_[i] != nullptr) Headers_[i]->data = data;
    }
    return true;
}

bool TWaveIO::FreeBuffers() noexcept {
    if (DeviceOpen_) {
        SetError(kTextPoolWhileOpen);
        return false;
    }
    return ReleaseBuffers();
}

bool TWaveIO::ReleaseBuffers() noexcept {
    bool released = false;
    for (size_t i = 0; i < kPoolSlots; ++i) {
        if (!BufferBlocks_[i]) continue;
        Memory_.unlock(BufferBlocks_[i]);
        Memory_.release(BufferBlocks_[i]);
        BufferBlocks_[i] = {};
        Buffers_[i] = nullptr;
        if (Headers_[i] != nullptr) Headers_[i]->data = nullptr;
        released = true;
    }
    return released;
}

bool TWaveIO::AllocHeaders() noexcept {
    if (DeviceOpen_) {
        SetError(kTextPoolWhileOpen);
        return false;
    }
    ReleaseHeaders();
    for (size_t i = 0; i < kPoolSlots; ++i) {
        platform::MemoryBlock block = Memory_.allocate(sizeof(WaveHeader), true);
        if (!block) {
            ReleaseHeaders();
            SetError(kTextHeaderAlloc);
            return false;
        }
        std::byte* memory = Memory_.lock(block);
        // A header is a struct of pointers; memory that cannot hold one counts as not locked.
        if (memory == nullptr || reinterpret_cast<uintptr_t>(memory) % alignof(WaveHeader) != 0) {
            if (memory != nullptr) Memory_.unlock(block);
            Memory_.release(block);
            ReleaseHeaders();
            SetError(kTextHeaderLock);
            return false;
        }
        HeaderBlocks_[i] = block;
        Headers_[i] = std::construct_at(reinterpret_cast<WaveHeader*>(memory));
        Headers_[i]->data = Buffers_[i];
    }
    return true;
}

bool TWaveIO::ReleaseHeaders() noexcept {
    bool released = false;
    for (size_t i = 0; i < kPoolSlots; ++i) {
        if (!HeaderBlocks_[i]) continue;
        Memory_.unlock(HeaderBlocks_[i]);
        Memory_.release(HeaderBlocks_[i]);
        HeaderBlocks_[i] = {};
        Headers_[i] = nullptr;
        released = true;
    }
    return released;
}

namespace {

// The driver's text up to its first zero and at most kMaxDriverTextLength characters; empty when
// the text cannot be had.
std::string DriverText(const platform::WaveDriver& driver, Direction direction,
                       MMResult result) noexcept {
    try {
        std::string text = driver.errorText(direction, result);
        text.resize(std::min({text.find('\0'), text.size(), kMaxDriverTextLength}));
        return text;
    } catch (...) {
        return {};
    }
}

}  // namespace

std::string TWaveIO::WaveInErrorText(MMResult result) const noexcept {
    return DriverText(Driver_, Direction::Capture, result);
}

std::string TWaveIO::WaveOutErrorText(MMResult result) const noexcept {
    return DriverText(Driver_, Direction::Playback, result);
}

void TWaveIO::StopNow() noexcept {
    Streaming_ = false;
    Continuing_ = false;
}

void TWaveIO::StopWhenDrained() noexcept {
    Continuing_ = false;
}

WaveHeader* TWaveIO::Header(int i) const noexcept {
    return i >= 0 && i < kPoolSlots ? Headers_[static_cast<size_t>(i)] : nullptr;
}

std::byte* TWaveIO::Buffer(int i) const noexcept {
    return i >= 0 && i < kPoolSlots ? Buffers_[static_cast<size_t>(i)] : nullptr;
}

size_t TWaveIO::BufferCapacity(int i) const noexcept {
    return i >= 0 && i < kPoolSlots ? BufferBlocks_[static_cast<size_t>(i)].size : 0;
}

bool TWaveIO::PoolComplete() const noexcept {
    for (size_t i = 0; i < kPoolSlots; ++i) {
        if (Headers_[i] == nullptr || Buffers_[i] == nullptr) return false;
    }
    return true;
}

bool TWaveIO::PoolReady() noexcept {
    if (PoolComplete()) return true;
    const bool headersMissing =
        std::any_of(Headers_.begin(), Headers_.end(), [](auto* h) { return h == nullptr; });
    SetError(headersMissing ? kTextHeadersMissing : kTextBuffersMissing);
    return false;
}

void TWaveIO::SetError(std::string_view text) noexcept {
    try {
        LastErrorText_.assign(text);
    } catch (...) {
        // Only reachable if the text outgrows the reserved room and memory is exhausted.
    }
}

void TWaveIO::SetDriverError(std::string_view prefix, Direction direction,
                             MMResult result) noexcept {
    DeviceFailed_ = true;
    const std::string text = DriverText(Driver_, direction, result);
    try {
        LastErrorText_.assign(prefix);
        LastErrorText_.append(text.empty() ? platform::standardErrorText(result) : text);
    } catch (...) {
    }
}

void TWaveIO::Raise(const TNotifyEvent& event) noexcept {
    if (!event) return;
    try {
        event();
    } catch (...) {
        // An owner's notification handler cannot stop the component's bookkeeping.
    }
}

// ---------------------------------------------------------------------------------------------
// TCallBackWinIn

TCallBackWinIn::TCallBackWinIn(platform::MessageLoop& loop,
                               const std::unique_ptr<TAudioIn>* componentRef, TAudioIn* self)
    : ComponentRef(componentRef), Loop_(loop), Self_(self), Handle_(loop.registerTarget(this)) {}

TCallBackWinIn::~TCallBackWinIn() {
    Loop_.unregisterTarget(Handle_);
}

void TCallBackWinIn::handleMessage(uint32_t message, uintptr_t /*param1*/, uintptr_t param2) {
    // The component is looked up now, not when the window was made: the owner may have replaced
    // or released it since. A window serves only the component it belongs to.
    TAudioIn* component = ComponentRef != nullptr ? ComponentRef->get() : Self_;
    if (component == nullptr || component != Self_) return;
    switch (static_cast<platform::WaveMessage>(message)) {
        case platform::WaveMessage::CaptureOpen:
            component->DriverOpened();
            TAudioIn::Raise(component->OnStart);
            break;
        case platform::WaveMessage::CaptureClose:
            TAudioIn::Raise(component->OnStop);
            break;
        case platform::WaveMessage::CaptureData:
            component->BufferReturned(param2);
            break;
        default:
            break;
    }
}

bool TWaveIO::OpenStream(Direction direction, platform::TargetId target,
                         std::string_view noStreamText) noexcept {
    // The headers are written before the driver sees the device, while nothing can hold them.
    InitHeaders();
    std::unique_ptr<platform::WaveStream> stream;
    const MMResult opened = Guarded(
        [&] { return Driver_.open(direction, DeviceId_, WaveFormat, Loop_, target, stream); });
    if (failed(opened)) {
        SetDriverError({}, direction, opened);
        return false;
    }
    if (!stream) {
        SetError(noStreamText);
        return false;
    }
    DeviceHandle_ = std::move(stream);
    DeviceOpen_ = true;
    DeviceFailed_ = false;
    RunBuffers_ = NumBuffers_;
    InDriver_.fill(false);
    return true;
}

bool TWaveIO::PrepareRun(Direction direction) noexcept {
    for (int32_t i = 0; i < RunBuffers_; ++i) {
        WaveHeader& header = *Headers_[static_cast<size_t>(i)];
        const MMResult prepared = Guarded([&] { return DeviceHandle_->prepareHeader(header); });
        if (failed(prepared)) {
            CloseDevice();
            SetDriverError({}, direction, prepared);
            return false;
        }
    }
    QueuedCount_ = 0;
    DoneCount_ = 0;
    FilledCount_ = 0;
    Continuing_ = true;
    Streaming_ = true;
    return true;
}

bool TWaveIO::AddNextBuffer(Direction direction, std::string_view notOpenText,
                            std::string_view stillQueuedText) noexcept {
    if (!DeviceOpen_) {
        SetError(notOpenText);
        return false;
    }
    const auto slot = static_cast<size_t>(NextIndex_);
    if (InDriver_[slot]) {
        SetError(stillQueuedText);
        return false;
    }
    WaveHeader& header = *Headers_[slot];
    header.flags = platform::kHeaderPrepared;
    const MMResult added = Guarded([&] { return DeviceHandle_->addBuffer(header); });
    if (failed(added)) {
        SetDriverError({}, direction, added);
        StopWhenDrained();
        return false;
    }
    InDriver_[slot] = true;
    NextIndex_ = (NextIndex_ + 1) % RunBuffers_;
    return true;
}

// ---------------------------------------------------------------------------------------------
// TAudioIn

TAudioIn::~TAudioIn() {
    // The driver may still hold the pool; it must let go before TWaveIO releases it.
    StopNow();
}

bool TAudioIn::StartDevice(const std::unique_ptr<TAudioIn>* ComponentRef) noexcept {
    if (!OpenDevice(ComponentRef)) return false;
    return StartCapture();
}

bool TAudioIn::OpenDevice(const std::unique_ptr<TAudioIn>* ComponentRef) noexcept {
    if (!BeginOpen(NotifyWindow_, ComponentRef, this, kTextInAlreadyOpen, kTextInNoWindow) ||
        !OpenStream(Direction::Capture, NotifyWindow_->Handle(), kTextInNoStream))
        return false;
    ++OpensPending_;  // the driver has posted the open message, whatever follows
    return PrepareRun(Direction::Capture);
}

bool TAudioIn::StartCapture() noexcept {
    if (!DeviceOpen_) {
        SetError(kTextInNotOpen);
        return false;
    }
    // Recording starts before any buffer is queued.
    const MMResult started = Guarded([&] { return DeviceHandle_->start(); });
    if (failed(started)) {
        CloseDevice();  // closed first; the text still names the start's own code
        SetDriverError(kTextStartFailed, Direction::Capture, started);
        return false;
    }
    Streaming_ = true;
    for (int32_t i = 0; i < RunBuffers_; ++i) {
        if (!QueueNextBuffer()) {
            CloseDevice();
            return false;
        }
    }
    return true;
}

bool TAudioIn::QueueNextBuffer() noexcept {
    if (!AddNextBuffer(Direction::Capture, kTextInNotOpen, kTextStillQueued)) return false;
    ++QueuedCount_;
    return true;
}

bool TAudioIn::DeliverBuffer(std::byte* Buffer, int32_t Size) noexcept {
    if (!Continuing_) return false;
    bool accepted = true;
    if (OnBufferFilled) {
        int32_t size = Size;  // the handler's own copy
        try {
            accepted = OnBufferFilled(Buffer, size);
        } catch (...) {
            // A handler that fails has not taken the buffer: it leaves circulation.
            SetError(kTextHandlerFailed);
            accepted = false;
        }
    }
    if (accepted) ++FilledCount_;
    return accepted;
}

void TAudioIn::DriverOpened() noexcept {
    if (OpensPending_ > 0) --OpensPending_;
}

// The buffer delivered is the one the driver returned (the header the message names), not the one
// at NextIndex: after a declined delivery the two differ, and the owner must see each quarter of
// the run once. NextIndex is set to it so that an accepted buffer is re-queued and the ring goes
// on; with a handler that accepts everything this is the plain ring order.
void TAudioIn::BufferReturned(uintptr_t headerAddress) noexcept {
    // Returns that reach a closed component, or that were posted before the current run's open
    // message, belong to an earlier run (buffers handed back by its reset) and count nowhere.
    if (!DeviceOpen_ || OpensPending_ > 0) return;
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
    --QueuedCount_;
    Streaming_ = QueuedCount_ > 0;

    // Only the device's failure hands a buffer of the run back unfilled: its tail still holds an
    // earlier run's samples, so it is not delivered, and the run ends with the failure's text.
    if (Headers_[static_cast<size_t>(index)]->bytesRecorded <
        static_cast<uint32_t>(EffectiveBufferSize)) {
        Continuing_ = false;
        CloseDevice();
        SetDriverError(kTextInFailed, Direction::Capture, MMResult::Error);
        return;
    }

    NextIndex_ = index;
    const bool accepted = DeliverBuffer(Buffers_[static_cast<size_t>(index)], EffectiveBufferSize);
    if (!DeviceOpen_) return;  // the handler stopped the device

    // Nothing goes back once a stop was requested or the queue has run dry: the run is over.
    if (accepted && Continuing_ && Streaming_) QueueNextBuffer();
    if (!Streaming_ && DeviceOpen_) {
        Continuing_ = false;
        CloseDevice();
    }
}

// The device is reset before the headers are unprepared: a header still queued cannot be
// unprepared, and the reset hands every queued one back.
void TAudioIn::CloseDevice() noexcept {
    Streaming_ = false;
    if (!DeviceHandle_) {
        DeviceOpen_ = false;
        return;
    }
    Guarded([&] { return DeviceHandle_->reset(); });
    for (int32_t i = 0; i < RunBuffers_; ++i) {
        WaveHeader& header = *Headers_[static_cast<size_t>(i)];
        Guarded([&] { return DeviceHandle_->unprepareHeader(header); });
    }
    const MMResult closed = Guarded([&] { return DeviceHandle_->close(); });
    if (failed(closed)) SetDriverError({}, Direction::Capture, closed);
    DeviceHandle_.reset();  // a stream that failed to close is closed by its destructor
    DeviceOpen_ = false;
    // The reset has handed every queued buffer back; their late returns are ignored.
    QueuedCount_ = 0;
    InDriver_.fill(false);
}

void TAudioIn::StopNow() noexcept {
    if (!DeviceOpen_) return;
    Streaming_ = false;
    Continuing_ = false;
    CloseDevice();  // resets the device first
    DeviceFailed_ = false;
}

void TAudioIn::StopWhenDrained() noexcept {
    if (!DeviceOpen_) return;
    Continuing_ = false;
    // With nothing in the driver no buffer will come back to close the device, so close it now.
    if (QueuedCount_ == 0) CloseDevice();
}

}  // namespace audio
