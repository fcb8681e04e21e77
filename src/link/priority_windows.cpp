// windows.h before the headers that need its types.
// clang-format off
#include <windows.h>
#include <timeapi.h>
// clang-format on

#include "link/priority.h"

namespace rv {

// The highest class a process may take without the privilege of the real-time one, and the
// system timer at its finest, so the waits of an exchange end when their bytes are due rather
// than at the next 15.6 ms tick. Both are given back on every path by the destructor.
RaisedPriority::RaisedPriority() {
    const HANDLE self = GetCurrentProcess();
    const DWORD current = GetPriorityClass(self);
    if (current == 0) return;
    saved_ = static_cast<int>(current);
    if (current != HIGH_PRIORITY_CLASS && current != REALTIME_PRIORITY_CLASS &&
        SetPriorityClass(self, HIGH_PRIORITY_CLASS)) {
        changed_ = true;
    }
    timerRaised_ = timeBeginPeriod(1) == TIMERR_NOERROR;
}

RaisedPriority::~RaisedPriority() {
    if (timerRaised_) timeEndPeriod(1);
    if (changed_) SetPriorityClass(GetCurrentProcess(), static_cast<DWORD>(saved_));
}

}  // namespace rv
