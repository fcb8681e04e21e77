// rv740x against a simulated line that answers at the wire's pace: a search sweep against
// the sum of its probes' time-outs, and a backup against the wire's limit (every byte at 10
// bits per byte, the instrument's latency per answer, a search time-out per silent probe).
//
//   cli_bench
//
// Targets: sweep within 1.01 x its time-outs, backup within 1.02 x its limit.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "link/timeouts.h"
#include "sim_harness.h"
#include "wire_cost.h"

namespace {

using rv::test::CliRun;
using rv::test::RunCli;
using rv::test::SimOptions;
using rv::test::SimProcess;

constexpr double kLatencyMs = 2.0;

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double searchSeconds(int speedIndex) {
    return std::chrono::duration<double>(rv::SearchTimeoutOfSpeedIndex(speedIndex)).count();
}

struct Run {
    CliRun cli;
    double wall = 0;
    double cpu = 0;  // the rv740x process alone: the simulator is reaped later
};

Run run(const std::vector<std::string>& args) {
    Run r;
    const double cpu0 = childCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    r.cli = RunCli(args);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.cpu = childCpuSeconds() - cpu0;
    return r;
}

bool report(const char* what, const Run& r, double limit, double bound) {
    const double ratio = r.wall / limit;
    std::printf(
        "%-32s wall %8.3f s, limit %8.3f s, ratio %.4f (bound %.2f); cpu %.3f s = %.2f %%%s\n",
        what, r.wall, limit, ratio, bound, r.cpu, 100 * r.cpu / r.wall,
        r.cli.exitCode == 0 ? "" : "  (FAILED)");
    if (r.cli.exitCode != 0) std::fprintf(stderr, "%s", rv::test::Describe(r.cli).c_str());
    return r.cli.exitCode == 0 && ratio <= bound;
}

}  // namespace

int main() {
    bool met = true;
    {
        // Nobody answers 1..20 at 9600 baud.
        SimOptions options;
        options.instruments = {"200"};
        options.pace = true;
        SimProcess sim(options);
        if (!sim.started()) return std::fprintf(stderr, "%s\n", sim.error().c_str()), 2;
        const Run sweep = run({"--port", sim.linkPath(), "search", "--to", "20"});
        met =
            report("search 1..20, 9600", sweep, 20 * searchSeconds(rv::kDefaultSpeedIndex), 1.01) &&
            met;
        double allSpeeds = 0;
        for (int i = 0; i < rv::kSpeedCount; ++i) allSpeeds += 3 * searchSeconds(i);
        const Run all = run({"--port", sim.linkPath(), "search", "--all-speeds", "--to", "3"});
        met = report("search --all-speeds 1..3", all, allSpeeds, 1.01) && met;
    }
    for (unsigned baud : {9600u, 19200u}) {
        // Two instruments and two silent numbers.
        SimOptions options;
        options.instruments = {"1,speed=" + std::to_string(baud),
                               "3,model=RV7406,speed=" + std::to_string(baud)};
        options.pace = true;
        options.latencyMs = kLatencyMs;
        SimProcess sim(options);
        if (!sim.started()) return std::fprintf(stderr, "%s\n", sim.error().c_str()), 2;
        rv::test::TempDir dir;
        const Run backup = run({"--port", sim.linkPath(), "--speed", std::to_string(baud), "backup",
                                dir.path() + "/backup", "--to", "4"});
        size_t lines = 0;
        const rv::bench::WireCost cost = rv::bench::WireCostOfLog(sim.logPath(), 0, lines);
        int speedIndex = 0;
        while (rv::BaudOfSpeedIndex(speedIndex) != baud) ++speedIndex;
        const double limit = cost.bytes * 10.0 / baud + cost.exchanges * kLatencyMs / 1000 +
                             cost.unanswered * searchSeconds(speedIndex);
        const std::string what = "backup 1..4 (2 found), " + std::to_string(baud);
        met = report(what.c_str(), backup, limit, 1.02) && met;
    }
    std::printf("targets (sweep <= 1.01, backup <= 1.02): %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
