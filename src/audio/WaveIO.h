// The wave components: TWaveIO, the base that holds the format and the buffer pool, and TAudioIn,
// the capture component that circulates the pool through a driver and hands each filled buffer to
// its owner. They run on the UI thread only; the driver reaches them through messages to their
// notification window. No operation throws: failures are a false result and LastErrorText.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/MessageLoop.h"
#include "platform/PoolMemory.h"
#include "platform/WaveDriver.h"
#include "platform/WaveTypes.h"

namespace audio {

using Word = uint16_t;

// Owner's buffer handler: the buffer's bytes and its size in bytes (the handler's own copy).
using TBufferEvent = std::function<bool(std::byte* Buffer, int32_t& Size)>;
using TNotifyEvent = std::function<void()>;

inline constexpr int kPoolSlots = 4;

class TWaveIO {
public:
    TWaveIO(platform::WaveDriver& driver, platform::MessageLoop& loop,
            platform::PoolMemory& memory = platform::heapMemory());
    virtual ~TWaveIO();
    TWaveIO(const TWaveIO&) = delete;
    TWaveIO& operator=(const TWaveIO&) = delete;

    // Published properties, in the order a stored configuration is applied.
    int32_t BufferSize() const { return EffectiveBufferSize; }  // the effective size
    void setBufferSize(int32_t value);
    int32_t NumBuffers() const { return NumBuffers_; }
    void setNumBuffers(int32_t value);
    int32_t FrameRate() const { return FrameRate_; }
    void setFrameRate(int32_t value);
    bool Stereo() const { return WaveFormat.channels == 2; }
    void setStereo(bool value);
    Word Quantization() const { return Quantization_; }
    void setQuantization(Word value);
    TNotifyEvent OnStart;
    TNotifyEvent OnStop;

    void ComputeFormat();
    bool InitHeaders();
    bool AllocBuffers();
    bool FreeBuffers();
    bool AllocHeaders();
    void FreeHeaders();
    std::string WaveInErrorText(platform::MMResult result) const;
    std::string WaveOutErrorText(platform::MMResult result) const;

    virtual void StopNow();
    virtual void StopWhenDrained();

    const std::string& LastErrorText() const { return LastErrorText_; }
    int32_t FilledCount() const { return FilledCount_; }
    int32_t QueuedCount() const { return QueuedCount_; }
    int32_t DoneCount() const { return DoneCount_; }
    bool Continuing() const { return Continuing_; }
    bool Streaming() const { return Streaming_; }
    int32_t NextIndex() const { return NextIndex_; }
    int32_t RequestedBufferSize() const { return RequestedBufferSize_; }
    uint32_t DeviceId() const { return DeviceId_; }
    const platform::WaveFormat& Format() const { return WaveFormat; }
    // Header i and its buffer (null when the slot is empty).
    platform::WaveHeader* Header(int i) const;
    std::byte* Buffer(int i) const { return Buffers_[static_cast<size_t>(i)]; }

protected:
    // ... (implementation state; see WaveIO.cpp)
    platform::WaveDriver& Driver_;
    platform::MessageLoop& Loop_;
    platform::PoolMemory& Memory_;
    platform::WaveFormat WaveFormat;
    int32_t EffectiveBufferSize = 8192;
    int32_t RequestedBufferSize_ = 8192;
    int32_t NumBuffers_ = 4;
    int32_t FrameRate_ = 22050;
    Word Quantization_ = 16;
    uint32_t DeviceId_ = platform::kWaveMapper;
    std::array<platform::MemoryBlock, kPoolSlots> HeaderBlocks_{};
    std::array<platform::WaveHeader*, kPoolSlots> Headers_{};
    std::array<platform::MemoryBlock, kPoolSlots> BufferBlocks_{};
    std::array<std::byte*, kPoolSlots> Buffers_{};
    int32_t NextIndex_ = 0;
    bool Continuing_ = false;
    bool Streaming_ = false;
    bool Paused_ = false;
    int32_t FilledCount_ = 0, QueuedCount_ = 0, DoneCount_ = 0;
    std::string LastErrorText_;
};

class TAudioIn;

// Hidden notification window of a capture component: receives the driver's messages and passes
// them to the component read through ComponentRef at the moment each message arrives. One per
// component, created by the first OpenDevice and reused by every later one.
class TCallBackWinIn final : public platform::MessageTarget {
public:
    TCallBackWinIn(platform::MessageLoop& loop, const std::unique_ptr<TAudioIn>* componentRef,
                   TAudioIn* self);
    ~TCallBackWinIn();
    TCallBackWinIn(const TCallBackWinIn&) = delete;
    TCallBackWinIn& operator=(const TCallBackWinIn&) = delete;

    platform::TargetId Handle() const { return Handle_; }
    const std::unique_ptr<TAudioIn>* ComponentRef = nullptr;  // null: the component itself

    void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) override;

private:
    platform::MessageLoop& Loop_;
    TAudioIn* Self_;
    platform::TargetId Handle_;
};

class TAudioIn : public TWaveIO {
public:
    using TWaveIO::TWaveIO;
    ~TAudioIn() override;  // stops and closes an open device before the pools are released

    TBufferEvent OnBufferFilled;

    // ComponentRef: the owner's variable that holds this component, or null.
    bool StartDevice(const std::unique_ptr<TAudioIn>* ComponentRef = nullptr);
    void StopNow() override;
    void StopWhenDrained() override;
    virtual bool DeliverBuffer(std::byte* Buffer, int32_t Size);
    virtual void CloseDevice();
    virtual bool OpenDevice(const std::unique_ptr<TAudioIn>* ComponentRef = nullptr);
    bool StartCapture();
    bool QueueNextBuffer();

    bool DeviceOpen() const { return DeviceOpen_; }
    TCallBackWinIn* NotifyWindow() const { return NotifyWindow_.get(); }

private:
    friend class TCallBackWinIn;
    void BufferReturned(uintptr_t headerAddress);  // MM_WIM_DATA

    bool DeviceOpen_ = false;
    std::unique_ptr<TCallBackWinIn> NotifyWindow_;
    std::unique_ptr<platform::WaveStream> DeviceHandle_;
};

}  // namespace audio
