// A simulated sound card: a wave driver whose capture is fed by a signal source, on a manual clock
// (tests say when time passes) or on the real clock (the program's --sim mode).
//
// The card has one capture and one playback device (device 0, also reached as kWaveMapper), each
// open at most once at a time. Both run at 44100 frames/s. Capture accepts PCM mono or stereo, 8
// or 16 bits; playback accepts PCM mono or stereo, 16 bits. Its streams keep the platform's stream
// contract (QueuedWaveStream): messages, header rules and result codes are those of every backend.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/StreamQueue.h"
#include "platform/WaveDevice.h"
#include "platform/WaveDriver.h"
#include "platform/sim/SignalSource.h"

namespace platform::sim {

// How time passes on the card: when a test says so, or as it passes on the wall clock.
enum class SimClock { Manual, Realtime };

class SimCard final : public WaveDriver {
  public:
    // Realtime: a clock thread lets time pass as it passes on the wall clock, in steps of a few
    // milliseconds, until the card is destroyed.
    explicit SimCard(SimClock clock = SimClock::Manual);
    // Stops the clock thread. Streams may outlive the card; they stay usable, with a stopped clock.
    ~SimCard() override;
    SimCard(const SimCard&) = delete;
    SimCard& operator=(const SimCard&) = delete;

    // The capture signal; silence until set (null: silence). Takes effect for the frames captured
    // from now on. The source's frame index is the card's clock.
    void setSource(std::unique_ptr<StereoSource> source);

    // Lets `frames` frames pass. The started capture stream fills its queued buffers in order;
    // every buffer that becomes full completes and its data message is posted. Frames that pass
    // while no buffer is queued are lost. The playback stream plays its queued buffers unless
    // paused. Meant for the manual clock; on the realtime clock it adds to the time that passed.
    void advance(uint64_t frames);
    // Lets exactly enough time pass for `count` buffers of the open, started capture stream to
    // complete, or for all its queued buffers when fewer are queued. Returns the number completed;
    // nothing happens (0) when no capture stream is open and started.
    int completeBuffers(int count);
    uint64_t now() const;  // frames elapsed on the card's clock

    // Buffers the open stream of this direction holds (0 when none is open).
    size_t queuedBuffers(Direction direction) const;

    // Another program holds the device: open fails with MMResult::Allocated while set.
    void setBusy(Direction direction, bool busy);
    // The next call of this kind, on any stream, fails with `result` (once) and does nothing else.
    // MMResult::NoError withdraws a pending failure.
    void failNext(WaveCall call, MMResult result);
    // The open stream of this direction fails beyond recovery, as when a sound server stops: its
    // queued buffers come back unfilled and its calls fail with Error. Nothing without a stream.
    void failDevice(Direction direction);

    MMResult open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                  MessageLoop& loop, TargetId notify, std::unique_ptr<WaveStream>& stream) override;
    ErrorReason errorReason(Direction direction, MMResult result) const override;
    std::string deviceName(Direction direction) const override;  // "simulated card"

  private:
    friend std::unique_ptr<StereoSource> makeLoopback(SimCard& card, double couplingHz);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A loopback cable from the card's playback to both of its inputs: capture frame f is what the
// playback stream played at frame f (mono playback on both channels; silence when nothing played),
// through a LINE IN's coupling high-pass of `couplingHz` on each input (0: none, DC-coupled).
// Give it to the same card's setSource.
std::unique_ptr<StereoSource> makeLoopback(SimCard& card, double couplingHz = 0.0);

}  // namespace platform::sim
