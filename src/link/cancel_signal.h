#pragma once

#include <atomic>
#include <cstdint>

namespace rv {

// An operation's cancel request. Any thread may raise it; the operation's own thread sees it
// at its next look, and a wait on the line (SerialPort::wait) wakes for it at once.
class CancelSignal {
  public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    // Any thread, and safe in a signal handler: sets the request and wakes a waiting operation.
    void request();
    // No request, nothing to wake for: for a caller that runs another operation on the same
    // link after a cancel. Opening a session leaves the request as it is.
    void clear();
    bool requested() const { return requested_.load(std::memory_order_acquire); }

    // The platform's wake-up object (an eventfd on Linux, an event handle on Windows), for the
    // platform's serial-port file only; -1 when the system gave none.
    intptr_t waitHandle() const { return handle_; }

  private:
    std::atomic<bool> requested_{false};
    intptr_t handle_ = -1;
};

}  // namespace rv
