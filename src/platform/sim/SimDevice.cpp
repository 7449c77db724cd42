// The device of each direction of the simulated card: taking and leaving its place as the open
// device, and the one-shot faults a test injects into the stream's calls.
#include "platform/sim/SimCore.h"

namespace platform::sim::detail {

std::mutex& SimDevice::mutex() {
    return core_.mutex;
}

MMResult SimDevice::admit(WaveCall call) {
    return core_.takeFailure(call).value_or(MMResult::NoError);
}

Status SimDevice::attach(StreamQueue& q) {
    if (open()) return Status::fail(MMResult::Allocated, "the device is already open");
    queue = &q;
    started = false;
    paused = false;
    return {};
}

Status SimDevice::close(const ClosedNotice& closed) {
    std::lock_guard lock(core_.mutex);
    queue = nullptr;
    closed.post();
    return {};
}

}  // namespace platform::sim::detail
