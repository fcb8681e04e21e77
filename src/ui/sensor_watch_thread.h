#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

#include "channel/sensor_watch.h"
#include "link/link.h"

// Runs one watch of a sensor (rv::WatchSensor) on a thread of its own, on a link of its own
// made from the window's line settings, so the window never waits for the line. Each answer
// and the end come back to the owner's thread through queued signals. Stopping raises the
// link's cancel request, which wakes a request waiting for its answer at once.
class SensorWatchThread : public QObject {
    Q_OBJECT
  public:
    explicit SensorWatchThread(QObject* parent = nullptr);
    ~SensorWatchThread() override;
    SensorWatchThread(const SensorWatchThread&) = delete;
    SensorWatchThread& operator=(const SensorWatchThread&) = delete;

    // Starts a watch on the port, speed and instrument of `line`; false when one runs.
    bool start(const rv::Link& line, const rv::WatchSetup& setup);
    // Asks the running watch to stop; `finished` follows.
    void stop();
    // Stops and waits until the thread has ended.
    void stopAndWait();
    bool running() const { return thread_ != nullptr; }

  signals:
    void answered(const rv::WatchAnswer& answer);
    // The watch has ended: its outcome and, after a failure, the status that says why.
    void finished(rv::Outcome outcome, int status);

  private:
    void ended(rv::Outcome outcome, int status);

    std::unique_ptr<rv::Link> link_;
    std::atomic<bool> stopAsked_{false};
    QThread* thread_ = nullptr;
};
