// The wave components: TWaveIO, the base that holds the format and the buffer pool, and TAudioIn,
// the capture component that circulates the pool through a driver and hands each filled buffer to
// its owner. They run on the UI thread only; the driver reaches them through messages to their
// notification window. No operation throws: failures are a false result and LastErrorText, which
// success never clears.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/MessageLoop.h"
#include "platform/PoolMemory.h"
#include "platform/WaveDriver.h"
#include "platform/WaveTypes.h"

namespace audio {

using Word = uint16_t;

// Owner's buffer handler: the buffer's bytes and its size in bytes (the handler's own copy; what
// it writes there is ignored). True keeps the buffer circulating.
using TBufferEvent = std::function<bool(std::byte* Buffer, int32_t& Size)>;
using TNotifyEvent = std::function<void()>;

inline constexpr int kPoolSlots = 4;
inline constexpr int32_t kMinBufferSize = 512;
inline constexpr int32_t kMinBuffers = 2;
inline constexpr int32_t kMaxBuffers = kPoolSlots;
inline constexpr size_t kMaxDriverTextLength = 255;

class TWaveIO {
  public:
    TWaveIO(platform::WaveDriver& driver, platform::MessageLoop& loop,
            platform::PoolMemory& memory = platform::heapMemory());
    virtual ~TWaveIO();
    TWaveIO(const TWaveIO&) = delete;
    TWaveIO& operator=(const TWaveIO&) = delete;

    // Published properties, in the order a stored configuration is applied.
    int32_t BufferSize() const noexcept { return EffectiveBufferSize; }  // the effective size
    // Refused (false, LastErrorText) while a device is open: the driver holds the pool.
    bool setBufferSize(int32_t value) noexcept;
    int32_t NumBuffers() const noexcept { return NumBuffers_; }
    void setNumBuffers(int32_t value) noexcept;  // takes effect at the next open
    int32_t FrameRate() const noexcept { return FrameRate_; }
    void setFrameRate(int32_t value) noexcept;
    bool Stereo() const noexcept { return WaveFormat.channels == 2; }
    void setStereo(bool value) noexcept;
    Word Quantization() const noexcept { return Quantization_; }
    void setQuantization(Word value) noexcept;
    TNotifyEvent OnStart;
    TNotifyEvent OnStop;

    void ComputeFormat() noexcept;
    bool InitHeaders() noexcept;
    bool AllocBuffers() noexcept;
    bool FreeBuffers() noexcept;
    bool AllocHeaders() noexcept;
    std::string WaveInErrorText(platform::MMResult result) const noexcept;
    std::string WaveOutErrorText(platform::MMResult result) const noexcept;

    virtual void StopNow() noexcept;
    virtual void StopWhenDrained() noexcept;

    const std::string& LastErrorText() const noexcept { return LastErrorText_; }
    // The driver refused the latest open or a call of the run, or the device failed during the
    // run (LastErrorText says why). A successful open clears it, and so does StopNow: a run its
    // owner ended has not failed.
    bool DeviceFailed() const noexcept { return DeviceFailed_; }
    int32_t FilledCount() const noexcept { return FilledCount_; }
    int32_t QueuedCount() const noexcept { return QueuedCount_; }
    int32_t DoneCount() const noexcept { return DoneCount_; }
    bool Continuing() const noexcept { return Continuing_; }
    bool Streaming() const noexcept { return Streaming_; }
    bool DeviceOpen() const noexcept { return DeviceOpen_; }
    int32_t NextIndex() const noexcept { return NextIndex_; }
    int32_t RequestedBufferSize() const noexcept { return RequestedBufferSize_; }
    uint32_t DeviceId() const noexcept { return DeviceId_; }
    const platform::WaveFormat& Format() const noexcept { return WaveFormat; }
    // Header i and its buffer (null when the slot is empty or i is out of range).
    platform::WaveHeader* Header(int i) const noexcept;
    std::byte* Buffer(int i) const noexcept;
    // Bytes allocated for each buffer slot (0 when the slot is empty).
    size_t BufferCapacity(int i) const noexcept;

  protected:
    // True when every header and buffer slot holds locked memory.
    bool PoolComplete() const noexcept;
    // PoolComplete, or false with LastErrorText naming what is missing.
    bool PoolReady() noexcept;
    void SetError(std::string_view text) noexcept;
    void SetDriverError(std::string_view prefix, platform::Direction direction,
                        platform::MMResult result) noexcept;
    static void Raise(const TNotifyEvent& event) noexcept;

    // The steps of an open that both directions share. BeginOpen checks that the device is not
    // open yet and that the pool is complete, and points the component's notification target at
    // `componentRef`, making it at the first open: one per component, kept from open to open, as
    // a target per open would pile up with the owner opening the device about once a second.
    template <typename Target, typename Component>
    bool BeginOpen(std::unique_ptr<Target>& target, const std::unique_ptr<Component>* componentRef,
                   Component* self, std::string_view alreadyOpenText,
                   std::string_view noTargetText) noexcept {
        if (DeviceOpen_) {
            SetError(alreadyOpenText);
            return false;
        }
        if (!PoolReady()) return false;
        NextIndex_ = 0;
        if (!target) {
            try {
                target = std::make_unique<Target>(Loop_, componentRef, self);
            } catch (...) {
                SetError(noTargetText);
                return false;
            }
        }
        target->ComponentRef = componentRef;
        return true;
    }
    // Then, once the notification target exists:
    // OpenStream initialises the headers while nothing holds them and opens the stream for
    // `direction` with its messages to `target`; PrepareRun prepares every header of the run and
    // starts the counters afresh. Each returns false with LastErrorText saying why; a PrepareRun
    // that fails has closed the device again.
    bool OpenStream(platform::Direction direction, platform::TargetId target,
                    std::string_view noStreamText) noexcept;
    bool PrepareRun(platform::Direction direction) noexcept;
    // Hands the next slot of the ring to the driver and moves the ring on. A slot the driver
    // still holds is refused: the driver would write into it, or play it, twice over. A driver
    // that refuses the buffer ends the run once the others have come back.
    bool AddNextBuffer(platform::Direction direction, std::string_view notOpenText,
                       std::string_view stillQueuedText) noexcept;
    // Unprepares the run's headers and closes the stream; the device is closed afterwards.
    virtual void CloseDevice() noexcept = 0;

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
    bool DeviceOpen_ = false;  // between a successful open and the close of the device
    bool DeviceFailed_ = false;
    int32_t FilledCount_ = 0, QueuedCount_ = 0, DoneCount_ = 0;
    std::string LastErrorText_;
    std::unique_ptr<platform::WaveStream> DeviceHandle_;
    // The ring of the open run: NumBuffers as it was at open, so a later write cannot change
    // which headers are prepared, queued and unprepared.
    int32_t RunBuffers_ = 0;
    // Which slots the driver holds; a buffer handed back from any other slot is not ours.
    std::array<bool, kPoolSlots> InDriver_{};

  private:
    bool ReleaseBuffers() noexcept;
    bool ReleaseHeaders() noexcept;
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

    platform::TargetId Handle() const noexcept { return Handle_; }
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

    // Must not destroy the component; it may call StopNow, StopWhenDrained or StartDevice.
    TBufferEvent OnBufferFilled;

    // ComponentRef: the owner's variable that holds this component, or null.
    bool StartDevice(const std::unique_ptr<TAudioIn>* ComponentRef = nullptr) noexcept;
    void StopNow() noexcept override;
    void StopWhenDrained() noexcept override;
    virtual bool DeliverBuffer(std::byte* Buffer, int32_t Size) noexcept;
    void CloseDevice() noexcept override;
    virtual bool OpenDevice(const std::unique_ptr<TAudioIn>* ComponentRef = nullptr) noexcept;
    bool StartCapture() noexcept;
    bool QueueNextBuffer() noexcept;

    TCallBackWinIn* NotifyWindow() const noexcept { return NotifyWindow_.get(); }

  private:
    friend class TCallBackWinIn;
    void DriverOpened() noexcept;                           // WaveMessage::CaptureOpen
    void BufferReturned(uintptr_t headerAddress) noexcept;  // WaveMessage::CaptureData

    std::unique_ptr<TCallBackWinIn> NotifyWindow_;
    // Opens whose open message has not arrived yet. Messages are dispatched in the order they
    // were posted, so every return seen while this is nonzero belongs to an earlier, closed run.
    int32_t OpensPending_ = 0;
};

}  // namespace audio
