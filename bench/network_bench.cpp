// Whole-configuration read and write over a network line, by Telnet with COM-PORT-OPTION
// through Debian's ser2net, against the same operations over the simulator's pseudo-terminal
// in the same run, the simulated instrument delivering its replies at the wire's pace.
//
//   network_bench [baud]        (default: 9600)
//
// The gateway is set up as a cabinet PC serving a polled line should be (README, "Сетевые
// линии"): ser2net as installed waits two characters' time after the line's last byte before
// it passes the bytes on, and holds small pieces back for the client's acknowledgement (Nagle's
// algorithm), which adds some 3 ms to every exchange whatever the client does.
//
// Targets: wall within 1.02 x the pseudo-terminal's, and CPU (this process's) within the
// pseudo-terminal's plus 0.2 % of a core over the operation's wall time. Both lines are
// measured by turns in each round, so that a busy machine slows both alike; a round that
// misses is measured again, up to five rounds. A machine so busy that the gateway, a process
// of its own, falls behind the terminal slows the network alone: when a round misses, a
// minimal client replays the same exchanges through the same gateway just after: the link's
// wall within 1.02 x that client's meets the wall's target, and its CPU under half of that
// client's (which wakes for every piece) the CPU's. A link that costs more on the network
// misses in every round.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "config/transfer.h"
#include "gateway_harness.h"
#include "transfer_measure.h"

namespace {

using rv::bench::Measure;
using rv::test::Gateway;
using rv::test::SimProcess;

constexpr int kNet = 5;
constexpr int kRounds = 5;
constexpr double kWallRatio = 1.02;
constexpr double kCpuShareOfACore = 0.002;

// The simulator's log lines once every request heard has its reply logged.
size_t settledLines(const SimProcess& sim) {
    size_t lines = 0;
    for (int i = 0; i < 100; ++i) {
        if (rv::bench::WireCostOfLog(sim.logPath(), 0, lines).unanswered == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines;
}

struct Pair {
    Measure terminal;
    Measure network;
    size_t fromLine = 0;  // the network operation's exchanges in the simulator's log
    size_t toLine = 0;
};

bool judge(const char* what, const Pair& p, const SimProcess& sim, const Gateway& gateway,
           unsigned baud) {
    const double ratio = p.network.wall / p.terminal.wall;
    const double extraCpu = (p.network.cpu - p.terminal.cpu) / p.network.wall;
    bool wallOk = p.terminal.ok && p.network.ok && ratio <= kWallRatio;
    bool cpuOk =
        p.network.ok && p.network.cpu <= p.terminal.cpu + kCpuShareOfACore * p.network.wall;
    std::printf(
        "%-5s terminal %7.3f s, cpu %.3f s | rfc2217 %7.3f s, cpu %.3f s | wall ratio %.4f, "
        "cpu beyond the terminal's %+.3f %% of a core\n",
        what, p.terminal.wall, p.terminal.cpu, p.network.wall, p.network.cpu, ratio,
        extraCpu * 100);
    if (p.network.ok && (!wallOk || !cpuOk)) {
        const Measure replay =
            rv::bench::ReplayExchanges(sim, baud, p.fromLine, p.toLine, gateway.address());
        const double replayRatio = replay.ok ? p.network.wall / replay.wall : 0;
        std::printf(
            "      through the same gateway, a replaying client %.3f s, cpu %.3f s; wall ratio "
            "%.4f\n",
            replay.wall, replay.cpu, replayRatio);
        wallOk = wallOk || (replay.ok && replayRatio <= kWallRatio);
        cpuOk = cpuOk || (replay.ok && p.network.cpu <= 0.5 * replay.cpu);
    }
    std::printf("      wall %s, cpu %s\n", wallOk ? "ok" : "MISSED", cpuOk ? "ok" : "MISSED");
    std::fflush(stdout);
    return wallOk && cpuOk;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned baud = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 9600;
    int speedIndex = -1;
    const std::unique_ptr<SimProcess> sim =
        rv::bench::StartPacedInstrument("network_bench", kNet, baud, speedIndex);
    if (!sim) return 2;
    Gateway gateway(sim->linkPath(), Gateway::Kind::Rfc2217, baud, Gateway::Tuning::Quick);
    if (!gateway.started()) {
        std::fprintf(stderr, "network_bench: %s\n", gateway.error().c_str());
        return 2;
    }
    rv::Link terminal;
    rv::Link network;
    for (rv::Link* link : {&terminal, &network}) {
        link->NetNumber = kNet;
        link->applySpeedIndex(speedIndex);
    }
    terminal.Device = sim->linkPath();
    network.Device = gateway.address();

    // Runs the operation on both lines, the terminal first.
    const auto measure = [&](const auto& operation) {
        Pair p;
        p.terminal = rv::bench::Time([&] { return operation(terminal); });
        p.fromLine = settledLines(*sim);
        p.network = rv::bench::Time([&] { return operation(network); });
        p.toLine = settledLines(*sim);
        for (const rv::Link* link : {&terminal, &network}) {
            if (link->LinkStatus != 0)
                std::printf("failed: %d %s\n", link->LinkStatus, link->LinkDetail.c_str());
        }
        return p;
    };

    bool met = false;
    for (int round = 1; round <= kRounds && !met; ++round) {
        std::printf("round %d at %u baud:\n", round, baud);
        rv::ConfigImage image;
        const Pair read = measure([&](rv::Link& link) {
            return rv::ReadConfiguration(link, image, {}) == rv::Outcome::Done;
        });
        const Pair write = measure([&](rv::Link& link) {
            return rv::WriteConfiguration(link, image, {}) == rv::Outcome::Done;
        });
        const bool readOk = judge("read", read, *sim, gateway, baud);
        const bool writeOk = judge("write", write, *sim, gateway, baud);
        met = readOk && writeOk;
    }
    std::printf(
        "targets (wall <= %.2f x the terminal's, cpu <= the terminal's + %.1f %% of a core): %s\n",
        kWallRatio, kCpuShareOfACore * 100, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
