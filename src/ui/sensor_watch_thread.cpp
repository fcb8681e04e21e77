#include "ui/sensor_watch_thread.h"

#include <QMetaObject>

SensorWatchThread::SensorWatchThread(QObject* parent) : QObject(parent) {
    qRegisterMetaType<rv::WatchAnswer>("rv::WatchAnswer");
    qRegisterMetaType<rv::Outcome>("rv::Outcome");
}

SensorWatchThread::~SensorWatchThread() { stopAndWait(); }

bool SensorWatchThread::start(const rv::Link& line, const rv::WatchSetup& setup) {
    if (thread_ != nullptr) return false;
    link_ = std::make_unique<rv::Link>();
    rv::Link& link = *link_;
    link.Device = line.Device;
    link.BaudRate = line.BaudRate;
    link.ReplyTimeout = line.ReplyTimeout;
    link.NetNumber = line.NetNumber;
    link.trace = line.trace;
    stopAsked_ = false;

    thread_ = QThread::create([this, &link, setup] {
        const auto answer = [this](const rv::WatchAnswer& a) { emit answered(a); };
        const auto goOn = [this] { return !stopAsked_.load(); };
        const rv::Outcome outcome = rv::WatchSensor(link, setup, answer, goOn);
        const int status = link.LinkStatus;
        QMetaObject::invokeMethod(
            this, [this, outcome, status] { ended(outcome, status); }, Qt::QueuedConnection);
    });
    thread_->start();
    return true;
}

void SensorWatchThread::stop() {
    stopAsked_ = true;
    // Wakes a request waiting for its answer at once.
    if (link_) link_->CancelFlag.request();
}

void SensorWatchThread::stopAndWait() {
    if (thread_ == nullptr) return;
    stop();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    link_.reset();
}

void SensorWatchThread::ended(rv::Outcome outcome, int status) {
    if (thread_ == nullptr) return;  // already joined by stopAndWait
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    link_.reset();
    emit finished(outcome, status);
}
