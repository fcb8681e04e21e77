// Times the instrument search against rv740x-sim with nobody answering: single probes of a
// silent number, and (unless --probes-only) one full sweep at 9600 baud. Prints each figure
// with the bound it is held to. Exit status 1 when a bound is missed: a probe longer than
// SearchTimeout + 20 ms, a sweep longer than 1.02 x 254 x SearchTimeout.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/requests.h"
#include "link/transact.h"
#include "ops/search.h"
#include "sim_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double secondsOf(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const bool probesOnly = argc > 1 && std::strcmp(argv[1], "--probes-only") == 0;
    // One instrument that never answers: the line is there and stays quiet.
    rv::test::SimProcess sim({"1,silent"});
    if (!sim.started()) {
        std::fprintf(stderr, "search_bench: %s\n", sim.error().c_str());
        return 1;
    }
    rv::Link link;
    link.Device = sim.linkPath();
    link.applySpeedIndex(rv::kDefaultSpeedIndex);
    const rv::Duration timeout = rv::SearchTimeoutOfSpeedIndex(rv::kDefaultSpeedIndex);
    const double timeoutSeconds = secondsOf(timeout);

    if (!link.OpenPort()) {
        std::fprintf(stderr, "search_bench: cannot open %s\n", sim.linkPath().c_str());
        return 1;
    }
    constexpr int kProbes = 20;
    std::vector<double> walls;
    const double cpuBefore = cpuSeconds();
    for (int i = 0; i < kProbes; ++i) {
        link.NetNumber = 1;
        std::string message = rv::request::Identify();
        const auto start = Clock::now();
        rv::Transact(link, message, timeout);
        walls.push_back(secondsOf(Clock::now() - start));
    }
    const double probeCpu = cpuSeconds() - cpuBefore;
    link.ClosePort();
    const double worst = *std::max_element(walls.begin(), walls.end());
    double total = 0;
    for (double w : walls) total += w;
    std::printf("silent probe at 9600 baud, %d probes: SearchTimeout %.4f s\n", kProbes,
                timeoutSeconds);
    std::printf("  longest %.4f s = SearchTimeout + %.1f ms (bound: + 20 ms)\n", worst,
                (worst - timeoutSeconds) * 1000);
    std::printf("  mean    %.4f s\n", total / kProbes);
    std::printf("  CPU     %.4f s for %.2f s waited: %.3f %% of the wall time\n", probeCpu, total,
                100 * probeCpu / total);

    bool met = worst <= timeoutSeconds + 0.020;
    if (probesOnly) {
        std::printf("bounds: %s\n", met ? "met" : "MISSED");
        return met ? 0 : 1;
    }

    const double bound = 1.02 * 254 * timeoutSeconds;
    const double cpuAtStart = cpuSeconds();
    const auto start = Clock::now();
    int lastPercent = 0;
    rv::SearchObserver observer;
    observer.progress = [&](int percent) { lastPercent = percent; };
    const rv::Outcome outcome = rv::SearchLine(link, timeout, observer);
    const double wall = secondsOf(Clock::now() - start);
    const double cpu = cpuSeconds() - cpuAtStart;
    std::printf("full sweep at 9600 baud, nobody answering: %s, gauge %d\n",
                outcome == rv::Outcome::Done ? "done" : "not done", lastPercent);
    std::printf("  wall %.2f s = %.4f x (254 x SearchTimeout = %.2f s) (bound: 1.02 x = %.2f s)\n",
                wall, wall / (254 * timeoutSeconds), 254 * timeoutSeconds, bound);
    std::printf("  CPU  %.3f s: %.3f %% of the wall time\n", cpu, 100 * cpu / wall);
    met = met && outcome == rv::Outcome::Done && wall <= bound;
    std::printf("bounds: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
