#include "sweep.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "interrupt.h"
#include "progress_line.h"

namespace rv::cli {

SweepResult Sweep(Link& link, const SweepPlan& plan) {
    ProgressLine line;
    size_t found = 0;
    SpeedSearchObserver observer;
    observer.probing = [&](unsigned baud, unsigned net, double secondsLeft) {
        if (!line.shown()) return;
        line.show(std::to_string(baud) + " бод, номер " + std::to_string(net) + ", найдено " +
                  std::to_string(found) + ", осталось " + Clock(std::lround(secondsLeft)));
    };
    observer.found = [&](const FoundInstrument&) { ++found; };
    observer.speedFixed = [] { std::fprintf(stderr, "%s\n", kSpeedFixedByGatewayText); };
    observer.progress = [&](int) { StopAtBoundaryIfAsked(link); };
    return SearchSpeeds(link, plan, observer);
}

}  // namespace rv::cli
