#include "ui/operation_thread.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace {

int underWay = 0;  // operations under way; the window's thread's own count

}  // namespace

bool OperationRunning() { return underWay > 0; }

WorkerOperation::~WorkerOperation() { wait(); }

bool WorkerOperation::start(std::function<void()> work, std::function<void()> finished) {
    if (thread_ != nullptr) return false;
    ++underWay;
    finished_ = std::move(finished);
    thread_.reset(QThread::create([this, work = std::move(work)] {
        work();
        // Queued behind every call the work posted, so these have all run before `ended`.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this] { ended(); }, Qt::QueuedConnection);
    }));
    thread_->setObjectName("rv740x operation");
    thread_->start();
    return true;
}

void WorkerOperation::ended() {
    thread_->wait();
    thread_.reset();
    --underWay;
    const std::function<void()> finished = std::move(finished_);
    finished_ = nullptr;
    if (finished) finished();
}

void WorkerOperation::wait() {
    while (running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void RunOnWorker(const std::function<void()>& work) {
    QEventLoop loop;
    WorkerOperation operation;
    operation.start(work, [&loop] { loop.quit(); });
    loop.exec();
    // The loop returns early when the application is quitting, and at once when it has been
    // told to quit before; the worker is still waited for, with the window's events served.
    operation.wait();
}

void PostToWindow(std::function<void()> job) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(job), Qt::AutoConnection);
}

void AskWindow(const std::function<void()>& question) {
    QObject* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
        question();
        return;
    }
    QMetaObject::invokeMethod(app, question, Qt::BlockingQueuedConnection);
}
