#pragma once

#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/link.h"

namespace rv::cli {

// An instrument of the served family that answered a search.
struct FoundInstrument {
    unsigned netNumber = 0;
    int speedIndex = 0;
    unsigned baud = 0;
    std::string version;        // firmware version text (UTF-8), empty when it could not be read
    int32_t versionStatus = 0;  // why the version could not be read
};

struct SweepPlan {
    std::vector<int> speedIndexes;  // searched one after another
    unsigned first = 1;
    unsigned last = 254;
};

struct SweepResult {
    Outcome outcome = Outcome::Done;
    int32_t status = 0;  // after Failed: why the port could not be used
    std::vector<FoundInstrument> found;
};

// Searches the line at each speed of the plan and asks every instrument found for its
// version right after it answered. A line whose speed is fixed by its gateway (a raw network
// line) is searched at the link's speed alone, and the user is told so once. An instrument is
// listed once, at the first speed it answered. Shows a progress line on a terminal; a first Ctrl+C
// stops after the probe in progress.
SweepResult Sweep(Link& link, const SweepPlan& asked);

// The whole time the plan's probes may take when nobody answers, in seconds.
double SweepBoundSeconds(const SweepPlan& plan);

}  // namespace rv::cli
