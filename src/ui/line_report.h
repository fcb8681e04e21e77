#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "configfile/configuration_file.h"
#include "configfile/report.h"
#include "line/line_table.h"

// One instrument of the line report: its row of the table and its last copy, when it has one.
struct LineReportInstrument {
    rv::LineRow row;
    std::optional<rv::ConfigurationFile> lastCopy;
};

// The rows with the last copy of each from the line's copies folder.
std::vector<LineReportInstrument> LineReportInstruments(const std::vector<rv::LineRow>& rows,
                                                        const std::string& copiesFolder);

// The line report: the line (name, port, date and time), the table, then one section per
// instrument: what the table says of it, the channels of its last copy (sensor, scheme, range
// and set points of each channel in use) and the differences a comparison found; the
// signatures' block at the end. `dateTime` as LocalDateTimeText gives it.
rv::ConfigurationReport MakeLineReport(const std::string& lineName, const std::string& port,
                                       const std::vector<LineReportInstrument>& instruments,
                                       const std::string& dateTime);

// The report as a PDF file of A4 pages, printed as the configuration report is; on failure
// `error` says why and no file is left.
bool WriteLineReport(const QString& path, const QString& lineName, const QString& port,
                     const std::vector<LineReportInstrument>& instruments, QString& error);
