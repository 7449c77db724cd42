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
    : driver_(driver), loop_(loop), memory_(memory) {
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
    releaseBuffers();
    releaseHeaders();
}

bool TWaveIO::setBufferSize(int32_t value) noexcept {
    // The driver holds the pool while the device is open; reallocating it would pull the memory
    // from under queued transfers.
    if (DeviceOpen_) {
        setError(kTextSizeWhileOpen);
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
        setError(kTextPoolWhileOpen);
        return false;
    }
    ComputeFormat();
    // All four slots are written: every slot is allocated, so a header beyond NumBuffers is
    // ready as well should NumBuffers be raised before the next open.
    for (int i = 0; i < kPoolSlots; ++i) {
        WaveHeader* header = headers_[static_cast<size_t>(i)];
        if (header == nullptr) continue;
        *header = WaveHeader{};
        header->data = buffers_[static_cast<size_t>(i)];
        header->bufferLength = static_cast<uint32_t>(EffectiveBufferSize);
    }
    return true;
}

// Every slot is allocated, and each by RequestedBufferSize rather than the effective size in force
// now: a later format change can raise the effective size up to the requested one, and raising
// NumBuffers must never put an empty slot into circulation.
bool TWaveIO::AllocBuffers() noexcept {
    if (DeviceOpen_) {
        setError(kTextPoolWhileOpen);
        return false;
    }
    releaseBuffers();
    const size_t size = static_cast<size_t>(RequestedBufferSize_);
    for (size_t i = 0; i < kPoolSlots; ++i) {
        platform::MemoryBlock block = memory_.allocate(size, false);
        if (!block) {
            releaseBuffers();
            setError(kTextBufferAlloc);
            return false;
        }
        std::byte* data = memory_.lock(block);
        if (data == nullptr) {
            memory_.release(block);
            releaseBuffers();
            setError(kTextBufferLock);
            return false;
        }
        bufferBlocks_[i] = block;
        buffers_[i] = data;
        if (headers_[i] != nullptr) headers_[i]->data = data;
    }
    return true;
}

bool TWaveIO::FreeBuffers() noexcept {
    if (DeviceOpen_) {
        setError(kTextPoolWhileOpen);
        return false;
    }
    return releaseBuffers();
}

bool TWaveIO::releaseBuffers() noexcept {
    bool released = false;
    for (size_t i = 0; i < kPoolSlots; ++i) {
        if (!bufferBlocks_[i]) continue;
        memory_.unlock(bufferBlocks_[i]);
        memory_.release(bufferBlocks_[i]);
        bufferBlocks_[i] = {};
        buffers_[i] = nullptr;
        if (headers_[i] != nullptr) headers_[i]->data = nullptr;
        released = true;
    }
    return released;
}

bool TWaveIO::AllocHeaders() noexcept {
    if (DeviceOpen_) {
        setError(kTextPoolWhileOpen);
        return false;
    }
    releaseHeaders();
    for (size_t i = 0; i < kPoolSlots; ++i) {
        platform::MemoryBlock block = memory_.allocate(sizeof(WaveHeader), true);
        if (!block) {
            releaseHeaders();
            setError(kTextHeaderAlloc);
            return false;
        }
        std::byte* memory = memory_.lock(block);
        // A header is a struct of pointers; memory that cannot hold one counts as not locked.
        if (memory == nullptr || reinterpret_cast<uintptr_t>(memory) % alignof(WaveHeader) != 0) {
            if (memory != nullptr) memory_.unlock(block);
            memory_.release(block);
            releaseHeaders();
            setError(kTextHeaderLock);
            return false;
        }
        headerBlocks_[i] = block;
        headers_[i] = std::construct_at(reinterpret_cast<WaveHeader*>(memory));
        headers_[i]->data = buffers_[i];
    }
    return true;
}

bool TWaveIO::releaseHeaders() noexcept {
    bool released = false;
    for (size_t i = 0; i < kPoolSlots; ++i) {
        if (!headerBlocks_[i]) continue;
        memory_.unlock(headerBlocks_[i]);
        memory_.release(headerBlocks_[i]);
        headerBlocks_[i] = {};
        headers_[i] = nullptr;
        released = true;
    }
    return released;
}

std::string TWaveIO::WaveInErrorText(MMResult result) const noexcept {
    try {
        return capped(driverReason(driver_, Direction::Capture, result).text());
    } catch (...) {
        return {};
    }
}

std::string TWaveIO::WaveOutErrorText(MMResult result) const noexcept {
    try {
        return capped(driverReason(driver_, Direction::Playback, result).text());
    } catch (...) {
        return {};
    }
}

WaveHeader* TWaveIO::headerAt(int i) const noexcept {
    return i >= 0 && i < kPoolSlots ? headers_[static_cast<size_t>(i)] : nullptr;
}

std::byte* TWaveIO::bufferAt(int i) const noexcept {
    return i >= 0 && i < kPoolSlots ? buffers_[static_cast<size_t>(i)] : nullptr;
}

size_t TWaveIO::bufferCapacity(int i) const noexcept {
    return i >= 0 && i < kPoolSlots ? bufferBlocks_[static_cast<size_t>(i)].size : 0;
}

int32_t TWaveIO::buffersInDriver() const noexcept {
    return static_cast<int32_t>(std::count(inDriver_.begin(), inDriver_.end(), true));
}

bool TWaveIO::poolComplete() const noexcept {
    for (size_t i = 0; i < kPoolSlots; ++i) {
        if (headers_[i] == nullptr || buffers_[i] == nullptr) return false;
    }
    return true;
}

bool TWaveIO::poolReady() noexcept {
    if (poolComplete()) return true;
    const bool headersMissing =
        std::any_of(headers_.begin(), headers_.end(), [](auto* h) { return h == nullptr; });
    setError(headersMissing ? kTextHeadersMissing : kTextBuffersMissing);
    return false;
}

void TWaveIO::setError(std::string_view text) noexcept {
    try {
        LastErrorText_.assign(text);
        lastError_.context.assign(text);
        lastError_.reason = {};
    } catch (...) {
        // Only reachable if the text outgrows the reserved room and memory is exhausted.
    }
}

void TWaveIO::setDriverError(std::string_view prefix, MMResult result) noexcept {
    deviceFailed_ = true;
    try {
        lastError_.context.assign(prefix);
        lastError_.reason = driverReason(driver_, direction(), result);
        LastErrorText_.assign(lastError_.text());
    } catch (...) {
    }
}

const WaveTexts& TWaveIO::texts() const noexcept {
    return direction() == Direction::Capture ? kCaptureTexts : kPlaybackTexts;
}

void TWaveIO::raiseEvent(const TNotifyEvent& event) noexcept {
    if (!event) return;
    try {
        event();
    } catch (...) {
        // An owner's notification handler cannot stop the component's bookkeeping.
    }
}

bool TWaveIO::openStream(platform::TargetId target) noexcept {
    // The headers are written before the driver sees the device, while nothing can hold them.
    InitHeaders();
    std::unique_ptr<platform::WaveStream> stream;
    const MMResult opened = guarded(
        [&] { return driver_.open(direction(), DeviceId_, WaveFormat, loop_, target, stream); });
    if (failed(opened)) {
        setDriverError({}, opened);
        return false;
    }
    if (!stream) {
        setError(texts().noStream);
        return false;
    }
    DeviceHandle_ = std::move(stream);
    runStream_ = DeviceHandle_->identity();
    DeviceOpen_ = true;
    deviceFailed_ = false;
    runBuffers_ = NumBuffers_;
    inDriver_.fill(false);
    return true;
}

bool TWaveIO::prepareRun() noexcept {
    for (int32_t i = 0; i < runBuffers_; ++i) {
        WaveHeader& header = *headers_[static_cast<size_t>(i)];
        const MMResult prepared = guarded([&] { return DeviceHandle_->prepareHeader(header); });
        if (failed(prepared)) {
            CloseDevice();
            setDriverError({}, prepared);
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
    setError(texts().notOpen);
    return false;
}

bool TWaveIO::addNextBuffer() noexcept {
    if (!requireOpen()) return false;
    const auto slot = static_cast<size_t>(NextIndex_);
    if (inDriver_[slot]) {
        setError(texts().stillQueued);
        return false;
    }
    WaveHeader& header = *headers_[slot];
    header.flags = platform::kHeaderPrepared;
    const MMResult added = guarded([&] { return DeviceHandle_->addBuffer(header); });
    if (failed(added)) {
        setDriverError({}, added);
        StopWhenDrained();
        return false;
    }
    inDriver_[slot] = true;
    NextIndex_ = (NextIndex_ + 1) % runBuffers_;
    return true;
}

bool TWaveIO::callHandler(const TBufferEvent& handler, std::byte* buffer, int32_t& size) noexcept {
    try {
        return handler(buffer, size);
    } catch (...) {
        setError(texts().handlerFailed);
        return false;
    }
}

void TWaveIO::driverMessage(uint32_t message, uintptr_t stream, uintptr_t headerAddress) noexcept {
    if (message == messageId(platform::openMessage(direction()))) {
        raiseEvent(OnStart);
    } else if (message == messageId(platform::closeMessage(direction()))) {
        raiseEvent(OnStop);
    } else if (message == messageId(platform::doneMessage(direction()))) {
        const int32_t slot = returnedSlot(stream, headerAddress);
        if (slot < 0) return;
        inDriver_[static_cast<size_t>(slot)] = false;
        ++DoneCount_;
        bufferReturned(slot);
    }
}

// The rule and why it holds: see WaveIO.h.
int32_t TWaveIO::returnedSlot(uintptr_t stream, uintptr_t headerAddress) const noexcept {
    if (!DeviceOpen_ || stream != runStream_) return -1;
    for (int32_t i = 0; i < runBuffers_; ++i) {
        const auto slot = static_cast<size_t>(i);
        if (reinterpret_cast<uintptr_t>(headers_[slot]) == headerAddress && inDriver_[slot])
            return i;
    }
    return -1;
}

void TWaveIO::closeStream(bool reset) noexcept {
    Streaming_ = false;
    if (DeviceHandle_) {
        // A header still queued cannot be unprepared: the reset hands every queued one back.
        if (reset) guarded([&] { return DeviceHandle_->reset(); });
        for (int32_t i = 0; i < runBuffers_; ++i) {
            WaveHeader& header = *headers_[static_cast<size_t>(i)];
            guarded([&] { return DeviceHandle_->unprepareHeader(header); });
        }
        MMResult closed = guarded([&] { return DeviceHandle_->close(); });
        if (closed == MMResult::StillPlaying && !reset) {
            // Buffers are still queued: a closed component must not leave its device open.
            guarded([&] { return DeviceHandle_->reset(); });
            closed = guarded([&] { return DeviceHandle_->close(); });
        }
        if (failed(closed)) setDriverError({}, closed);
        DeviceHandle_.reset();  // a stream that failed to close is closed by its destructor
    }
    DeviceOpen_ = false;
    runStream_ = 0;
    // Whatever the driver still hands back belongs to a closed run and counts nowhere.
    inDriver_.fill(false);
}

void TWaveIO::StopNow() noexcept {
    if (!DeviceOpen_) return;
    Streaming_ = false;
    Continuing_ = false;
    // Nothing more is recorded or played: the driver hands every buffer back first. A capture
    // device is reset by its close anyway; a playback device would play out what it holds.
    if (direction() == Direction::Playback) guarded([&] { return DeviceHandle_->reset(); });
    CloseDevice();
    deviceFailed_ = false;
}

void TWaveIO::StopWhenDrained() noexcept {
    if (!DeviceOpen_) return;
    Continuing_ = false;
    // With nothing in the driver no buffer will come back to close the device, so close it now.
    if (buffersInDriver() == 0) CloseDevice();
}

}  // namespace audio
