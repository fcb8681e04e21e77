#pragma once

// How soon the window's thread answers: events posted to it from another thread at a steady
// pace, as the accessibility bus and the window system send them, each timed from its posting
// to its handling. Beside each delay, the part of it the window's thread, and the threads it
// waits for while it paints, spent waiting for a processor (their run-queue wait, which the
// kernel counts per thread) is taken out: what is left is the window's own doing, busy or
// blocked, whatever else the machine runs meanwhile.

#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace rv::bench {

// Lets the window's thread run its event loop for a while.
inline void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The value below which the share `p` (0..1) of the sorted values lies.
inline double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * (sorted.size() - 1)))];
}

// The time, in milliseconds, that the window's thread `tid` and the threads painting for it
// (Qt's own pool, which fills large areas while the window's thread waits) have spent runnable
// but waiting for a processor; 0 where the kernel does not count it.
inline double RunQueueWaitMs(long tid) {
    const auto waited = [](const std::string& task) {
        std::ifstream stat(task + "/schedstat");
        unsigned long long onCpu = 0;
        unsigned long long waiting = 0;
        stat >> onCpu >> waiting;
        return static_cast<double>(waiting) / 1e6;
    };
    double total = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (task.path().filename() == std::to_string(tid) || name == "Thread (pooled)")
            total += waited(task.path().string());
    }
    return total;
}

// Posts an event to the window's thread every `periodMs` and records, in milliseconds, how
// long each waits before the window's thread handles it.
class Prober {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Prober(int periodMs = 10) : period_(periodMs) {}
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;
    ~Prober() {
        if (thread_.joinable()) stop();
    }

    // From the window's thread.
    void start() {
        running_ = true;
        const long window = syscall(SYS_gettid);
        thread_ = std::thread([this, window] {
            // Paced against a fixed schedule, so a late wake-up does not thin the events out.
            Clock::time_point next = Clock::now();
            while (running_) {
                const double waited = RunQueueWaitMs(window);
                const Clock::time_point sent = Clock::now();
                QMetaObject::invokeMethod(
                    qApp,
                    [this, sent, waited, window] {
                        const double delay =
                            std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                        delays_.push_back(delay);
                        own_.push_back(std::max(0.0, delay - (RunQueueWaitMs(window) - waited)));
                    },
                    Qt::QueuedConnection);
                next += period_;
                std::this_thread::sleep_until(next);
            }
        });
    }
    // The delays recorded so far, each sorted, and a fresh start for the next ones. The
    // window's thread calls it; events still on their way count for the next call.
    struct Delays {
        std::vector<double> all;
        std::vector<double> own;  // without the window's thread's run-queue wait
    };
    Delays take() {
        Delays d;
        d.all.swap(delays_);
        d.own.swap(own_);
        std::sort(d.all.begin(), d.all.end());
        std::sort(d.own.begin(), d.own.end());
        return d;
    }
    // Stops and returns the delays, once the last posted event has been handled.
    Delays stop() {
        running_ = false;
        thread_.join();
        Settle(50);
        return take();
    }

  private:
    std::chrono::milliseconds period_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    // Touched by the window's thread alone.
    std::vector<double> delays_;
    std::vector<double> own_;
};

}  // namespace rv::bench
