#pragma once

#include <atomic>
#include <cstdint>

namespace rv {

// A request to stop the running operation, made from any thread. Setting it also wakes a
// transaction that is waiting for the line, at once. The wake-up belongs to the platform's
// serial-port file, which alone reads waitHandle().
class CancelSignal {
  public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void request();
    void clear();
    bool requested() const { return requested_.load(std::memory_order_acquire); }

    // The platform's waitable object: a descriptor or an event handle.
    intptr_t waitHandle() const { return handle_; }

  private:
    std::atomic<bool> requested_{false};
    intptr_t handle_ = -1;
};

}  // namespace rv
