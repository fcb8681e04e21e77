#include "interrupt.h"

#include <atomic>

#include "ports/platform.h"

namespace rv::cli {

namespace {

// Lock-free, so a signal handler or the console's own thread may count.
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The cancel request a second Ctrl+C raises; raising it is safe in a signal handler.
std::atomic<CancelSignal*> watched{nullptr};
static_assert(std::atomic<CancelSignal*>::is_always_lock_free);

void onInterrupt() {
    int seen = interrupts.load();
    while (seen < 2 && !interrupts.compare_exchange_weak(seen, seen + 1)) {
    }
    CancelSignal* cancel = watched.load();
    if (interrupts.load() >= 2 && cancel != nullptr) cancel->request();
}

}  // namespace

void InstallInterruptHandler() { OnConsoleInterrupt(onInterrupt); }

int InterruptCount() { return interrupts.load(); }

void WatchInterrupts(Link& link) { watched.store(&link.CancelFlag); }

void UnwatchInterrupts(Link& link) {
    CancelSignal* expected = &link.CancelFlag;
    watched.compare_exchange_strong(expected, nullptr);
}

void StopAtBoundaryIfAsked(Link& link) {
    if (interrupts >= 1) link.CancelFlag.request();
}

}  // namespace rv::cli
