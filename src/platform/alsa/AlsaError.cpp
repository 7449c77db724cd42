#include "platform/alsa/AlsaError.h"

#include <alsa/asoundlib.h>

#include <cerrno>

#include "platform/alsa/AlsaLog.h"

namespace platform::alsa {

std::string callText(std::string_view call, std::string_view args, int err) {
    std::string text(call);
    text += '(';
    text += args;
    text += "): ";
    text += snd_strerror(err);
    if (const std::string_view said = libraryMessages(); !said.empty()) {
        text += " (alsa-lib: ";
        text += said;
        text += ')';
    }
    discardLibraryMessages();
    return text;
}

MMResult openResult(int err) {
    switch (-err) {
        // snd_pcm_open reports an unknown PCM name as ENOENT and a card index that does not exist
        // ("hw:9") as EINVAL; the device name is the only argument that can be wrong here.
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EINVAL:
            return MMResult::BadDeviceId;
        case EBUSY:
        case EAGAIN:
            return MMResult::Allocated;  // non-blocking open of a device in use
        case ENOMEM:
            return MMResult::NoMem;
        default:
            return MMResult::Error;
    }
}

}  // namespace platform::alsa
