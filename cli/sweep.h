#pragma once

#include "line/line_search.h"
#include "link/link.h"

namespace rv::cli {

using SweepPlan = SpeedSearchPlan;
using SweepResult = SpeedSearchResult;

// Searches the line at each speed of the plan (SearchSpeeds), with a progress line on a
// terminal; a first Ctrl+C stops after the probe in progress.
SweepResult Sweep(Link& link, const SweepPlan& plan);

}  // namespace rv::cli
