#include "interrupt.h"

#include <signal.h>

#include <chrono>

namespace rv::cli {

namespace {

volatile sig_atomic_t interrupts = 0;

void onInterrupt(int) {
    if (interrupts < 2) interrupts = interrupts + 1;
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
