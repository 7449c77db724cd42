// A simulated sound card: a wave driver whose capture is fed by a signal source, on a manual clock
// (tests say when time passes) or on the real clock (the program's --sim mode).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/WaveDriver.h"
#include "platform/sim/SignalSource.h"

namespace platform::sim {

enum class Clock { Manual, Realtime };

// Driver calls that a test can make fail once, with a given result.
enum class SimCall { Open, Prepare, AddBuffer, Start, Reset, Close };

class SimCard final : public WaveDriver {
public:
    explicit SimCard(Clock clock = Clock::Manual);
    ~SimCard() override;

    // The capture signal; silence until set. Takes effect for the frames captured from now on.
    void setSource(std::unique_ptr<StereoSource> source);

    // Manual clock: lets `frames` frames pass. Each open, started capture stream fills its queued
    // buffers in order; every buffer that becomes full completes and its data message is posted.
    void advance(uint64_t frames);
    // Manual clock: lets exactly enough time pass for `count` capture buffers to complete.
    void completeBuffers(int count);
    uint64_t now() const;  // frames elapsed on the card's clock

    // Another program holds the device: open fails with MMResult::Allocated while set.
    void setBusy(Direction direction, bool busy);
    // The next call of this kind fails with `result` (once).
    void failNext(SimCall call, MMResult result);

    MMResult open(Direction direction, uint32_t deviceId, const WaveFormat& format,
                  MessageLoop& loop, TargetId notify, std::unique_ptr<WaveStream>& stream) override;
    std::string errorText(Direction direction, MMResult result) const override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::sim
