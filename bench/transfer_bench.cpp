// Whole-configuration read and write against a simulated instrument that delivers its
// replies byte by byte at the wire's pace, compared with the time the exchanges need on the
// wire, and the CPU the process spends meanwhile as a share of the wall time.
//
//   transfer_bench [--pump] [baud...]        (default: 9600 19200)
//
// --pump calls an empty message pump every few milliseconds while a reply is awaited, as a
// window whose event loop has no descriptors to wake for would; without it the link waits as
// the command-line tool does. window_wait_bench measures the window itself.
// Targets: wall within 1.02 x the wire limit; CPU under 0.5 % of wall up to 9600 baud and
// under 1 % above.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "link/transact.h"
#include "transfer_measure.h"

namespace {

using rv::bench::Measure;
using rv::test::SimProcess;

constexpr int kNet = 5;

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned> bauds;
    bool pump = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--pump") {
            pump = true;
            continue;
        }
        bauds.push_back(static_cast<unsigned>(std::atoi(argv[i])));
    }
    if (bauds.empty()) bauds = {9600, 19200};

    bool withinTargets = true;
    for (unsigned baud : bauds) {
        int speedIndex = -1;
        const std::unique_ptr<SimProcess> sim =
            rv::bench::StartPacedInstrument("transfer_bench", kNet, baud, speedIndex);
        if (!sim) return 2;
        rv::Link link;
        link.Device = sim->linkPath();
        link.NetNumber = kNet;
        link.applySpeedIndex(speedIndex);
        if (pump) link.pumpMessages = [] {};

        rv::ConfigImage image;
        size_t logLine = 0;
        const Measure read = rv::bench::Time(
            [&] { return rv::ReadConfiguration(link, image, {}) == rv::Outcome::Done; });
        if (!read.ok) std::printf("read failed with status %d\n", link.LinkStatus);
        withinTargets = rv::bench::Report("read", baud, read, *sim, logLine) && withinTargets;
        const Measure write = rv::bench::Time(
            [&] { return rv::WriteConfiguration(link, image, {}) == rv::Outcome::Done; });
        if (!write.ok) std::printf("write failed with status %d\n", link.LinkStatus);
        withinTargets = rv::bench::Report("write", baud, write, *sim, logLine) && withinTargets;
    }
    std::printf("targets (ratio <= 1.02, cpu < 0.5 %% of wall to 9600, < 1 %% above): %s\n",
                withinTargets ? "met" : "MISSED");
    return withinTargets ? 0 : 1;
}
