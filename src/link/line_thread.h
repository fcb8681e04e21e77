#pragma once

#include <thread>

namespace rv {

// The thread that must never wait on the line: a program with a window names its window's
// thread, which runs every operation on a worker instead. Checked by every transaction in
// builds with RV740X_THREAD_CHECK (all but release builds): a transaction on the named
// thread ends the program with a message, so the fault cannot pass unseen.
void ForbidLineWaitsOn(std::thread::id thread);
// Only the named thread is refused; the default id refuses none.
void CheckLineThread();
// Whether this build checks.
bool LineThreadChecked();

}  // namespace rv
