#include "interrupt.h"

#include <signal.h>

#include <atomic>

namespace rv::cli {

namespace {

volatile sig_atomic_t interrupts = 0;
// The cancel request a second Ctrl+C raises; setting it is safe in a signal handler.
std::atomic<CancelSignal*> watched{nullptr};
static_assert(std::atomic<CancelSignal*>::is_always_lock_free);

void onInterrupt(int) {
    if (interrupts < 2) interrupts = interrupts + 1;
    CancelSignal* cancel = watched.load();
    if (interrupts >= 2 && cancel != nullptr) cancel->request();
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a waiting poll or sleep returns at once
    sigaction(SIGINT, &action, nullptr);
}

int InterruptCount() { return static_cast<int>(interrupts); }

void WatchInterrupts(Link& link) { watched.store(&link.CancelFlag); }

void UnwatchInterrupts(Link& link) {
    CancelSignal* expected = &link.CancelFlag;
    watched.compare_exchange_strong(expected, nullptr);
}

void StopAtBoundaryIfAsked(Link& link) {
    if (interrupts >= 1) link.CancelFlag.request();
}

}  // namespace rv::cli
