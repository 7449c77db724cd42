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

// The texts of each direction, capture's and playback's.
constexpr WaveTexts kCaptureTexts{"Wave Input device is already open",
                                  "Wave Input device is not open",
                                  "Wave input driver returned no device",
                                  "Could not create the wave input notification window",
                                  "Wave input buffer is still queued on the device",
                                  "Wave input buffer handler failed"};
constexpr WaveTexts kPlaybackTexts{"Wave output device is already open",
                                   "Wave output device is not open",
                                   "Wave output driver returned no device",
                                   "Could not create the wave output notification window",
                                   "Wave output buffer is still queued on the device",
                                   "Wave output buffer handler failed"};

// Room for the longest text a component composes (a prefix and a capped driver text), reserved
// once so that setting LastErrorText neither allocates nor throws.
constexpr size_t kErrorTextCapacity = 64 + kMaxDriverTextLength;

// A driver's text as the error-text functions give it: up to its first zero, at most
// kMaxDriverTextLength characters.
std::string capped(std::string text) {
    text.resize(std::min({text.find('\0'), text.size(), kMaxDriverTextLength}));
    return text;
}

// The driver's reason for `result`; the code alone when the driver cannot give it.
platform::ErrorReason driverReason(const platform::WaveDriver& driver, Direction direction,
                                   MMResult result) noexcept {
    try {
        return driver.errorReason(direction, result);
    } catch (...) {
        return {result, {}, {}};
    }
}

}  // namespace

std::string WaveError::text() const {
    if (reason.code == MMResult::NoError) return context;
    const std::string driverText = capped(reason.text());
    return context + (driverText.empty() ? platform::standardErrorText(reason.code) : driverText);
}

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
    // The driver may still hold the pool: an open stream is destroyed first, which resets and
    // closes it. The component's notification target has gone already, so nothing of this close
    // reaches anyone.
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

std::string TWaveIO::WaveInErrorText(MMResult result) const noexcept {
    try {
        return capped(driverReason(Driver_, Direction::Capture, result).text());
    } catch (...) {
        return {};
    }
}

std::string TWaveIO::WaveOutErrorText(MMResult result) const noexcept {
    try {
        return capped(driverReason(Driver_, Direction::Playback, result).text());
    } catch (...) {
        return {};
    }
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

int32_t TWaveIO::BuffersInDriver() const noexcept {
    return static_cast<int32_t>(std::count(InDriver_.begin(), InDriver_.end(), true));
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
        lastError_.context.assign(text);
        lastError_.reason = {};
    } catch (...) {
        // Only reachable if the text outgrows the reserved room and memory is exhausted.
    }
}

void TWaveIO::SetDriverError(std::string_view prefix, MMResult result) noexcept {
    DeviceFailed_ = true;
    try {
        lastError_.context.assign(prefix);
        lastError_.reason = driverReason(Driver_, direction(), result);
        LastErrorText_.assign(lastError_.text());
    } catch (...) {
    }
}

const WaveTexts& TWaveIO::texts() const noexcept {
    return direction() == Direction::Capture ? kCaptureTexts : kPlaybackTexts;
}

void TWaveIO::Raise(const TNotifyEvent& event) noexcept {
    if (!event) return;
    try {
        event();
    } catch (...) {
        // An owner's notification handler cannot stop the component's bookkeeping.
    }
}

bool TWaveIO::OpenStream(platform::TargetId target) noexcept {
    // The headers are written before the driver sees the device, while nothing can hold them.
    InitHeaders();
    std::unique_ptr<platform::WaveStream> stream;
    const MMResult opened = Guarded(
        [&] { return Driver_.open(direction(), DeviceId_, WaveFormat, Loop_, target, stream); });
    if (failed(opened)) {
        SetDriverError({}, opened);
        return false;
    }
    if (!stream) {
        SetError(texts().noStream);
        return false;
    }
    DeviceHandle_ = std::move(stream);
    runStream_ = DeviceHandle_->identity();
    DeviceOpen_ = true;
    DeviceFailed_ = false;
    RunBuffers_ = NumBuffers_;
    InDriver_.fill(false);
    return true;
}

bool TWaveIO::PrepareRun() noexcept {
    for (int32_t i = 0; i < RunBuffers_; ++i) {
        WaveHeader& header = *Headers_[static_cast<size_t>(i)];
        const MMResult prepared = Guarded([&] { return DeviceHandle_->prepareHeader(header); });
        if (failed(prepared)) {
            CloseDevice();
            SetDriverError({}, prepared);
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

bool TWaveIO::requireOpen() noexcept {
    if (DeviceOpen_) return true;
    SetError(texts().notOpen);
    return false;
}

bool TWaveIO::AddNextBuffer() noexcept {
    if (!requireOpen()) return false;
    const auto slot = static_cast<size_t>(NextIndex_);
    if (InDriver_[slot]) {
        SetError(texts().stillQueued);
        return false;
    }
    WaveHeader& header = *Headers_[slot];
    header.flags = platform::kHeaderPrepared;
    const MMResult added = Guarded([&] { return DeviceHandle_->addBuffer(header); });
    if (failed(added)) {
        SetDriverError({}, added);
        StopWhenDrained();
        return false;
    }
    InDriver_[slot] = true;
    NextIndex_ = (NextIndex_ + 1) % RunBuffers_;
    return true;
}

bool TWaveIO::callHandler(const TBufferEvent& handler, std::byte* buffer, int32_t& size) noexcept {
    try {
        return handler(buffer, size);
    } catch (...) {
        SetError(texts().handlerFailed);
        return false;
    }
}

void TWaveIO::driverMessage(uint32_t message, uintptr_t stream, uintptr_t headerAddress) noexcept {
    if (message == messageId(platform::openMessage(direction()))) {
        Raise(OnStart);
    } else if (message == messageId(platform::closeMessage(direction()))) {
        Raise(OnStop);
    } else if (message == messageId(platform::doneMessage(direction()))) {
        const int32_t slot = returnedSlot(stream, headerAddress);
        if (slot < 0) return;
        InDriver_[static_cast<size_t>(slot)] = false;
        ++DoneCount_;
        bufferReturned(slot);
    }
}

// The rule and why it holds: see WaveIO.h.
int32_t TWaveIO::returnedSlot(uintptr_t stream, uintptr_t headerAddress) const noexcept {
    if (!DeviceOpen_ || stream != runStream_) return -1;
    for (int32_t i = 0; i < RunBuffers_; ++i) {
        const auto slot = static_cast<size_t>(i);
        if (reinterpret_cast<uintptr_t>(Headers_[slot]) == headerAddress && InDriver_[slot])
            return i;
    }
    return -1;
}

void TWaveIO::closeStream(bool reset) noexcept {
    Streaming_ = false;
    if (DeviceHandle_) {
        // A header still queued cannot be unprepared: the reset hands every queued one back.
        if (reset) Guarded([&] { return DeviceHandle_->reset(); });
        for (int32_t i = 0; i < RunBuffers_; ++i) {
            WaveHeader& header = *Headers_[static_cast<size_t>(i)];
            Guarded([&] { return DeviceHandle_->unprepareHeader(header); });
        }
        MMResult closed = Guarded([&] { return DeviceHandle_->close(); });
        if (closed == MMResult::StillPlaying && !reset) {
            // Buffers are still queued: a closed component must not leave its device open.
            Guarded([&] { return DeviceHandle_->reset(); });
            closed = Guarded([&] { return DeviceHandle_->close(); });
        }
        if (failed(closed)) SetDriverError({}, closed);
        DeviceHandle_.reset();  // a stream that failed to close is closed by its destructor
    }
    DeviceOpen_ = false;
    runStream_ = 0;
    // Whatever the driver still hands back belongs to a closed run and counts nowhere.
    InDriver_.fill(false);
}

void TWaveIO::StopNow() noexcept {
    if (!DeviceOpen_) return;
    Streaming_ = false;
    Continuing_ = false;
    // Nothing more is recorded or played: the driver hands every buffer back first. A capture
    // device is reset by its close anyway; a playback device would play out what it holds.
    if (direction() == Direction::Playback) Guarded([&] { return DeviceHandle_->reset(); });
    CloseDevice();
    DeviceFailed_ = false;
}

void TWaveIO::StopWhenDrained() noexcept {
    if (!DeviceOpen_) return;
    Continuing_ = false;
    // With nothing in the driver no buffer will come back to close the device, so close it now.
    if (BuffersInDriver() == 0) CloseDevice();
}

}  // namespace audio
