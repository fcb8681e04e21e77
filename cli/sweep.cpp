#include "sweep.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "configfile/code_page.h"
#include "interrupt.h"
#include "line_options.h"
#include "link/requests.h"
#include "link/serial_port.h"
#include "link/timeouts.h"
#include "ops/search.h"
#include "progress_line.h"

namespace rv::cli {

namespace {

double probeSeconds(int speedIndex) {
    return std::chrono::duration<double>(SearchTimeoutOfSpeedIndex(speedIndex)).count();
}

}  // namespace

double SweepBoundSeconds(const SweepPlan& plan) {
    if (plan.last < plan.first) return 0;
    double total = 0;
    for (int index : plan.speedIndexes) total += (plan.last - plan.first + 1) * probeSeconds(index);
    return total;
}

SweepResult Sweep(Link& link, const SweepPlan& asked) {
    SweepPlan plan = asked;
    // A line whose speed the gateway fixes is searched at the one speed chosen for it.
    if (plan.speedIndexes.size() > 1 && !SerialPort::SetsSpeed(link.Device)) {
        std::fprintf(stderr, "Скорость линии задаётся в настройках шлюза\n");
        const int chosen = SpeedIndexOfBaud(link.BaudRate);
        plan.speedIndexes = {chosen < 0 ? kDefaultSpeedIndex : chosen};
    }
    SweepResult result;
    ProgressLine line;
    double secondsAfterThisSpeed = SweepBoundSeconds(plan);
    for (int speedIndex : plan.speedIndexes) {
        const double probe = probeSeconds(speedIndex);
        secondsAfterThisSpeed -= (plan.last - plan.first + 1) * probe;
        link.applySpeedIndex(speedIndex);
        const unsigned baud = BaudOfSpeedIndex(speedIndex);

        SearchObserver observer;
        observer.probing = [&](unsigned net) {
            if (!line.shown()) return;
            const double left = secondsAfterThisSpeed + (plan.last - net + 1) * probe;
            line.show(std::to_string(baud) + " бод, номер " + std::to_string(net) + ", найдено " +
                      std::to_string(result.found.size()) + ", осталось " +
                      Clock(std::lround(left)));
        };
        observer.found = [&](unsigned net) {
            const bool known =
                std::any_of(result.found.begin(), result.found.end(),
                            [net](const FoundInstrument& f) { return f.netNumber == net; });
            if (known) return;
            // The port is open at this speed and addressed to the instrument that answered.
            FoundInstrument found{net, speedIndex, baud, {}, 0};
            if (Exchange(link, request::Version(), request::kVersionFields) == Step::Ok) {
                found.version = InstrumentTextToUtf8(link.ReplyFields[0]).value_or("?");
            } else {
                found.versionStatus = link.LinkStatus;
            }
            result.found.push_back(found);
        };
        observer.progress = [&](int) { StopAtBoundaryIfAsked(link); };

        result.outcome = SearchLine(link, SearchTimeoutOfSpeedIndex(speedIndex), observer,
                                    {plan.first, plan.last});
        if (result.outcome == Outcome::Failed) result.status = link.LinkStatus;
        if (result.outcome != Outcome::Done) break;
    }
    return result;
}

}  // namespace rv::cli
