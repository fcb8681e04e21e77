#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "line/line_file.h"
#include "line_options.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace rv::cli {

// `rv740x line FILE search|backup|diff|history|journal`: the commands on a whole line, its
// instruments taken from a line file. `portOption` is the program's --port: given, it wins
// over the line file's port.
void AddLineCommand(CLI::App& app, LineOptions& options, const CLI::Option* portOption,
                    int& exitCode);

// Reads the line file; prints why it cannot, and every warning. On failure returns the exit
// code, else 0.
int LoadLine(const std::string& path, LineFile& line);

// The instruments of the line at the numbers given (all of them when none is given); prints
// the numbers the line does not have and returns false then.
bool ChooseInstruments(const LineFile& line, const std::vector<unsigned>& numbers,
                       std::vector<LineInstrument>& chosen);

// The instruments' copies, version by version, or the difference of two versions.
int RunLineHistory(const std::string& path, const std::vector<unsigned>& numbers,
                   const std::vector<unsigned>& compare);
// The line's journal, or the entries of the instruments given.
int RunLineJournal(const std::string& path, const std::vector<unsigned>& numbers);

}  // namespace rv::cli
