#pragma once

#include <optional>
#include <string>
#include <vector>

#include "configfile/difference.h"
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

// The whole configuration of instrument `net` into a file, or to stdout for an empty path.
int RunRead(const LineOptions& options, unsigned net, const std::string& outputPath);
// A configuration file as a table: fields by channels; with `html` the configuration report
// as an HTML page instead.
int RunShow(const std::string& path, bool html);
// The differences between two files, or between an instrument and a file: 0 when none, 1
// when there are some.
int RunDiffFiles(const std::string& leftPath, const std::string& rightPath);
int RunDiffInstrument(const LineOptions& options, unsigned net, const std::string& path);
// A configuration file into instrument `net`; the write goes into the journal of the line
// file `linePath`, or into the user's own journal when it is empty.
int RunWrite(const LineOptions& options, unsigned net, const std::string& path, bool yes,
             const std::string& linePath);
// A search, then every instrument found read into DIR under its default file name.
int RunBackup(const LineOptions& options, const std::string& directory, bool allSpeeds,
              unsigned first, unsigned last);

struct MeasureOptions {
    unsigned channel = 1;  // 1..8
    std::optional<size_t> count;
    std::optional<double> seconds;
    std::string csvPath;
};
// Watches the resistance (and temperature) on a channel of instrument `net`, one line per
// answer, until the count or time is reached or Ctrl+C; then a summary. 1 when the line
// fails.
int RunMeasure(const LineOptions& options, unsigned net, const MeasureOptions& measure);

// Prints the differences as a table (channel, setting, then the two values under the
// headings `left` and `right`), or "Различий нет"; true when there were any.
bool PrintDifferences(const std::vector<FieldDifference>& differences, const std::string& left,
                      const std::string& right);

// Whether files can be made in `directory`: tried with a file made and removed at once, so
// that a read-only or missing folder is found before the line is used. Prints why not.
bool WritableDirectory(const std::string& directory);

// The speeds a search or backup goes through: all seven, or the one of the line options.
SweepPlan PlanOf(const LineOptions& line, bool allSpeeds, unsigned first, unsigned last);

}  // namespace rv::cli
