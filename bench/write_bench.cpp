// The configuration write against a simulated instrument that takes each request and delivers
// each reply at the wire's pace, 2 ms latency per request. In one run, per speed:
//   - an unchanged image: only the block reads travel (36, two per block), no byte write;
//   - one set point changed: within 1.02 x its own wire limit (the two reads per block, the
//     bytes that differ, the identification and the closing, at the line's rate, plus the
//     latency per request);
//   - the same image with every byte sent, as writes went before they compared (a block read,
//     a look at both copies, every byte of both copies): the one-set-point write takes at
//     most 0.15 of its time at 9600 baud.
// The gates compare times measured in this run only: the share against the every-byte write,
// and the wire-limit ratio against that of a configuration read made just before (the same
// line and machine moving only block reads), so that a busy machine slows both alike.
//
//   write_bench [baud...]        (default: 9600 19200)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "transfer_measure.h"

namespace {

using rv::bench::Measure;
using rv::bench::WireCost;

constexpr int kNet = 5;
constexpr double kMostOfEveryByte = 0.15;  // at 9600 baud
constexpr unsigned kShareBaud = 9600;
constexpr double kMostOverLimit = 1.02;

struct Timed {
    Measure measure;
    WireCost cost;
    double limit = 0;  // seconds on the wire, with the latency
    double ratio() const { return measure.wall / limit; }
};

// Times `operation` and costs the log lines it added; prints one line.
template <typename Operation>
Timed timed(const char* what, unsigned baud, const rv::test::SimProcess& sim, size_t& logLine,
            Operation operation) {
    Timed t;
    t.measure = rv::bench::Time(operation);
    size_t lines = 0;
    t.cost = rv::bench::WireCostOfLog(sim.logPath(), logLine, lines);
    logLine = lines;
    t.limit = t.cost.bytes * 10.0 / baud + t.cost.exchanges * rv::bench::kLatencyMs / 1000.0;
    std::printf(
        "%-13s %5u baud: %2ld reads, %4ld byte writes, %4ld exchanges, %6ld bytes; wall %7.3f s, "
        "limit %7.3f s, ratio %.4f; cpu %.2f %% of wall%s\n",
        what, baud, t.cost.blockReads, t.cost.byteWrites, t.cost.exchanges, t.cost.bytes,
        t.measure.wall, t.limit, t.ratio(), 100 * t.measure.cpu / t.measure.wall,
        t.measure.ok ? "" : "  (FAILED)");
    std::fflush(stdout);
    return t;
}

bool check(bool ok, const char* what) {
    if (!ok) std::printf("  MISSED: %s\n", what);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned> bauds;
    for (int i = 1; i < argc; ++i) bauds.push_back(static_cast<unsigned>(std::atoi(argv[i])));
    if (bauds.empty()) bauds = {9600, 19200};

    bool met = true;
    for (unsigned baud : bauds) {
        int speedIndex = -1;
        const std::unique_ptr<rv::test::SimProcess> sim =
            rv::bench::StartPacedInstrument("write_bench", kNet, baud, speedIndex);
        if (!sim) return 2;
        rv::Link link;
        link.Device = sim->linkPath();
        link.NetNumber = kNet;
        link.applySpeedIndex(speedIndex);
        size_t logLine = 0;

        rv::ConfigImage image;
        const Timed read = timed("read", baud, *sim, logLine, [&] {
            return rv::ReadConfiguration(link, image, {}) == rv::Outcome::Done;
        });
        if (!read.measure.ok) return 2;
        const auto write = [&](rv::CopyWrite copies) {
            return [&link, &image, copies] {
                return rv::WriteConfiguration(link, image, {}, nullptr, copies) ==
                       rv::Outcome::Done;
            };
        };
        const Timed unchanged =
            timed("unchanged", baud, *sim, logLine, write(rv::CopyWrite::ChangedBytes));
        image.Channels[2].Ustav1 = rv::MakeWorkingReal(-59.825L);
        const Timed changed =
            timed("one set point", baud, *sim, logLine, write(rv::CopyWrite::ChangedBytes));
        const Timed every =
            timed("every byte", baud, *sim, logLine, write(rv::CopyWrite::EveryByte));

        // The machine's own share of the read's time over its limit.
        const double machine = std::max(1.0, read.ratio());
        const double share = changed.measure.wall / every.measure.wall;
        std::printf(
            "  %u baud: one set point %.3f s, every byte %.3f s, share %.4f%s; one set point "
            "against its limit %.4f, against the read's %.4f (bound %.2f)\n",
            baud, changed.measure.wall, every.measure.wall, share,
            baud == kShareBaud ? " (bound 0.15)" : "", changed.ratio(), changed.ratio() / machine,
            kMostOverLimit);
        const double cpuBound = baud <= 9600 ? 0.005 : 0.01;
        met = check(unchanged.measure.ok && changed.measure.ok && every.measure.ok,
                    "every write done") &&
              met;
        met = check(unchanged.cost.blockReads == 36 && unchanged.cost.byteWrites == 0,
                    "unchanged: 36 reads and no byte write") &&
              met;
        met = check(changed.cost.blockReads == 36 && changed.cost.byteWrites > 0,
                    "one set point: 36 reads and its bytes") &&
              met;
        met =
            check(changed.ratio() / machine <= kMostOverLimit, "one set point within 1.02") && met;
        met =
            check(changed.measure.cpu < cpuBound * changed.measure.wall, "cpu of the write") && met;
        if (baud == kShareBaud) met = check(share <= kMostOfEveryByte, "share within 0.15") && met;
        std::fflush(stdout);
    }
    std::printf("targets: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
