// The pace at which the idle passes try again to open a device that could not be opened or that
// failed during its run: the next attempt waits kRetryInterval, so that a device that refuses at
// once (a sound server that is gone) is not opened thousands of times a second. The time comes
// from the caller, so that tests can drive it.
#pragma once

#include <chrono>
#include <functional>

namespace instrument {

using TimePoint = std::chrono::steady_clock::time_point;
// Where the instrument reads the time: the steady clock, or a test's manual clock.
using Clock = std::function<TimePoint()>;

// The wait after a failed attempt (which may open the device twice): at most four opens a second.
inline constexpr std::chrono::milliseconds kRetryInterval{500};

class RetryPace {
  public:
    // Whether an attempt may be made at `now`: unless the latest one failed less than
    // kRetryInterval before.
    bool due(TimePoint now) const { return !failing_ || now - failedAt_ >= kRetryInterval; }
    bool failing() const { return failing_; }
    TimePoint dueAt() const { return failedAt_ + kRetryInterval; }
    void failed(TimePoint now) {
        failing_ = true;
        failedAt_ = now;
    }
    void succeeded() { failing_ = false; }

  private:
    bool failing_ = false;
    TimePoint failedAt_{};
};

}  // namespace instrument
