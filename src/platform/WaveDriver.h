// The wave driver interface: what the wave components need of a sound card, in both directions.
//
// A driver opens streams. Each open stream posts its notifications (open, data/done, close) to the
// target given at open, through the message loop, so the component sees them on the UI thread
// after the call that caused them has returned.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/MessageLoop.h"
#include "platform/WaveTypes.h"

namespace platform {

// One open device. All calls come from the UI thread.
class WaveStream {
  public:
    virtual ~WaveStream() = default;  // a stream destroyed while open is reset and closed first

    // The first parameter of every message of this stream. Unique in the process and never reused,
    // unlike the stream's address: a playback stream's close message may arrive after the object
    // is gone and a newer stream occupies its memory.
    uintptr_t identity() const { return identity_; }

    virtual MMResult prepareHeader(WaveHeader& header) = 0;
    virtual MMResult unprepareHeader(WaveHeader& header) = 0;  // StillPlaying while queued
    // Capture: queue an empty buffer to be filled. Playback: queue a filled buffer to be played
    // (bufferLength bytes). Buffers complete in the order they were queued.
    virtual MMResult addBuffer(WaveHeader& header) = 0;
    virtual MMResult start() = 0;    // capture: begin recording into the queued buffers
    virtual MMResult pause() = 0;    // playback: hold output, keep the queue
    virtual MMResult restart() = 0;  // playback: resume after pause
    // Stops the device and returns every queued buffer (with its data/done message) before it
    // returns; the driver no longer touches any of them afterwards.
    virtual MMResult reset() = 0;
    // Closes the device and posts the close message. Fails with StillPlaying while buffers are
    // queued; reset first. A playback device still holding frames plays them out first, without
    // holding up the caller: its close message follows once they are played (or a deadline passed).
    virtual MMResult close() = 0;

  protected:
    WaveStream();

  private:
    const uintptr_t identity_;
};

// The identity a stream puts in param1 of its messages.
inline uintptr_t streamIdentity(const WaveStream& stream) {
    return stream.identity();
}

class WaveDriver {
  public:
    virtual ~WaveDriver() = default;

    // Opens device `deviceId` (kWaveMapper: the configured device) with `format`. On success
    // `stream` holds the open stream and the open message has been posted to `notify`.
    virtual MMResult open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                          MessageLoop& loop, TargetId notify,
                          std::unique_ptr<WaveStream>& stream) = 0;

    // Why a call failed with `result`: the code's standard text and, where the backend knows it,
    // the detail of its latest failure with this code.
    virtual ErrorReason errorReason(Direction direction, MMResult result) const = 0;
    // Text for a result code, as a user should read it (the reason's text).
    std::string errorText(Direction direction, MMResult result) const {
        return errorReason(direction, result).text();
    }
    // The name of the device kWaveMapper opens in `direction`, as the user knows it.
    virtual std::string deviceName(Direction direction) const = 0;
};

// The standard text of a result code, without backend detail.
const char* standardErrorText(MMResult result);

}  // namespace platform
