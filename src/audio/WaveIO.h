// TWaveIO, the base of the two wave components (TAudioIn, TAudioOut): the PCM format derived from
// its properties, the pool of headers and buffers, the ring, flags and counters, the open stream
// and the latest failure, and every step both directions take alike (the open, the headers of a
// run, a buffer handed to the driver or handed back, the owner's buffer handler, the close, the
// stops). UI thread only; the driver reaches a component through messages to its notification
// target. No operation throws: failures are a false result and LastErrorText, which success never
// clears.
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

// Owner's buffer handler: the buffer's bytes and its size in bytes. True keeps the buffer
// circulating.
using TBufferEvent = std::function<bool(std::byte* Buffer, int32_t& Size)>;
using TNotifyEvent = std::function<void()>;

inline constexpr int kPoolSlots = 4;
inline constexpr int32_t kMinBufferSize = 512;
inline constexpr int32_t kMinBuffers = 2;
inline constexpr int32_t kMaxBuffers = kPoolSlots;
inline constexpr size_t kMaxDriverTextLength = 255;

// A component's latest failure as data: LastErrorText is its text().
struct WaveError {
    // The component's own words: all of a failure of its own, or what stands before the driver's
    // reason ("Error starting wave record: ").
    std::string context;
    // The driver's reason; code NoError for a failure of the component's own.
    platform::ErrorReason reason;

    // The context, then the driver's text as the platform's error-text functions give it: up to
    // its first zero and at most kMaxDriverTextLength characters, or the code's standard text
    // where that leaves nothing.
    std::string text() const;
};

// What a component says of failures of its own, in the words of its direction.
struct WaveTexts {
    const char* alreadyOpen;
    const char* notOpen;
    const char* noStream;       // the driver opened and gave no stream
    const char* noTarget;       // the notification target could not be made
    const char* stillQueued;    // a buffer the driver holds was to be handed over again
    const char* handlerFailed;  // the owner's buffer handler threw
};

template <class Component>
class NotifyTarget;

class TWaveIO {
  public:
    TWaveIO(platform::WaveDriver& driver, platform::MessageLoop& loop,
            platform::PoolMemory& memory = platform::heapMemory());
    // An open device is closed (its stream hands every buffer back) before the pools go.
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

    // The direction the component works in: its device, its driver's messages and texts.
    virtual platform::Direction direction() const noexcept = 0;

    void ComputeFormat() noexcept;
    bool InitHeaders() noexcept;
    bool AllocBuffers() noexcept;
    bool FreeBuffers() noexcept;
    bool AllocHeaders() noexcept;
    std::string WaveInErrorText(platform::MMResult result) const noexcept;
    std::string WaveOutErrorText(platform::MMResult result) const noexcept;

    // Only while the device is open: every buffer the driver holds is handed back unused (none
    // is delivered or played) and the device closes. A run its owner ended has not failed.
    virtual void StopNow() noexcept;
    // Only while the device is open: the buffers the driver holds finish, none goes to the owner's
    // handler any more, and the last one closes the device (at once when the driver holds none).
    virtual void StopWhenDrained() noexcept;

    const std::string& LastErrorText() const noexcept { return LastErrorText_; }
    // The same failure in its parts: the component's words and the driver's reason.
    const WaveError& lastError() const noexcept { return lastError_; }
    // The driver refused the latest open or a call of the run, or the device failed during the
    // run (LastErrorText says why). A successful open clears it, and so does StopNow: a run its
    // owner ended has not failed.
    bool deviceFailed() const noexcept { return deviceFailed_; }
    int32_t FilledCount() const noexcept { return FilledCount_; }
    int32_t QueuedCount() const noexcept { return QueuedCount_; }
    int32_t DoneCount() const noexcept { return DoneCount_; }
    bool Continuing() const noexcept { return Continuing_; }
    bool Streaming() const noexcept { return Streaming_; }
    bool DeviceOpen() const noexcept { return DeviceOpen_; }
    int32_t NextIndex() const noexcept { return NextIndex_; }
    int32_t RequestedBufferSize() const noexcept { return RequestedBufferSize_; }
    uint32_t DeviceId() const noexcept { return DeviceId_; }
    const platform::WaveFormat& format() const noexcept { return WaveFormat; }
    // Header i and its buffer (null when the slot is empty or i is out of range).
    platform::WaveHeader* headerAt(int i) const noexcept;
    std::byte* bufferAt(int i) const noexcept;
    // Bytes allocated for each buffer slot (0 when the slot is empty).
    size_t bufferCapacity(int i) const noexcept;
    // Buffers the driver holds now (handed to it, not yet handed back).
    int32_t buffersInDriver() const noexcept;

  protected:
    // True when every header and buffer slot holds locked memory.
    bool poolComplete() const noexcept;
    // poolComplete, or false with LastErrorText naming what is missing.
    bool poolReady() noexcept;
    // A failure of the component's own.
    void setError(std::string_view text) noexcept;
    // A driver call that failed with `result`: `prefix`, then the driver's reason.
    void setDriverError(std::string_view prefix, platform::MMResult result) noexcept;
    static void raiseEvent(const TNotifyEvent& event) noexcept;
    // What the component says of failures of its own.
    const WaveTexts& texts() const noexcept;

    // The steps of an open. beginOpen checks that the device is not open yet and that the pool is
    // complete, and points the component's notification target at `componentRef`, making it at
    // the first open: one per component, kept from open to open, as a target per open would pile
    // up with the owner opening the device about once a second.
    template <typename Target, typename Component>
    bool beginOpen(std::unique_ptr<Target>& target, const std::unique_ptr<Component>* componentRef,
                   Component* self) noexcept {
        if (DeviceOpen_) {
            setError(texts().alreadyOpen);
            return false;
        }
        if (!poolReady()) return false;
        NextIndex_ = 0;
        if (!target) {
            try {
                target = std::make_unique<Target>(loop_, componentRef, self);
            } catch (...) {
                setError(texts().noTarget);
                return false;
            }
        }
        target->ComponentRef = componentRef;
        return true;
    }
    // Then, once the notification target exists: openStream initialises the headers while
    // nothing holds them and opens the stream with its messages to `target`; prepareRun prepares
    // every header of the run and starts the counters afresh. Each returns false with
    // LastErrorText saying why; a prepareRun that fails has closed the device again.
    bool openStream(platform::TargetId target) noexcept;
    bool prepareRun() noexcept;
    // DeviceOpen, or false with the text that says the device is not open.
    bool requireOpen() noexcept;
    // Hands the next slot of the ring to the driver and moves the ring on. A slot the driver
    // still holds is refused: the driver would write into it, or play it, twice over. A driver
    // that refuses the buffer ends the run once the others have come back.
    bool addNextBuffer() noexcept;
    // The owner's handler on `buffer`: what it answers, or false (with LastErrorText) when it
    // throws, as a handler that fails has not taken the buffer.
    bool callHandler(const TBufferEvent& handler, std::byte* buffer, int32_t& size) noexcept;
    // Unprepares the run's headers and closes the stream; the device is closed afterwards.
    // `reset` first has the driver hand back every buffer it holds; without it, a close the driver
    // refuses because buffers are still queued resets and closes once more.
    void closeStream(bool reset) noexcept;
    virtual void CloseDevice() noexcept = 0;
    // Buffer `slot` of the open run has come back from the driver, counted in DoneCount.
    virtual void bufferReturned(int32_t slot) noexcept = 0;

    platform::WaveDriver& driver_;
    platform::MessageLoop& loop_;
    platform::PoolMemory& memory_;
    platform::WaveFormat WaveFormat;
    int32_t EffectiveBufferSize = 8192;
    int32_t RequestedBufferSize_ = 8192;
    int32_t NumBuffers_ = 4;
    int32_t FrameRate_ = 22050;
    Word Quantization_ = 16;
    uint32_t DeviceId_ = platform::kWaveMapper;
    std::array<platform::MemoryBlock, kPoolSlots> headerBlocks_{};
    std::array<platform::WaveHeader*, kPoolSlots> headers_{};
    std::array<platform::MemoryBlock, kPoolSlots> bufferBlocks_{};
    std::array<std::byte*, kPoolSlots> buffers_{};
    int32_t NextIndex_ = 0;
    bool Continuing_ = false;
    bool Streaming_ = false;
    bool DeviceOpen_ = false;  // between a successful open and the close of the device
    bool deviceFailed_ = false;
    int32_t FilledCount_ = 0, QueuedCount_ = 0, DoneCount_ = 0;
    std::string LastErrorText_;
    std::unique_ptr<platform::WaveStream> DeviceHandle_;
    // The ring of the open run: NumBuffers as it was at open, so a later write cannot change
    // which headers are prepared, queued and unprepared.
    int32_t runBuffers_ = 0;
    // Which slots the driver holds; a buffer handed back from any other slot is not ours.
    std::array<bool, kPoolSlots> inDriver_{};

  private:
    template <class Component>
    friend class NotifyTarget;
    // A message of the driver, from the notification target: open and close raise OnStart and
    // OnStop, a returned buffer of the open run goes to bufferReturned.
    void driverMessage(uint32_t message, uintptr_t stream, uintptr_t headerAddress) noexcept;
    // The slot of the open run that a returned buffer's message names, or -1: the one rule for
    // buffers of an earlier run, in both directions. A return counts only when its message names
    // the open run's stream (runStream_). Every message names the stream that posted it, and no
    // identity is used twice; a run's stream is closed, and runStream_ cleared, before a later run
    // opens; and the loop dispatches a message on this thread only after the call that posted it
    // has returned, in the order of posting. So the buffers that a close's reset hands back arrive
    // while runStream_ is 0 or names the newer stream, however soon that one opened. Nor does the
    // rule need every message to arrive, as a count of the opens whose message is yet to come
    // would: one open message dropped by a full loop would have such a count drop every later
    // run's buffers. Within the run the driver hands back only buffers it holds, in queue order.
    int32_t returnedSlot(uintptr_t stream, uintptr_t headerAddress) const noexcept;
    bool releaseBuffers() noexcept;
    bool releaseHeaders() noexcept;

    // The identity of the open run's stream, named by each of its messages; 0 while closed (no
    // stream has identity 0).
    uintptr_t runStream_ = 0;
    WaveError lastError_;
};

}  // namespace audio
