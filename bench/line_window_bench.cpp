// The line overview with the whole address space on one line: 254 simulated instruments
// (numbers 1 to 254, both models, all at 19200 baud) on a pseudo-terminal, and the program's
// own windows running the overview's jobs through its buttons: "Найти приборы" at 19200 baud
// over numbers 1 to 254, then "Сохранить копии" and "Сравнить с копиями" on every row.
//
// The simulator answers without pacing: a paced 19200 baud line needs about 2.7 s to read one
// instrument, 11 minutes a job, while unpaced the jobs go as fast as this machine runs them.
// That is also the hardest case for the window: results arrive many times faster than any
// real line delivers them.
//
// - Responsiveness: an event is posted to the window's thread every 5 ms from another thread,
//   as the accessibility bus and the window system post theirs, and the time until the
//   window's thread handles it is recorded. The bound, 5 ms at the 99th percentile during the
//   jobs, holds the delay less the time the window's thread, and Qt's threads that paint for
//   it, waited for a processor meanwhile: on a machine running nothing else that wait is
//   small, and on a busy one it is the machine's doing, not the window's. Printed beside it:
//   the delay as it came, the same with the window open and idle, and the CPU the process,
//   the window's thread and the simulator spent against the wall time.
// - Memory: the resident set of the process (what the system's monitor shows for it) just
//   before the overview opens and once the jobs are over, the growth held to 20 MB. It counts
//   besides the live data what malloc keeps after a free and what Qt loads for the new
//   windows, so it is the stricter of the two; malloc's bytes in use are printed beside it,
//   the part of the growth that is live heap.
//
//   line_window_bench                           exits 1 when a bound is missed

#include <malloc.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "line/line_file.h"
#include "line/line_table.h"
#include "link/timeouts.h"
#include "scripted_boxes.h"
#include "sim_harness.h"
#include "transfer_measure.h"
#include "ui/WN1.h"
#include "ui/app_windows.h"
#include "ui/line_menu.h"
#include "ui/line_owner.h"
#include "ui/line_window.h"
#include "window_probe.h"

namespace {

using rv::bench::Measure;
using rv::bench::Percentile;

constexpr unsigned kCount = 254;
constexpr unsigned kBaud = 19200;
constexpr double kLatencyBoundMs = 5.0;
constexpr double kGrowthBoundMb = 20.0;
// A job taking longer than this has hung.
constexpr int kJobLimitMs = 60000;

// What the simulator is told each instrument is; the table is checked against it.
struct Member {
    unsigned net;
    const char* model;
    uint32_t id;
};

Member memberOf(unsigned net) {
    return {net, net % 3 == 0 ? "RV7406" : "RV7408", 0x200000 + net * 0x101};
}

double mb(double bytes) { return bytes / (1024.0 * 1024.0); }

struct Memory {
    double resident = 0;  // bytes
    double inUse = 0;     // malloc's, bytes
    static Memory now() {
        Memory m;
        long pages = 0;
        long resident = 0;
        std::ifstream("/proc/self/statm") >> pages >> resident;
        m.resident = static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
        const struct mallinfo2 info = mallinfo2();
        m.inUse = static_cast<double>(info.uordblks + info.hblkhd);
        return m;
    }
};

// The CPU a process has spent, user and system, in seconds.
double processCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command's closing parenthesis: state is the 3rd, utime the 14th.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

QString cell(const LineWindow& window, int row, rv::LineColumn column) {
    const QAbstractItemModel* shown = window.table()->model();
    return shown->index(row, static_cast<int>(column)).data().toString();
}

// Every row of the table, as shown, against what the simulator was told: `check` gets the row's
// member and says what is wrong with the row, or nothing.
bool rowsAre(const LineWindow& window, const char* job,
             const std::function<QString(int row, const Member& m)>& check) {
    const int rows = window.table()->model()->rowCount();
    if (rows != static_cast<int>(kCount)) {
        std::fprintf(stderr, "after %s: %d rows instead of %u\n", job, rows, kCount);
        return false;
    }
    for (int r = 0; r < rows; ++r) {
        const unsigned net = cell(window, r, rv::LineColumn::Number).toUInt();
        const QString wrong =
            net >= 1 && net <= kCount
                ? check(r, memberOf(net))
                : QString("number %1").arg(cell(window, r, rv::LineColumn::Number));
        if (!wrong.isEmpty()) {
            std::fprintf(stderr, "after %s: row %d: %s\n", job, r, qPrintable(wrong));
            return false;
        }
    }
    return true;
}

struct JobRun {
    const char* name;
    Measure m;
    double simCpu = 0;
    double runQueueMs = 0;  // the window's thread's and its painters' wait for a processor
    rv::bench::Prober::Delays delays;
};

void append(std::vector<double>& to, const std::vector<double>& from) {
    to.insert(to.end(), from.begin(), from.end());
    std::sort(to.begin(), to.end());
}

double last(const std::vector<double>& sorted) { return sorted.empty() ? 0 : sorted.back(); }

}  // namespace

int main(int argc, char** argv) {
    // The program's settings, copies and journal stay in a directory of this run.
    rv::test::TempDir home;
    setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);

    rv::test::SimOptions options;
    for (unsigned net = 1; net <= kCount; ++net) {
        const Member m = memberOf(net);
        options.instruments.push_back(std::to_string(net) + ",model=" + m.model + ",id=" +
                                      std::to_string(m.id) + ",speed=" + std::to_string(kBaud));
    }
    rv::test::SimProcess sim(options);
    if (!sim.started()) {
        std::fprintf(stderr, "line_window_bench: %s\n", sim.error().c_str());
        return 2;
    }

    ScriptedBoxes boxes;
    AppWindows windows(boxes);
    windows.line().settings().Device = sim.linkPath();
    TDeskForm& desk = windows.desk();
    desk.show();
    rv::bench::Settle(500);
    std::printf("platform: %s\n", qPrintable(QApplication::platformName()));

    const Memory before = Memory::now();
    auto* overview = desk.findChild<QAction*>("LineOverviewAction");
    if (!overview) {
        std::fprintf(stderr, "line_window_bench: no \"Обзор линии…\" in the menu\n");
        return 2;
    }
    overview->trigger();
    LineWindow& window = desk.lineMenu()->lineWindow();
    // A line file of its own: its copies go beside it.
    if (!window.saveLine(QString::fromStdString(home.path() + "/линия"))) return 2;
    window.setSearchSpeeds({rv::SpeedIndexOfBaud(kBaud)});
    window.setSearchRange(1, static_cast<int>(kCount));

    rv::bench::Prober prober(5);
    prober.start();
    const long windowThread = static_cast<long>(getpid());
    rv::bench::Settle(2000);
    const rv::bench::Prober::Delays idle = prober.take();

    // Presses a job's button from the window's event loop, as a click comes, and serves the
    // window's events until the job is over.
    const auto press = [&](const char* name) {
        auto* button = window.findChild<QPushButton*>(name);
        if (!button || !button->isEnabled()) return false;
        QEventLoop loop;
        QObject::connect(&windows.line(), &LineOwner::busyChanged, &loop, [&](bool busy) {
            if (!busy && !window.jobRunning()) loop.quit();
        });
        QTimer::singleShot(0, &loop, [button] { button->click(); });
        QTimer::singleShot(kJobLimitMs, &loop, &QEventLoop::quit);
        loop.exec();
        return !window.jobRunning() && boxes.shown.empty();
    };
    const auto run = [&](const char* name, const char* button) {
        JobRun job{name, {}, 0, 0, {}};
        prober.take();
        const double simCpu0 = processCpuSeconds(sim.pid());
        const double waited0 = rv::bench::RunQueueWaitMs(windowThread);
        job.m = rv::bench::Time([&] { return press(button); });
        job.simCpu = processCpuSeconds(sim.pid()) - simCpu0;
        job.runQueueMs = rv::bench::RunQueueWaitMs(windowThread) - waited0;
        job.delays = prober.take();
        if (!job.m.ok) std::fprintf(stderr, "%s did not end within its time\n", name);
        return job;
    };

    std::vector<JobRun> jobs;
    jobs.push_back(run("search", "SearchButton"));
    bool ok = jobs.back().m.ok && rowsAre(window, "the search", [&](int r, const Member& m) {
                  const QString model = cell(window, r, rv::LineColumn::Model);
                  const QString id = cell(window, r, rv::LineColumn::Id);
                  const QString expectedId = QString("%1").arg(m.id, 6, 16, QChar('0')).toUpper();
                  if (model != m.model || id != expectedId ||
                      cell(window, r, rv::LineColumn::Speed) != QString::number(kBaud) ||
                      cell(window, r, rv::LineColumn::State) != QString::fromUtf8("отвечает"))
                      return QString("%1 %2 instead of %3 %4").arg(model, id, m.model, expectedId);
                  return QString();
              });
    rv::bench::Settle(300);
    jobs.push_back(run("backup", "BackupButton"));
    const std::filesystem::path copies(window.copiesFolder());
    ok = ok && jobs.back().m.ok && rowsAre(window, "the backup", [&](int, const Member& m) {
             const std::filesystem::path folder =
                 copies / (std::string(m.model) + "_" + rv::IdText(m.id));
             const bool one = std::filesystem::is_directory(folder) &&
                              std::distance(std::filesystem::directory_iterator(folder), {}) == 1;
             return one ? QString() : QString("no single copy in %1").arg(folder.c_str());
         });
    rv::bench::Settle(300);
    jobs.push_back(run("compare", "CompareButton"));
    ok = ok && jobs.back().m.ok && rowsAre(window, "the comparison", [&](int r, const Member&) {
             const QString same = cell(window, r, rv::LineColumn::AsInCopy);
             return same == QString::fromUtf8("да") ? QString() : same;
         });
    prober.stop();
    rv::bench::Settle(300);
    const Memory after = Memory::now();

    rv::bench::Prober::Delays busy;
    Measure total;
    double simCpu = 0;
    double runQueueMs = 0;
    for (const JobRun& job : jobs) {
        append(busy.all, job.delays.all);
        append(busy.own, job.delays.own);
        total.wall += job.m.wall;
        total.cpu += job.m.cpu;
        total.threadCpu += job.m.threadCpu;
        simCpu += job.simCpu;
        runQueueMs += job.runQueueMs;
        std::printf(
            "%-8s wall %5.2f s; cpu: process %5.2f s, window's thread %5.2f s, simulator %5.2f "
            "s; the window's thread and its painters waited %4.0f ms for a processor; posted "
            "event answered in median %.3f ms, 99th percentile %.3f ms, max %.3f ms (%zu "
            "events); without that wait: 99th percentile %.3f ms, max %.3f ms\n",
            job.name, job.m.wall, job.m.cpu, job.m.threadCpu, job.simCpu, job.runQueueMs,
            Percentile(job.delays.all, 0.5), Percentile(job.delays.all, 0.99), last(job.delays.all),
            job.delays.all.size(), Percentile(job.delays.own, 0.99), last(job.delays.own));
    }
    const double p99 = Percentile(busy.own, 0.99);
    std::printf(
        "idle window: posted event answered in median %.3f ms, 99th percentile %.3f ms, max "
        "%.3f ms (%zu events)\n",
        Percentile(idle.all, 0.5), Percentile(idle.all, 0.99), last(idle.all), idle.all.size());
    std::printf(
        "the three jobs: wall %.2f s, cpu %.2f s = %.0f %% of a core (the window's thread %.0f "
        "%%, the simulator %.0f %%; the window's thread and its painters waited %.0f ms for a "
        "processor); "
        "posted event answered in median %.3f ms, 99th percentile %.3f ms, max %.3f ms (%zu "
        "events)\n",
        total.wall, total.cpu, total.cpu / total.wall * 100, total.threadCpu / total.wall * 100,
        simCpu / total.wall * 100, runQueueMs, Percentile(busy.all, 0.5),
        Percentile(busy.all, 0.99), last(busy.all), busy.all.size());
    std::printf(
        "  without the wait for a processor: 99th percentile %.3f ms, max "
        "%.3f ms (bound %.0f ms): %s\n",
        p99, last(busy.own), kLatencyBoundMs, p99 <= kLatencyBoundMs ? "met" : "MISSED");
    const double growth = mb(after.resident - before.resident);
    std::printf(
        "memory: resident %.1f MB before the overview opened, %.1f MB after the jobs, grown by "
        "%.1f MB (bound %.0f MB): %s; malloc in use %.1f MB -> %.1f MB, grown by %.1f MB\n",
        mb(before.resident), mb(after.resident), growth, kGrowthBoundMb,
        growth <= kGrowthBoundMb ? "met" : "MISSED", mb(before.inUse), mb(after.inUse),
        mb(after.inUse - before.inUse));
    const bool met = ok && p99 <= kLatencyBoundMs && growth <= kGrowthBoundMb;
    std::printf("bounds: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
