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
// misses is measured again, up to three rounds, and the targets hold when one round meets
// them. A client that costs more on the network misses every round.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "config/transfer.h"
#include "gateway_harness.h"
#include "transfer_measure.h"

namespace {

using rv::bench::Measure;
using rv::test::Gateway;
using rv::test::SimProcess;

constexpr int kNet = 5;
constexpr int kRounds = 3;
constexpr double kWallRatio = 1.02;
constexpr double kCpuShareOfACore = 0.002;

struct Pair {
    Measure terminal;
    Measure network;
};

bool judge(const char* what, const Pair& p) {
    const double ratio = p.network.wall / p.terminal.wall;
    const double extraCpu = (p.network.cpu - p.terminal.cpu) / p.network.wall;
    const bool ok = p.terminal.ok && p.network.ok && ratio <= kWallRatio &&
                    p.network.cpu <= p.terminal.cpu + kCpuShareOfACore * p.network.wall;
    std::printf(
        "%-5s terminal %7.3f s, cpu %.3f s | rfc2217 %7.3f s, cpu %.3f s | wall ratio %.4f, "
        "cpu beyond the terminal's %+.3f %% of a core: %s\n",
        what, p.terminal.wall, p.terminal.cpu, p.network.wall, p.network.cpu, ratio, extraCpu * 100,
        ok ? "ok" : "MISSED");
    std::fflush(stdout);
    return ok;
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

    bool met = false;
    for (int round = 1; round <= kRounds && !met; ++round) {
        std::printf("round %d at %u baud:\n", round, baud);
        rv::ConfigImage image;
        Pair read;
        Pair write;
        for (rv::Link* link : {&terminal, &network}) {
            Measure& m = link == &terminal ? read.terminal : read.network;
            m = rv::bench::Time(
                [&] { return rv::ReadConfiguration(*link, image, {}) == rv::Outcome::Done; });
            if (!m.ok)
                std::printf("read failed: %d %s\n", link->LinkStatus, link->LinkDetail.c_str());
        }
        for (rv::Link* link : {&terminal, &network}) {
            Measure& m = link == &terminal ? write.terminal : write.network;
            m = rv::bench::Time(
                [&] { return rv::WriteConfiguration(*link, image, {}) == rv::Outcome::Done; });
            if (!m.ok)
                std::printf("write failed: %d %s\n", link->LinkStatus, link->LinkDetail.c_str());
        }
        const bool readOk = judge("read", read);
        const bool writeOk = judge("write", write);
        met = readOk && writeOk;
    }
    std::printf(
        "targets (wall <= %.2f x the terminal's, cpu <= the terminal's + %.1f %% of a core): %s\n",
        kWallRatio, kCpuShareOfACore * 100, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
