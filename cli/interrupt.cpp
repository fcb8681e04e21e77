#include "interrupt.h"

#include <atomic>
#include <chrono>

#include "ports/platform.h"

namespace rv::cli {

namespace {

// Lock-free, so a signal handler or the console's own thread may count.
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

void onInterrupt() {
    int seen = interrupts.load();
    while (seen < 2 && !interrupts.compare_exchange_weak(seen, seen + 1)) {
    }
}

}  // namespace

void InstallInterruptHandler() { OnConsoleInterrupt(onInterrupt); }

int InterruptCount() { return interrupts.load(); }

void WatchInterrupts(Link& link) {
    link.pumpMessages = [&link] {
        if (interrupts >= 2) link.CancelFlag = true;
    };
    // Only a lost race between a signal and the start of a wait needs the periodic look.
    link.pumpInterval = std::chrono::milliseconds(100);
}

void StopAtBoundaryIfAsked(Link& link) {
    if (interrupts >= 1) link.CancelFlag = true;
}

}  // namespace rv::cli
