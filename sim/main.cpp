#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "event_log.h"
#include "instrument.h"
#include "network.h"
#include "options.h"
#include "pseudo_terminal.h"
#include "server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) { stopRequested = 1; }

int fail(const std::string& message) {
    std::fprintf(stderr, "rv740x-sim: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace rv::sim;

    std::string error;
    const auto options = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "rv740x-sim: %s\nTry 'rv740x-sim --help'.\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    // Stop signals stay blocked except while the server waits, so none is lost.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, sig);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!options->stateDir.empty() && ::mkdir(options->stateDir.c_str(), 0755) != 0 &&
        errno != EEXIST)
        return fail(options->stateDir + ": " + std::strerror(errno));

    std::deque<Instrument> instruments;
    for (const InstrumentSetup& setup : options->instruments) {
        instruments.emplace_back(setup);
        if (!instruments.back().start(options->stateDir, error)) return fail(error);
    }

    EventLog log;
    if (!options->logPath.empty() && !log.open(options->logPath, error)) return fail(error);

    std::unique_ptr<PseudoTerminal> line;
    std::string served;
    if (!options->linkPath.empty()) {
        line = std::make_unique<PseudoTerminal>();
        if (!line->open(options->linkPath, error)) return fail(error);
        served = options->linkPath;
    }
    std::vector<std::unique_ptr<NetListener>> listeners;
    for (const Listener& setup : options->listeners) {
        listeners.push_back(std::make_unique<NetListener>());
        if (!listeners.back()->open(setup, error)) return fail(error);
        served += (served.empty() ? "" : " ") + listeners.back()->name();
    }

    Timing timing;
    timing.pace = options->pace;
    const double latencyMs = options->latencyMs.value_or(options->pace ? 2.0 : 0.0);
    timing.latency = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(latencyMs));
    timing.netDelay = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(options->netDelayMs));

    std::printf("ready %s\n", served.c_str());
    std::fflush(stdout);

    Server server(line.get(), listeners, instruments, log, timing);
    const int code = server.run(stopRequested);
    if (line) line->removeLink();
    return code;
}
