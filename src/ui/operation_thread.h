#pragma once

#include <QThread>
#include <functional>
#include <memory>

// The window's operations run on a worker thread; the window's thread stays in its event
// loop meanwhile and learns what happens through queued calls. These are the ways between
// the two threads.

// One operation on a worker thread, started from the window's thread, which goes on serving
// its events. A button's operation waits for it in a local event loop (RunOnWorker); a
// longer one, such as watching a sensor, lets the window's main loop serve its events and
// learns of the end through `finished`.
class WorkerOperation {
  public:
    WorkerOperation() = default;
    // Waits for running work, serving the window's events; its owner has asked it to stop.
    ~WorkerOperation();
    WorkerOperation(const WorkerOperation&) = delete;
    WorkerOperation& operator=(const WorkerOperation&) = delete;

    // On the window's thread: starts `work` on a worker thread. `finished` runs on the
    // window's thread once `work` has returned and everything it posted has been delivered.
    // False, and nothing started, while work is running.
    bool start(std::function<void()> work, std::function<void()> finished = {});
    bool running() const { return thread_ != nullptr; }
    // Serves the window's events until the work has ended and `finished` has run. It waits
    // for the work even when the event loop is told to quit meanwhile (the program ends).
    void wait();

  private:
    void ended();

    std::unique_ptr<QThread> thread_;
    std::function<void()> finished_;
};

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
