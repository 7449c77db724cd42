// PcmOpener: opens a PCM and sets it up on a thread of its own. Opening a device of a sound server
// that has stopped (the pulse plugin's connect) waits without limit, and the UI thread must not:
// it waits at most kOpenWait. An open that takes longer goes on and is kept; the next open of the
// direction takes it once it has finished, so that a slow server is still opened, and says that
// the device does not answer (NoAnswer) while it has not. One per direction; UI thread.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/ErrorLog.h"
#include "platform/WaveTypes.h"
#include "platform/alsa/PcmHandle.h"
#include "platform/alsa/PcmSetup.h"

namespace platform::alsa {

class PcmDevice;

// How long an open may take before the caller goes on without it.
inline constexpr std::chrono::milliseconds kOpenWait{100};
// How long an open that finds its device busy waits for our own devices still closing it.
inline constexpr std::chrono::milliseconds kBusyWait{1500};

class PcmOpener {
  public:
    PcmOpener() = default;
    ~PcmOpener();  // an open still on its way closes what it opens by itself
    PcmOpener(const PcmOpener&) = delete;
    PcmOpener& operator=(const PcmOpener&) = delete;

    // `device` opened and set up for `format` into `pcm` and `geometry`, or why not. `busy`: our
    // devices of the direction still closing, which an open refused as busy waits for (at most
    // kBusyWait) before it tries once more.
    Status open(const std::string& device, Direction direction, const WaveFormat& format,
                std::vector<std::shared_ptr<PcmDevice>> busy, PcmHandle& pcm,
                PcmGeometry& geometry);

  private:
    struct Attempt;
    // Hands the outcome of a finished attempt over.
    static Status take(Attempt& attempt, PcmHandle& pcm, PcmGeometry& geometry);

    std::shared_ptr<Attempt> pending_;  // an open that has not finished in time
};

// Closes `pcm` on a thread of its own (closing may wait for a sound server); here if none starts.
void closeAside(PcmHandle pcm);

}  // namespace platform::alsa
