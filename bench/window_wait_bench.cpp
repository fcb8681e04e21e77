// A whole read and a whole write through the program's window, started by its buttons and
// confirmed, with the progress window up and the window's own event pump, against a
// simulated instrument that delivers its replies byte by byte at the wire's pace: the CPU the
// process spends as a share of the wall time, and the wall time against the wire's limit.
//
//   window_wait_bench [baud...]        (default: 9600 19200)
//
// It runs on the platform Qt is given: under X (for example xvfb-run) it measures the window
// as an engineer's desktop runs it; QT_QPA_PLATFORM=offscreen needs no display.
// Targets: as transfer_bench.

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "scripted_boxes.h"
#include "transfer_measure.h"
#include "ui/WN1.h"
#include "ui/app_windows.h"
#include "ui/bus_panel.h"
#include "ui/transfer_buttons.h"
#include "ui/window_pump.h"

namespace {

using rv::bench::Measure;
using rv::test::SimProcess;

constexpr int kNet = 5;

// Lets the window run its event loop for a while.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<unsigned> bauds;
    for (int i = 1; i < argc; ++i) bauds.push_back(static_cast<unsigned>(std::atoi(argv[i])));
    if (bauds.empty()) bauds = {9600, 19200};

    rv::Link link;
    InstallWindowPump(link);
    ScriptedBoxes boxes;
    AppWindows windows(link, boxes);
    auto* bus = windows.desk().findChild<BusPanel*>("BusPanel");
    auto* transfer = windows.desk().findChild<TransferButtons*>("TransferButtons");
    if (!bus || !transfer) {
        std::fprintf(stderr, "window_wait_bench: the window has no bus panel or buttons\n");
        return 2;
    }
    std::printf("platform: %s\n", qPrintable(QApplication::platformName()));

    // The window alone, waiting for nothing: what every measurement below includes.
    settle(300);
    const Measure idle = rv::bench::Time([] {
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        return true;
    });
    std::printf("idle window: cpu %.3f s in %.3f s = %.2f %% of wall\n", idle.cpu, idle.wall,
                idle.cpu / idle.wall * 100);

    bool withinTargets = true;
    for (unsigned baud : bauds) {
        int speedIndex = -1;
        const std::unique_ptr<SimProcess> sim =
            rv::bench::StartPacedInstrument("window_wait_bench", kNet, baud, speedIndex);
        if (!sim) return 2;
        link.Device = sim->linkPath();  // the device of COM2, the port the window starts on
        bus->followNetworkChange(kNet, speedIndex);
        settle(300);

        size_t logLine = 0;
        // The button is pressed from inside the window's event loop, as a click is. Each
        // button asks one confirmation; any other box is a failure message.
        const auto click = [&](void (TransferButtons::*button)()) {
            boxes.shown.clear();
            boxes.answers = {true};
            QEventLoop loop;
            QTimer::singleShot(0, &loop, [&] {
                (transfer->*button)();
                loop.quit();
            });
            loop.exec();
            return boxes.shown.size() == 1 &&
                   boxes.shown[0].kind == ScriptedBoxes::Kind::ConfirmOkCancel;
        };
        const Measure read = rv::bench::Time([&] { return click(&TransferButtons::BtnLoadClick); });
        withinTargets = rv::bench::Report("read", baud, read, *sim, logLine) && withinTargets;
        settle(300);
        const Measure write =
            rv::bench::Time([&] { return click(&TransferButtons::BtnSaveClick); });
        withinTargets = rv::bench::Report("write", baud, write, *sim, logLine) && withinTargets;
        settle(300);
    }
    std::printf("targets (ratio <= 1.02, cpu < 0.5 %% of wall to 9600, < 1 %% above): %s\n",
                withinTargets ? "met" : "MISSED");
    return withinTargets ? 0 : 1;
}
