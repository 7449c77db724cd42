// Failure reporting shared by the backends: the outcome of a step, and the log of failure details
// that makes a driver's error texts say why a call failed.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/WaveTypes.h"

namespace platform {

// A result code and, on failure, the detail a user should read: the call, the device and why.
struct Status {
    MMResult code = MMResult::NoError;
    std::string detail;

    bool ok() const { return code == MMResult::NoError; }
    static Status fail(MMResult code, std::string detail) { return {code, std::move(detail)}; }
};

// The latest failure detail per direction and result code, shared by a driver and its streams. A
// service without directions (the mixer) uses the calls without one, which share no detail with
// either direction.
class ErrorLog {
  public:
    // `source` goes before each detail it gives: "source: detail", or the detail alone if empty.
    explicit ErrorLog(std::string source = {}) : source_(std::move(source)) {}

    // Keeps the detail of a failed `status` (an empty one clears the code's) and returns its code.
    MMResult record(Direction direction, const Status& status);
    // `code` with its standard text and the latest detail of this code and direction, if any:
    // what a driver's errorReason returns.
    ErrorReason reason(Direction direction, MMResult code) const;
    MMResult record(const Status& status);
    ErrorReason reason(MMResult code) const;

  private:
    using Key = std::pair<std::optional<Direction>, MMResult>;  // nullopt: no direction
    MMResult keep(const Key& key, const Status& status);
    ErrorReason reasonOf(const Key& key) const;

    const std::string source_;
    // Guards details_: written by failing calls on the UI thread, read by errorReason on any.
    mutable std::mutex mutex_;
    std::map<Key, std::string> details_;
};

}  // namespace platform
