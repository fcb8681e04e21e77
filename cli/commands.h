#pragma once

#include <string>

#include "line_options.h"
#include "sweep.h"

namespace rv::cli {

// Each subcommand returns the program's exit status.

// The four COM names with their devices, and the serial devices of this machine.
int RunPorts();

struct SearchOptions {
    bool allSpeeds = false;
    unsigned first = 1;
    unsigned last = 254;
    bool json = false;
};
int RunSearch(const LineOptions& line, const SearchOptions& options);

// The speeds a search or backup goes through: all seven, or the one of the line options.
SweepPlan PlanOf(const LineOptions& line, bool allSpeeds, unsigned first, unsigned last);

}  // namespace rv::cli
