#include "platform/ErrorLog.h"

#include "platform/WaveDriver.h"

namespace platform {

MMResult ErrorLog::record(Direction direction, const Status& status) {
    if (!status.ok()) {
        std::lock_guard lock(mutex_);
        details_[{direction, status.code}] = status.detail;
    }
    return status.code;
}

std::string ErrorLog::text(Direction direction, MMResult code) const {
    std::string text = standardErrorText(code);
    std::lock_guard lock(mutex_);
    const auto it = details_.find({direction, code});
    if (it != details_.end() && !it->second.empty()) {
        text += source_.empty() ? " (" : " (" + source_ + ": ";
        text += it->second;
        text += ')';
    }
    return text;
}

}  // namespace platform
