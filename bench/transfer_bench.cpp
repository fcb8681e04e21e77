// Whole-configuration read and write against a simulated instrument that delivers its
// replies byte by byte at the wire's pace, compared with the time the exchanges need on the
// wire and with a minimal client replaying the same exchanges on the same line just after, and
// the CPU the process spends meanwhile as a share of the wall time.
//
//   transfer_bench [baud...]        (default: 9600 19200)
//
// The link waits as the command-line tool and the window's worker do; window_wait_bench
// measures the window itself.
// Targets: wall within 1.02 x the replaying client's, measured in the same run so that a busy
// machine slows both alike (the ratio to the wire limit is shown beside it); CPU under 0.5 %
// of wall up to 9600 baud and under 1 % above, or, when the machine is too busy for that,
// under half the replaying client's, which wakes for every byte.

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
    for (int i = 1; i < argc; ++i) {
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

        rv::ConfigImage image;
        size_t logLine = 0;
        // The operation, then the replaying client on the exchanges it made.
        const auto judge = [&](const char* what, const Measure& m) {
            const size_t from = logLine;
            rv::bench::Report(what, baud, m, *sim, logLine);  // printed; judged below
            const Measure reference = rv::bench::ReplayExchanges(*sim, baud, from, logLine);
            size_t replayed = 0;
            rv::bench::WireCostOfLog(sim->logPath(), 0, replayed);
            logLine = replayed;
            const double ratio = reference.ok ? m.wall / reference.wall : 0;
            // The CPU share against its target, or, on a machine too busy for that, against
            // the replaying client's own, which the same load inflates alike: that client
            // wakes for every byte, and the link, sleeping through the bytes it predicts, must
            // spend under half of it.
            const double cpuShare = m.cpu / m.wall;
            const bool cpuOk = cpuShare < (baud <= 9600 ? 0.005 : 0.01) ||
                               (reference.ok && m.cpu <= 0.5 * reference.cpu);
            const bool ok = m.ok && reference.ok && ratio <= 1.02 && cpuOk;
            std::printf("      replaying client %.3f s, cpu %.3f s; wall ratio %.4f: %s\n",
                        reference.wall, reference.cpu, ratio, ok ? "ok" : "MISSED");
            return ok;
        };
        const Measure read = rv::bench::Time(
            [&] { return rv::ReadConfiguration(link, image, {}) == rv::Outcome::Done; });
        if (!read.ok) std::printf("read failed with status %d\n", link.LinkStatus);
        withinTargets = judge("read", read) && withinTargets;
        const Measure write = rv::bench::Time(
            [&] { return rv::WriteConfiguration(link, image, {}) == rv::Outcome::Done; });
        if (!write.ok) std::printf("write failed with status %d\n", link.LinkStatus);
        withinTargets = judge("write", write) && withinTargets;
    }
    std::printf(
        "targets (wall <= 1.02 x the replaying client's, cpu < 0.5 %% of wall to 9600, < 1 %% "
        "above): %s\n",
        withinTargets ? "met" : "MISSED");
    return withinTargets ? 0 : 1;
}
