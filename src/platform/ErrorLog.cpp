#include "platform/ErrorLog.h"

#include "platform/WaveDriver.h"

namespace platform {

MMResult ErrorLog::record(Direction direction, const Status& status) {
    return keep({direction, status.code}, status);
}

std::string ErrorLog::text(Direction direction, MMResult code) const {
    return textOf({direction, code});
}

MMResult ErrorLog::record(const Status& status) {
    return keep({std::nullopt, status.code}, status);
}

std::string ErrorLog::text(MMResult code) const {
    return textOf({std::nullopt, code});
}

MMResult ErrorLog::keep(const Key& key, const Status& status) {
    if (!status.ok()) {
        std::lock_guard lock(mutex_);
        details_[key] = status.detail;
    }
    return status.code;
}

std::string ErrorLog::textOf(const Key& key) const {
    std::string text = standardErrorText(key.second);
    std::lock_guard lock(mutex_);
    const auto it = details_.find(key);
    if (it != details_.end() && !it->second.empty()) {
        text += source_.empty() ? " (" : " (" + source_ + ": ";
        text += it->second;
        text += ')';
    }
    return text;
}

}  // namespace platform
