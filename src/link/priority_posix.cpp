#include <sys/resource.h>

#include <cerrno>

#include "link/priority.h"

namespace rv {

RaisedPriority::RaisedPriority() {
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, 0);
    if (current == -1 && errno != 0) return;
    saved_ = current;
    // The lowest nice value the process may take: -20 with the privilege, else the soft
    // RLIMIT_NICE ceiling (20 - limit), else nothing better than what it has.
    int target = -20;
    if (setpriority(PRIO_PROCESS, 0, target) != 0) {
        rlimit limit{};
        if (getrlimit(RLIMIT_NICE, &limit) != 0) return;
        target = 20 - static_cast<int>(limit.rlim_cur);
        if (target >= current || setpriority(PRIO_PROCESS, 0, target) != 0) return;
    }
    changed_ = true;
}

RaisedPriority::~RaisedPriority() {
    if (changed_) setpriority(PRIO_PROCESS, 0, saved_);
}

}  // namespace rv
