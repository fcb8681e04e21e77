// Whole-configuration read and write against a simulated instrument that delivers its
// replies byte by byte at the wire's pace, compared with the time the exchanges need on the
// wire, and the CPU the process spends meanwhile as a share of the wall time.
//
//   transfer_bench [--pump] [baud...]        (default: 9600 19200)
//
// --pump calls an empty message pump every few milliseconds while a reply is awaited, as the
// window does; without it the link waits as the command-line tool does.
// Targets: wall within 1.02 x the wire limit; CPU under 0.5 % of wall up to 9600 baud and
// under 1 % above.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "link/transact.h"
#include "sim_harness.h"
#include "wire_cost.h"

namespace {

using rv::test::SimOptions;
using rv::test::SimProcess;

constexpr int kNet = 5;
constexpr double kLatencyMs = 2.0;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Measure {
    double wall = 0;
    double cpu = 0;
    bool ok = false;
};

template <typename Operation>
Measure measure(Operation operation) {
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    Measure m;
    m.ok = operation() == rv::Outcome::Done;
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.cpu = cpuSeconds() - cpu0;
    return m;
}

int speedIndexOf(unsigned baud) {
    for (int i = 0; i < rv::kSpeedCount; ++i) {
        if (rv::BaudOfSpeedIndex(i) == baud) return i;
    }
    return -1;
}

bool report(const char* what, unsigned baud, const Measure& m, const SimProcess& sim,
            size_t& logLine) {
    size_t lines = 0;
    const rv::bench::WireCost cost = rv::bench::WireCostOfLog(sim.logPath(), logLine, lines);
    logLine = lines;
    const double limit = cost.bytes * 10.0 / baud + cost.exchanges * kLatencyMs / 1000.0;
    const double ratio = m.wall / limit;
    const double cpuShare = m.cpu / m.wall;
    std::printf(
        "%-5s %5u baud: %4ld exchanges, %6ld bytes; wall %8.3f s, wire+latency %8.3f s, "
        "ratio %.4f; cpu %.3f s = %.2f %% of wall%s\n",
        what, baud, cost.exchanges, cost.bytes, m.wall, limit, ratio, m.cpu, cpuShare * 100,
        m.ok ? "" : "  (operation FAILED)");
    const double cpuLimit = baud <= 9600 ? 0.005 : 0.01;
    return m.ok && ratio <= 1.02 && cpuShare < cpuLimit;
}

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
        const int speedIndex = speedIndexOf(baud);
        if (speedIndex < 0) {
            std::fprintf(stderr, "transfer_bench: no such speed %u\n", baud);
            return 2;
        }
        SimOptions options;
        options.instruments = {std::to_string(kNet) + ",speed=" + std::to_string(baud)};
        options.pace = true;
        options.latencyMs = kLatencyMs;
        SimProcess sim(options);
        if (!sim.started()) {
            std::fprintf(stderr, "transfer_bench: %s\n", sim.error().c_str());
            return 2;
        }
        rv::Link link;
        link.portDevices[0] = sim.linkPath();
        link.PortIndex = 0;
        link.NetNumber = kNet;
        link.applySpeedIndex(speedIndex);
        if (pump) link.pumpMessages = [] {};

        rv::ConfigImage image;
        size_t logLine = 0;
        const Measure read = measure([&] { return rv::ReadConfiguration(link, image, {}); });
        if (!read.ok) std::printf("read failed with status %d\n", link.LinkStatus);
        withinTargets = report("read", baud, read, sim, logLine) && withinTargets;
        const Measure write = measure([&] { return rv::WriteConfiguration(link, image, {}); });
        if (!write.ok) std::printf("write failed with status %d\n", link.LinkStatus);
        withinTargets = report("write", baud, write, sim, logLine) && withinTargets;
    }
    std::printf("targets (ratio <= 1.02, cpu < 0.5 %% of wall to 9600, < 1 %% above): %s\n",
                withinTargets ? "met" : "MISSED");
    return withinTargets ? 0 : 1;
}
