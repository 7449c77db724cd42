#include "platform/WaveDriver.h"

#include <atomic>

namespace platform {

namespace {
// Identities start at 1, so that 0 never names a stream.
std::atomic<uintptr_t> nextIdentity{1};
}  // namespace

WaveStream::WaveStream() : identity_(nextIdentity.fetch_add(1, std::memory_order_relaxed)) {}

const char* standardErrorText(MMResult result) {
    switch (result) {
        case MMResult::NoError:
            return "The specified command was carried out.";
        case MMResult::Error:
            return "Undefined external error.";
        case MMResult::BadDeviceId:
            return "A device ID has been used that is out of range for your system.";
        case MMResult::NotEnabled:
            return "The driver was not enabled.";
        case MMResult::Allocated:
            return "The specified device is already in use. Wait until it is free, and then try "
                   "again.";
        case MMResult::InvalidHandle:
            return "The specified device handle is invalid.";
        case MMResult::NoDriver:
            return "There is no driver installed on your system.";
        case MMResult::NoMem:
            return "There is not enough memory available for this task. Quit one or more "
                   "applications to increase available memory, and then try again.";
        case MMResult::NotSupported:
            return "This function is not supported by the device.";
        case MMResult::BadErrNum:
            return "An error number was specified that is not defined in the system.";
        case MMResult::InvalidFlag:
            return "An invalid flag was passed to a system function.";
        case MMResult::InvalidParam:
            return "An invalid parameter was passed to a system function.";
        case MMResult::HandleBusy:
            return "Handle being used simultaneously on another thread (eg callback).";
        case MMResult::BadFormat:
            return "The specified format is not supported or cannot be translated.";
        case MMResult::StillPlaying:
            return "Cannot perform this operation while media data is still playing. Reset the "
                   "device, or wait until the data is finished playing.";
        case MMResult::Unprepared:
            return "The wave header was not prepared. Use the Prepare function to prepare the "
                   "header, and then try again.";
        case MMResult::Sync:
            return "Cannot open the device without using the WAVE_ALLOWSYNC flag. Use the flag, "
                   "and then try again.";
        case MMResult::NoAnswer:
            return "The device does not answer.";
    }
    return "An error number was specified that is not defined in the system.";
}

}  // namespace platform
