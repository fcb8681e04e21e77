// The live view of a sensor against the paced simulator: the program's CPU share and resident
// memory growth while a run goes, and the time of one refresh of the whole view (statistics,
// figures and plot) with 100 000 points shown; the plot alone is sensor_plot_bench's.
//
//   sensor_view_bench [SECONDS] [BAUD]      (default 20 s at 9600 baud)
//
// Runs under any Qt platform (offscreen in ctest, X under xvfb-run). It prints each figure
// beside its aim (1 % of a core, 5 MB, 16 ms) and fails only beyond what a busy machine can
// explain: over 5 % of a core, more than 5 MB of growth, or a redraw over 160 ms.

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "link/timeouts.h"
#include "sim_harness.h"
#include "ui/line_owner.h"
#include "ui/message_boxes.h"
#include "ui/sensor_view.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int speedIndexOf(unsigned baud) {
    const unsigned speeds[] = {300, 600, 1200, 2400, 4800, 9600, 19200};
    for (int i = 0; i < 7; ++i)
        if (speeds[i] == baud) return i;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    const unsigned baud = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 9600;
    if (seconds < 1 || speedIndexOf(baud) < 0) {
        std::fprintf(stderr, "usage: sensor_view_bench [SECONDS] [BAUD]\n");
        return 2;
    }

    rv::test::SimOptions options;
    options.instruments = {"1,speed=" + std::to_string(baud) +
                           ",ramp=1:109.73:100:60,r-noise=1:0.01"};
    options.pace = true;
    rv::test::SimProcess sim(options);
    if (!sim.started()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return 1;
    }
    ModalMessageBoxes boxes;
    LineOwner line(boxes);
    line.settings().Device = sim.linkPath();
    line.settings().applySpeedIndex(speedIndexOf(baud));
    line.settings().NetNumber = 1;

    SensorView::Host host;
    host.line = &line;
    host.boxes = &boxes;
    host.setup = [] { return rv::WatchSetup{}; };  // channel 1, Pt100, R0 100 ohm
    SensorView view(0, host);
    view.resize(1000, 640);
    view.show();
    view.startRun();

    // The first seconds fill the plot and the allocator's pools; then the measured stretch.
    runFor(5000);
    const size_t pointsBefore = view.series().size();
    const double cpuBefore = cpuSeconds();
    const double rssBefore = residentMegabytes();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000;
    const double rssGrowth = residentMegabytes() - rssBefore;
    const size_t points = view.series().size() - pointsBefore;
    view.stopRun();
    QElapsedTimer stopping;
    stopping.start();
    while (view.running() && stopping.elapsed() < 15000) runFor(20);

    // 100 000 points in the shown span, as some half an hour at full speed leaves them.
    view.setSpan(SensorView::Span::Everything);
    double t = view.series().empty() ? 1.8e9 : view.series().back().seconds;
    for (int i = 0; i < 100000; ++i) {
        rv::WatchAnswer a;
        t += 0.021;
        a.point.seconds = t;
        a.point.resistance = 100 + 0.01 * ((i * 7919) % 13);
        a.point.temperature = static_cast<float>((a.point.resistance - 100) / 0.39);
        view.takeAnswer(a);
    }
    std::vector<double> redraws;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer timer;
        timer.start();
        view.refresh();
        view.repaint();  // paints the plot now, as the next frame would
        QApplication::processEvents();
        redraws.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(redraws.begin(), redraws.end());
    const double redraw = redraws[redraws.size() / 2];

    std::printf("sensor view at %u baud, %.1f s measured, %zu points (%.1f per second)\n", baud,
                elapsed, points, static_cast<double>(points) / elapsed);
    std::printf("  CPU: %.3f s over %.1f s = %.2f %% of a core (aim 1 %%)\n", cpu, elapsed,
                100 * cpu / elapsed);
    std::printf("  resident memory: %.1f MB, grew by %.2f MB (bound 5 MB)\n", residentMegabytes(),
                rssGrowth);
    std::printf("  redraw with %zu points: median %.1f ms, least %.1f ms (aim 16 ms)\n",
                view.series().size(), redraw, redraws.front());
    const bool ok = 100 * cpu / elapsed <= 5.0 && rssGrowth <= 5.0 && redraw <= 160.0;
    if (!ok) std::printf("FAILED\n");
    return ok ? 0 : 1;
}
