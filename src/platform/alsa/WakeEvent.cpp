#include "platform/alsa/WakeEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace platform::alsa {

WakeEvent::~WakeEvent() {
    if (fd_ >= 0) ::close(fd_);
}

Status WakeEvent::create() {
    fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ < 0) {
        const int err = errno;
        return Status::fail(err == ENOMEM ? MMResult::NoMem : MMResult::Error,
                            std::string("eventfd(): ") + std::strerror(err));
    }
    return {};
}

void WakeEvent::signal() const {
    const uint64_t one = 1;
    // A full counter (EAGAIN) still reads as readable, so a failed write loses no wake-up.
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeEvent::clear() const {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
}

}  // namespace platform::alsa
