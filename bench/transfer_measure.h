#pragma once

// Timing a whole transfer: the wall time against what its exchanges need on the wire, and the
// CPU the process spends meanwhile as a share of the wall time.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/serial_port.h"
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

// The CPU time of the calling thread alone, in seconds.
inline double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Measure {
    double wall = 0;
    double cpu = 0;        // the whole process's
    double threadCpu = 0;  // the calling thread's own
    bool ok = false;
};

// Times `operation`, which returns whether it succeeded.
template <typename Operation>
Measure Time(Operation operation) {
    const double cpu0 = CpuSeconds();
    const double thread0 = ThreadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    Measure m;
    m.ok = operation();
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.cpu = CpuSeconds() - cpu0;
    m.threadCpu = ThreadCpuSeconds() - thread0;
    return m;
}

// Prints one measurement against the log lines it added; true when within the targets: wall
// within 1.02 x the wire limit, CPU under 0.5 % of wall up to 9600 baud and under 1 % above.
inline bool Report(const char* what, unsigned baud, const Measure& m,
                   const rv::test::SimProcess& sim, size_t& logLine) {
    // The simulator logs a reply once its last byte is written, which may be just after the
    // client has read that byte; the log is read again until every request has its reply.
    size_t lines = 0;
    WireCost cost = WireCostOfLog(sim.logPath(), logLine, lines);
    for (int i = 0; i < 100 && cost.unanswered > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        cost = WireCostOfLog(sim.logPath(), logLine, lines);
    }
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

// The reference for a transfer's wall time, measured on the same line in the same run, so that
// a busy machine slows both alike: a minimal client replays the exchanges that the log lines
// [fromLine, toLine) record, each request frame written as the link sent it and its reply's
// bytes read as they come, with nothing parsed or checked, on the simulator's terminal or on
// `line` when given (a gateway in front of it). Its time and CPU; not ok when the port does not
// open or a reply does not come whole within a second of its due time.
inline Measure ReplayExchanges(const rv::test::SimProcess& sim, unsigned baud, size_t fromLine,
                               size_t toLine, const std::string& line = {}) {
    std::vector<std::pair<std::string, size_t>> exchanges;  // request frame, reply size
    {
        std::ifstream in(sim.logPath());
        size_t n = 0;
        for (std::string line; std::getline(in, line) && n < toLine; ++n) {
            if (n < fromLine) continue;
            if (line.find("\"dir\":\"rx\"") != std::string::npos)
                exchanges.emplace_back(BuildFrame(LogNet(line), LogText(line)), 0);
            else if (line.find("\"dir\":\"tx\"") != std::string::npos && !exchanges.empty())
                exchanges.back().second = LogText(line).size();
        }
    }
    rv::SerialPort port;
    if (port.open(line.empty() ? sim.linkPath() : line, baud) != rv::SerialPort::OpenResult::Ok)
        return {};
    std::vector<uint8_t> buffer(4096);
    return Time([&] {
        for (const auto& [request, replySize] : exchanges) {
            if (replySize == 0) continue;
            if (!port.writeAll(reinterpret_cast<const uint8_t*>(request.data()), request.size()))
                return false;
            const double due = static_cast<double>(request.size() + replySize) * 10.0 / baud;
            const auto giveUp = std::chrono::steady_clock::now() +
                                std::chrono::microseconds(static_cast<long>((due + 1.0) * 1e6));
            for (size_t got = 0; got < replySize;) {
                if (std::chrono::steady_clock::now() > giveUp) return false;
                port.waitReadable(std::chrono::milliseconds(100));
                const long n = port.readAvailable(buffer.data(), buffer.size());
                if (n < 0) return false;
                got += static_cast<size_t>(n);
            }
        }
        return true;
    });
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
