#pragma once

#include <functional>

// The window's operations run on a worker thread; the window's thread stays in its event
// loop meanwhile and learns what happens through queued calls. These are the three ways
// between the two threads.

// Called on the window's thread: runs `work` on a worker thread and serves the window's
// events until `work` has returned and everything it posted has been delivered. When the
// event loop is told to quit meanwhile (the program ends), it still waits for `work`, which
// the closing window has asked to stop.
void RunOnWorker(const std::function<void()>& work);

// On the window's thread: whether an operation is running on the worker.
bool OperationRunning();

// From the worker: `job` runs on the window's thread, after everything posted before it.
// On the window's thread itself it runs at once.
void PostToWindow(std::function<void()> job);

// From the worker: `question` (a message box) runs on the window's thread while the worker
// waits for its answer. On the window's thread itself it runs at once.
void AskWindow(const std::function<void()>& question);
