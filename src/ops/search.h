#pragma once

#include <functional>

#include "link/exchange.h"
#include "link/link.h"
#include "link/timeouts.h"

namespace rv {

// What the window wants to see of a running search.
struct SearchObserver {
    // After each probe: a * 100 / 255 for the counter a = 1..255.
    std::function<void(int percent)> progress;
    // An instrument of the served family answered at this network number.
    std::function<void(unsigned netNumber)> found;
    // Before each probe: the network number about to be asked.
    std::function<void(unsigned netNumber)> probing;
};

// The counter runs one past the last network number an instrument can have; that last probe
// is refused by the transaction layer and only completes the gauge.
inline constexpr unsigned kSearchLastCounter = 255;

// The counters a search runs through; the window runs the whole 1..255.
struct SearchRange {
    unsigned first = 1;
    unsigned last = kSearchLastCounter;
};

// Probes network numbers 1..255 (or the range given) with "0;" at `probeTimeout` each, at the
// link's one port and speed, and reports every number whose reply is exactly the single field
// "17". Runs in one Session (no identification) and stops at the next cancel request;
// link.NetNumber ends as it was. Failed only when the port cannot be opened (LinkStatus says
// why); a probe's own failure is silent.
Outcome SearchLine(Link& link, Duration probeTimeout, const SearchObserver& observer,
                   SearchRange range = {});

}  // namespace rv
