// WakeEvent: an owned eventfd that another thread signals to wake a driver thread out of poll().
#pragma once

#include "platform/alsa/AlsaError.h"

namespace platform::alsa {

class WakeEvent {
  public:
    WakeEvent() = default;
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    Status create();  // fails with NoMem/Error carrying errno's text
    int fd() const { return fd_; }
    void signal() const;  // any thread; never blocks
    void clear() const;   // the waiting thread, after poll() reported it readable

  private:
    int fd_ = -1;
};

}  // namespace platform::alsa
