#pragma once

// Timing a whole transfer: the wall time against what its exchanges need on the wire, and the
// CPU the process spends meanwhile as a share of the wall time.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "link/timeouts.h"
#include "sim_harness.h"
#include "wire_cost.h"

namespace rv::bench {

// The latency the simulator adds to each reply in these measurements.
constexpr double kLatencyMs = 2.0;

inline double CpuSeconds() {
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

// Times `operation`, which returns whether it succeeded.
template <typename Operation>
Measure Time(Operation operation) {
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    Measure m;
    m.ok = operation();
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.cpu = CpuSeconds() - cpu0;
    return m;
}

// Prints one measurement against the log lines it added; true when within the targets: wall
// within 1.02 x the wire limit, CPU under 0.5 % of wall up to 9600 baud and under 1 % above.
inline bool Report(const char* what, unsigned baud, const Measure& m,
                   const rv::test::SimProcess& sim, size_t& logLine) {
    size_t lines = 0;
    const WireCost cost = WireCostOfLog(sim.logPath(), logLine, lines);
    logLine = lines;
    const double limit = cost.bytes * 10.0 / baud + cost.exchanges * kLatencyMs / 1000.0;
    const double ratio = m.wall / limit;
    const double cpuShare = m.cpu / m.wall;
    std::printf(
        "%-5s %5u baud: %4ld exchanges, %6ld bytes; wall %8.3f s, wire+latency %8.3f s, "
        "ratio %.4f; cpu %.3f s = %.2f %% of wall%s\n",
        what, baud, cost.exchanges, cost.bytes, m.wall, limit, ratio, m.cpu, cpuShare * 100,
        m.ok ? "" : "  (operation FAILED)");
    std::fflush(stdout);
    const double cpuLimit = baud <= 9600 ? 0.005 : 0.01;
    return m.ok && ratio <= 1.02 && cpuShare < cpuLimit;
}

// The speed-list index of `baud`; -1 when the list has no such speed.
inline int SpeedIndexOf(unsigned baud) {
    for (int i = 0; i < rv::kSpeedCount; ++i) {
        if (rv::BaudOfSpeedIndex(i) == baud) return static_cast<int>(i);
    }
    return -1;
}

// Starts a simulated instrument at `net` and `baud` that delivers its replies byte by byte at
// the wire's pace, and sets `speedIndex` to the speed's place in the list. Null, after saying
// why on stderr in `program`'s name, when the speed or the start fails.
inline std::unique_ptr<rv::test::SimProcess> StartPacedInstrument(const char* program, int net,
                                                                  unsigned baud, int& speedIndex) {
    speedIndex = SpeedIndexOf(baud);
    if (speedIndex < 0) {
        std::fprintf(stderr, "%s: no such speed %u\n", program, baud);
        return nullptr;
    }
    rv::test::SimOptions options;
    options.instruments = {std::to_string(net) + ",speed=" + std::to_string(baud)};
    options.pace = true;
    options.latencyMs = kLatencyMs;
    auto sim = std::make_unique<rv::test::SimProcess>(options);
    if (!sim->started()) {
        std::fprintf(stderr, "%s: %s\n", program, sim->error().c_str());
        return nullptr;
    }
    return sim;
}

}  // namespace rv::bench
