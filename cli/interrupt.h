#pragma once

#include "link/link.h"

namespace rv::cli {

// Ctrl+C: the first press asks the running operation to stop after the block or probe in
// progress, the second stops it at once. Neither ends the process; the operation returns
// and the program exits with 130.
void InstallInterruptHandler();

// How many times Ctrl+C has been pressed.
int InterruptCount();

// Lets the link's wait notice a second Ctrl+C at once: the signal raises the link's cancel
// request, which wakes the wait. The link must outlive the program's operations.
void WatchInterrupts(Link& link);
// Ends what WatchInterrupts(link) began, if it still watches that link.
void UnwatchInterrupts(Link& link);

// Called between blocks or probes: turns a first Ctrl+C into the link's cancel request.
void StopAtBoundaryIfAsked(Link& link);

}  // namespace rv::cli
