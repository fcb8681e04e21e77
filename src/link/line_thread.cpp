#include "link/line_thread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace rv {

namespace {

std::atomic<std::thread::id> forbidden{};

}  // namespace

void ForbidLineWaitsOn(std::thread::id thread) { forbidden.store(thread); }

void CheckLineThread() {
#ifdef RV740X_THREAD_CHECK
    if (std::this_thread::get_id() != forbidden.load()) return;
    std::fputs("rv740x: a transaction ran on the window's thread\n", stderr);
    std::abort();
#endif
}

bool LineThreadChecked() {
#ifdef RV740X_THREAD_CHECK
    return true;
#else
    return false;
#endif
}

}  // namespace rv
