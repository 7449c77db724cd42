#include "platform/alsa/AlsaError.h"

#include <alsa/asoundlib.h>

#include <cerrno>

namespace platform::alsa {

std::string callText(std::string_view call, std::string_view args, int err) {
    std::string text(call);
    text += '(';
    text += args;
    text += "): ";
    text += snd_strerror(err);
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

MMResult ErrorLog::record(Direction direction, const Status& status) {
    if (!status.ok()) {
        std::lock_guard lock(mutex_);
        details_[{direction, status.code}] = status.detail;
    }
    return status.code;
}

std::string ErrorLog::detail(Direction direction, MMResult code) const {
    std::lock_guard lock(mutex_);
    const auto it = details_.find({direction, code});
    return it == details_.end() ? std::string() : it->second;
}

}  // namespace platform::alsa
