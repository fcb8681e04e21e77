// The sensor view's plot with a long run in it: the processor time of one redraw of 100 000
// points, and the memory each point stored costs the view.
//
//   sensor_plot_bench [POINTS]      (default 100 000)
//
// A redraw is timed by the processor time of the thread that paints (not the wall clock, which
// a busy machine stretches), as the best of several, and held to 2 ms; the memory is the
// heap's growth while the view takes a million answers, held to 32 bytes a point. Each figure
// is printed with its bound and their ratio.

#include <malloc.h>
#include <time.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ui/sensor_plot.h"
#include "ui/sensor_view.h"

namespace {

constexpr double kRedrawBoundMs = 2;
constexpr double kBytesPerPointBound = 32;
constexpr int kRuns = 25;

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

size_t heapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The answer of a Pt100 settling from 109.73 Ω to 100 Ω with a little noise, twenty a second,
// with an error answer now and then.
rv::WatchAnswer answerAt(size_t i) {
    rv::WatchAnswer a;
    const double t = 0.05 * static_cast<double>(i);
    a.point.seconds = 1.8e9 + t;
    if (i % 997 == 0) {
        a.point.kind = rv::PointKind::InstrumentError;
        return a;
    }
    const double noise = 0.01 * (static_cast<double>((i * 7919) % 13) - 6) / 6;
    a.point.resistance = 100 + 9.73 * std::exp(-t / 600) + noise;
    a.point.temperature = static_cast<float>((a.point.resistance - 100) / 0.385);
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long points = argc > 1 ? std::atol(argv[1]) : 100000;
    if (points < 1) {
        std::fprintf(stderr, "usage: sensor_plot_bench [POINTS]\n");
        return 2;
    }

    // The memory a stored point costs: a view with no line takes a million answers.
    SensorView::Host host;
    host.setup = [] { return rv::WatchSetup{}; };  // channel 1, Pt100
    double bytesPerPoint = 0;
    {
        SensorView view(0, host);
        constexpr size_t kMillion = 1'000'000;
        const size_t before = heapBytes();
        for (size_t i = 0; i < kMillion; ++i) view.takeAnswer(answerAt(i));
        bytesPerPoint = static_cast<double>(heapBytes() - before) / kMillion;
    }

    // The redraw: all the points in the shown time, painted at the view's default plot size.
    SensorView view(0, host);
    for (long i = 0; i < points; ++i) view.takeAnswer(answerAt(static_cast<size_t>(i)));
    view.setSpan(SensorView::Span::Everything);
    SensorPlot& plot = *view.plot();
    QImage image(1000, 420, QImage::Format_ARGB32_Premultiplied);
    double best = 1e9;
    double worst = 0;
    for (int run = 0; run < kRuns + 3; ++run) {
        QPainter painter(&image);
        const double start = threadCpuMs();
        plot.paint(painter, image.rect());
        painter.end();
        const double spent = threadCpuMs() - start;
        if (run < 3) continue;  // the font caches and the columns' storage fill first
        best = std::min(best, spent);
        worst = std::max(worst, spent);
    }

    std::printf("sensor plot, %ld points shown in %dx%d\n", points, image.width(), image.height());
    std::printf(
        "  redraw: best %.3f ms, worst %.3f ms of processor time over %d runs; bound "
        "%.0f ms, best/bound %.2f\n",
        best, worst, kRuns, kRedrawBoundMs, best / kRedrawBoundMs);
    std::printf("  memory: %.1f bytes per stored point; bound %.0f, ratio %.2f\n", bytesPerPoint,
                kBytesPerPointBound, bytesPerPoint / kBytesPerPointBound);
    const bool ok = best <= kRedrawBoundMs && bytesPerPoint <= kBytesPerPointBound;
    if (!ok) std::printf("FAILED\n");
    return ok ? 0 : 1;
}
