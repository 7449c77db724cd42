#include "platform/ErrorLog.h"

#include "platform/WaveDriver.h"

namespace platform {

MMResult ErrorLog::record(Direction direction, const Status& status) {
    return keep({direction, status.code}, status);
}

ErrorReason ErrorLog::reason(Direction direction, MMResult code) const {
    return reasonOf({direction, code});
}

MMResult ErrorLog::record(const Status& status) {
    return keep({std::nullopt, status.code}, status);
}

ErrorReason ErrorLog::reason(MMResult code) const {
    return reasonOf({std::nullopt, code});
}

MMResult ErrorLog::keep(const Key& key, const Status& status) {
    if (!status.ok()) {
        std::lock_guard lock(mutex_);
        details_[key] = status.detail;
    }
    return status.code;
}

ErrorReason ErrorLog::reasonOf(const Key& key) const {
    ErrorReason reason{key.second, standardErrorText(key.second), {}};
    std::lock_guard lock(mutex_);
    const auto it = details_.find(key);
    if (it != details_.end() && !it->second.empty()) {
        reason.detail = source_.empty() ? it->second : source_ + ": " + it->second;
    }
    return reason;
}

}  // namespace platform
