// Types shared by every wave driver and the wave components: result codes and the reason of a
// failure, the PCM format record, the buffer header and the driver messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Result of a driver call. Zero is success; the values follow the classic multimedia codes so that
// a code seen in a text or a test means the same thing everywhere.
enum class MMResult : uint32_t {
    NoError = 0,
    Error = 1,          // unspecified failure
    BadDeviceId = 2,    // no such device
    NotEnabled = 3,     // driver failed to enable
    Allocated = 4,      // device already in use
    InvalidHandle = 5,  // handle closed or never opened
    NoDriver = 6,       // no driver (backend) present
    NoMem = 7,          // out of memory
    NotSupported = 8,   // call not supported in this direction or state
    BadErrNum = 9,      // unknown result code
    InvalidFlag = 10,
    InvalidParam = 11,  // null or inconsistent argument
    HandleBusy = 12,
    BadFormat = 32,     // format refused by the device
    StillPlaying = 33,  // buffers still queued
    Unprepared = 34,    // header not prepared
    Sync = 35,
    // Not a classic code: the device did not answer in time (a sound server that has stopped).
    // The call goes on without the caller; a later attempt may find it done.
    NoAnswer = 64,
};

constexpr bool failed(MMResult r) {
    return r != MMResult::NoError;
}

// Why a driver call failed, as the driver tells it: the code, the code's standard text, and apart
// from it the detail the backend knows of its latest failure with that code, so that a caller who
// needs one part need not cut the text apart.
struct ErrorReason {
    MMResult code = MMResult::NoError;
    std::string standard;  // the code's own text
    // The call, the device and why (`call("device"): why`), after the backend's name where it
    // gives one; empty when the backend knows nothing more than the code.
    std::string detail;

    // What the detail adds to the standard text: " (detail)", or nothing without one.
    std::string detailSuffix() const {
        return detail.empty() ? std::string() : " (" + detail + ')';
    }
    // The driver's error text: the standard text, then the detail in parentheses.
    std::string text() const { return standard + detailSuffix(); }
};

enum class Direction : uint8_t { Capture, Playback };

// The preferred device of the system; the driver maps it to its configured device name.
inline constexpr uint32_t kWaveMapper = 0xFFFFFFFFu;

inline constexpr uint16_t kFormatPcm = 1;

// PCM format record handed to the driver by address.
struct WaveFormat {
    uint16_t formatTag = kFormatPcm;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 22050;
    uint32_t avgBytesPerSec = 44100;
    uint16_t blockAlign = 2;
    uint16_t bitsPerSample = 16;
    uint16_t extraSize = 0;
};

// Header flags.
inline constexpr uint32_t kHeaderDone = 0x01;      // the driver has finished with the buffer
inline constexpr uint32_t kHeaderPrepared = 0x02;  // prepared for the device
inline constexpr uint32_t kHeaderBeginLoop = 0x04;
inline constexpr uint32_t kHeaderEndLoop = 0x08;
inline constexpr uint32_t kHeaderInQueue = 0x10;  // owned by the driver until it is returned

// Buffer header: one per pool buffer. Between queueing and its completion message the driver owns
// the header and the bytes it points at; otherwise the component does.
struct WaveHeader {
    std::byte* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
    uintptr_t user = 0;
    uint32_t flags = 0;
    uint32_t loops = 0;
    WaveHeader* next = nullptr;
    uintptr_t reserved = 0;
};

// Driver messages, posted to the notification target given at open. The first parameter of every
// message is the stream's identity (WaveStream::identity); the second is the address of the header
// returned for data/done messages and 0 otherwise. The values are the classic multimedia ones.
enum class WaveMessage : uint32_t {
    PlaybackOpen = 0x3BB,
    PlaybackClose = 0x3BC,
    PlaybackDone = 0x3BD,
    CaptureOpen = 0x3BE,
    CaptureClose = 0x3BF,
    CaptureData = 0x3C0,
};

// The id a message carries through the message loop.
constexpr uint32_t messageId(WaveMessage message) {
    return static_cast<uint32_t>(message);
}

// The messages of a stream of each direction.
constexpr WaveMessage openMessage(Direction d) {
    return d == Direction::Capture ? WaveMessage::CaptureOpen : WaveMessage::PlaybackOpen;
}
constexpr WaveMessage closeMessage(Direction d) {
    return d == Direction::Capture ? WaveMessage::CaptureClose : WaveMessage::PlaybackClose;
}
constexpr WaveMessage doneMessage(Direction d) {
    return d == Direction::Capture ? WaveMessage::CaptureData : WaveMessage::PlaybackDone;
}

}  // namespace platform
