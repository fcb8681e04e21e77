#pragma once

// Presses "cancel" from another thread, as the window's "Отмена" does while an operation
// runs on its worker.

#include <chrono>
#include <thread>

#include "link/cancel_signal.h"

namespace rv::test {

class CancelLater {
  public:
    explicit CancelLater(CancelSignal& cancel) : cancel_(cancel) {}
    CancelLater(const CancelLater&) = delete;
    CancelLater& operator=(const CancelLater&) = delete;

    // Requests the cancel `after` from now, once; later calls do nothing.
    void arm(std::chrono::milliseconds after) {
        if (thread_.joinable()) return;
        thread_ = std::jthread([this, after] {
            std::this_thread::sleep_for(after);
            pressedAt_ = std::chrono::steady_clock::now();
            cancel_.request();
        });
    }
    bool armed() const { return thread_.joinable(); }
    // When the request was made; valid once the thread has been joined.
    std::chrono::steady_clock::time_point pressedAt() {
        if (thread_.joinable()) thread_.join();
        return pressedAt_;
    }

  private:
    CancelSignal& cancel_;
    std::chrono::steady_clock::time_point pressedAt_{};
    std::jthread thread_;
};

}  // namespace rv::test
