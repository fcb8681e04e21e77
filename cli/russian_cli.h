#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace rv::cli {

// The help of `app` and its commands in Russian: headings, labels and the group names, columns
// counted in characters and long texts wrapped at 80. Call before the options are added, so
// they join the Russian group.
void UseRussianHelp(CLI::App& app);
// Puts every command added so far under the Russian heading of commands.
void GroupCommands(CLI::App& app);

// Russian checks with Russian descriptions: a whole number from `low` to `high`, a number
// (decimals allowed) from `low` to `high` described as `range`, and one of the listed numbers.
CLI::Validator RangeCheck(unsigned low, unsigned high);
CLI::Validator RealRangeCheck(double low, double high, const std::string& range);
CLI::Validator OneOfCheck(const std::vector<unsigned>& allowed);

// A parse error's text in Russian.
std::string RussianError(const CLI::ParseError& error);

}  // namespace rv::cli
