// The configuration write against a simulated instrument that takes each request and delivers
// each reply at the wire's pace, 2 ms latency per request. In one run, per speed:
//   - an unchanged image: only the block reads travel, no byte write;
//   - one set point changed: within 1.02 x its own wire limit (two reads per block, the bytes
//     that differ, the identification and the closing, at the line's rate, plus the latency);
//   - the same image with every byte sent, as writes went before they compared (a block read,
//     a look at both copies, every byte of both copies): the one-set-point write takes at
//     most 0.15 of its time at 9600 baud.
// Ratios only compare times measured in this run.
//
//   write_bench [baud...]        (default: 9600 19200)

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "transfer_measure.h"

namespace {

using rv::bench::Measure;

constexpr int kNet = 5;
constexpr double kMostOfEveryByte = 0.15;  // at 9600 baud
constexpr unsigned kRatioBaud = 9600;

// The log's cost of the lines added since `logLine`, which moves to the log's end.
rv::bench::WireCost costSince(const rv::test::SimProcess& sim, size_t& logLine) {
    size_t lines = 0;
    const rv::bench::WireCost cost = rv::bench::WireCostOfLog(sim.logPath(), logLine, lines);
    logLine = lines;
    return cost;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned> bauds;
    for (int i = 1; i < argc; ++i) bauds.push_back(static_cast<unsigned>(std::atoi(argv[i])));
    if (bauds.empty()) bauds = {9600, 19200};

    bool withinTargets = true;
    for (unsigned baud : bauds) {
        int speedIndex = -1;
        const std::unique_ptr<rv::test::SimProcess> sim =
            rv::bench::StartPacedInstrument("write_bench", kNet, baud, speedIndex);
        if (!sim) return 2;
        rv::Link link;
        link.portDevices[0] = sim->linkPath();
        link.PortIndex = 0;
        link.NetNumber = kNet;
        link.applySpeedIndex(speedIndex);

        rv::ConfigImage image;
        if (rv::ReadConfiguration(link, image, {}) != rv::Outcome::Done) {
            std::printf("read failed with status %d\n", link.LinkStatus);
            return 2;
        }
        size_t logLine = 0;
        costSince(*sim, logLine);
        const auto write = [&](rv::CopyWrite copies) {
            return rv::bench::Time([&] {
                return rv::WriteConfiguration(link, image, {}, nullptr, copies) ==
                       rv::Outcome::Done;
            });
        };

        // Unchanged: the reads and nothing else.
        const Measure unchanged = write(rv::CopyWrite::ChangedBytes);
        size_t probe = logLine;
        const rv::bench::WireCost unchangedCost = costSince(*sim, probe);
        withinTargets =
            rv::bench::Report("unchanged", baud, unchanged, *sim, logLine) && withinTargets;
        std::printf("  unchanged: %ld block reads, %ld byte writes (target: 36 and 0)\n",
                    unchangedCost.blockReads, unchangedCost.byteWrites);
        withinTargets =
            withinTargets && unchangedCost.blockReads == 36 && unchangedCost.byteWrites == 0;

        // One set point changed, then the same image with every byte sent.
        image.Channels[2].Ustav1 = rv::MakeWorkingReal(-59.825L);
        const Measure changed = write(rv::CopyWrite::ChangedBytes);
        probe = logLine;
        const rv::bench::WireCost changedCost = costSince(*sim, probe);
        withinTargets =
            rv::bench::Report("one set point", baud, changed, *sim, logLine) && withinTargets;
        const Measure every = write(rv::CopyWrite::EveryByte);
        probe = logLine;
        const rv::bench::WireCost everyCost = costSince(*sim, probe);
        withinTargets =
            rv::bench::Report("every byte", baud, every, *sim, logLine) && withinTargets;

        const double share = changed.wall / every.wall;
        std::printf(
            "  one set point: %ld reads, %ld byte writes, %.3f s; every byte: %ld reads, %ld byte "
            "writes, %.3f s; share %.4f%s\n",
            changedCost.blockReads, changedCost.byteWrites, changed.wall, everyCost.blockReads,
            everyCost.byteWrites, every.wall, share, baud == kRatioBaud ? " (target <= 0.15)" : "");
        std::fflush(stdout);
        if (baud == kRatioBaud) withinTargets = withinTargets && share <= kMostOfEveryByte;
    }
    std::printf("targets: %s\n", withinTargets ? "met" : "MISSED");
    return withinTargets ? 0 : 1;
}
