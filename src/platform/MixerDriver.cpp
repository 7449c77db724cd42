#include "platform/MixerDriver.h"

#include <atomic>

namespace platform {

namespace {

std::atomic<uintptr_t> nextMixerIdentity{1};

}  // namespace

MixerDevice::MixerDevice() : identity_(nextMixerIdentity.fetch_add(1, std::memory_order_relaxed)) {}

}  // namespace platform
