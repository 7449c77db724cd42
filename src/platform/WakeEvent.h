// WakeEvent: an owned eventfd that any thread signals to wake a thread waiting in poll().
#pragma once

namespace platform {

class WakeEvent {
  public:
    // Throws std::system_error naming eventfd when the descriptor cannot be made (for instance
    // when the process has none left).
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    int fd() const { return fd_; }
    void signal() const;  // any thread; never blocks
    void clear() const;   // the waiting thread: readable no more until the next signal

  private:
    int fd_;
};

}  // namespace platform
