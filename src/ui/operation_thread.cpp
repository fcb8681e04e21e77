#include "ui/operation_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <memory>

namespace {

int running = 0;  // operations under way; the window's thread's own count

}  // namespace

bool OperationRunning() { return running > 0; }

void RunOnWorker(const std::function<void()>& work) {
    ++running;
    QEventLoop loop;
    bool done = false;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        work();
        // Queued behind every call the work posted, so these have all run once `done` is set.
        QMetaObject::invokeMethod(
            &loop,
            [&] {
                done = true;
                loop.quit();
            },
            Qt::QueuedConnection);
    }));
    worker->setObjectName("rv740x operation");
    worker->start();
    loop.exec();
    // The loop returns early when the application is quitting, and at once when it has been
    // told to quit before; the worker is still waited for, with the window's events served.
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker->wait();
    --running;
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
