// Failure reporting of the ALSA backend: the outcome of one setup step, the mapping of ALSA's
// negative errno results to driver result codes, and the log of failure details that makes the
// driver's error texts say why a call failed.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "platform/WaveTypes.h"

namespace platform::alsa {

// The outcome of a step that can fail: a result code and, on failure, the detail a user should
// read (which call failed, on which device, and ALSA's reason).
struct Status {
    MMResult code = MMResult::NoError;
    std::string detail;

    bool ok() const { return code == MMResult::NoError; }
    static Status fail(MMResult code, std::string detail) { return {code, std::move(detail)}; }
};

// `call(args): reason`, with the reason from snd_strerror(err).
std::string callText(std::string_view call, std::string_view args, int err);

// Result code for a failed snd_pcm_open: a missing or malformed device name is a bad device, a
// device held by another program is allocated.
MMResult openResult(int err);

// The latest failure detail per direction and result code. Shared by the driver and its streams;
// written from the UI thread, read by errorText from any thread.
class ErrorLog {
  public:
    // Records `status`'s detail (if it failed) and returns its code.
    MMResult record(Direction direction, const Status& status);
    // The detail of the latest failure with this code in this direction; empty if none.
    std::string detail(Direction direction, MMResult code) const;

  private:
    // Guards details_: written by failing calls, read by errorText on any thread.
    mutable std::mutex mutex_;
    std::map<std::pair<Direction, MMResult>, std::string> details_;
};

}  // namespace platform::alsa
