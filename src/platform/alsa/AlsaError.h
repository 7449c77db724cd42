// Failure texts of the ALSA backend: a failed call with its device and ALSA's reason, and the
// mapping of ALSA's negative errno results to driver result codes. The outcome of a step (Status)
// and the log of details are the platform's (platform/ErrorLog.h).
#pragma once

#include <string>
#include <string_view>

#include "platform/ErrorLog.h"
#include "platform/WaveTypes.h"

namespace platform::alsa {

// `call(args): reason (alsa-lib: what it said)`, with the reason from snd_strerror(err) and what
// alsa-lib said on this thread since the last discard (AlsaLog.h), which it then discards.
std::string callText(std::string_view call, std::string_view args, int err);

// Result code for a failed snd_pcm_open: a missing or malformed device name is a bad device, a
// device held by another program is allocated.
MMResult openResult(int err);

}  // namespace platform::alsa
