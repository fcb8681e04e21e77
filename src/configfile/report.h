#pragma once

#include <string>
#include <vector>

#include "config/image.h"
#include "config/transfer.h"
#include "configfile/difference.h"

namespace rv {

// Where a reported configuration came from, in the report's words.
struct ReportSource {
    bool fromFile = false;
    std::string fileName;  // the file's name, when fromFile
    std::string savedAt;   // the file's time stamp, when fromFile
};

// One table of the report. Its first column names the row; a table with column heads repeats
// them wherever it goes on to another page.
struct ReportTable {
    std::string heading;                         // "Прибор", "Каналы", "Реле"
    std::vector<std::string> columns;            // the heads, or none
    std::vector<std::vector<std::string>> rows;  // each as many cells as there are heads
};

// The configuration report for commissioning papers: the instrument (model, network number,
// speed, firmware, identity, date and time, source), each fitted channel's settings named as
// the channel page names them, with their units and "—" where a setting means nothing for the
// channel's sensor type, the relay table, and the closing block of signatures.
struct ConfigurationReport {
    std::string title;     // "Отчёт о конфигурации прибора RV7408"
    std::string model;     // "RV7408"
    std::string identity;  // "0A1B2C"
    std::string dateTime;  // "2026-12-07 14:05"
    std::vector<ReportTable> tables;
    // Who signs below the tables: the engineer who did the work, and the customer.
    std::vector<std::string> signatures;
    // Lines left blank under each signature's name.
    std::vector<std::string> signatureLines;
    // The running line of every page ("стр. N из M" goes beside it): for an instrument its
    // model, identity and date.
    std::string runningLine;
};

// `dateTime` is the local date and time of the report, as LocalDateTimeText gives it.
ConfigurationReport MakeConfigurationReport(const ConfigImage& image,
                                            const InstrumentRecord& instrument,
                                            const ReportSource& source,
                                            const std::string& dateTime);

// Adds "Как было / как стало": each setting that changed from `before` (the instrument's copy,
// named by `beforeText`, "копия от 07.12.2026") to the configuration reported. Nothing when
// nothing changed.
void AddBeforeAfter(ConfigurationReport& report, const std::vector<FieldDifference>& changes,
                    const std::string& beforeText);

// Ends a report with the signatures of the engineer ("Выполнил") and the customer ("Принял"),
// each with lines for name, position, signature and date.
void AddSignatureBlock(ConfigurationReport& report);

// The report as one HTML page (UTF-8), for a browser or `rv740x show --html`.
std::string ConfigurationReportHtml(const ConfigurationReport& report);

// The unit of a channel's measured value for a sensor type code: "°C" for thermometers and
// thermocouples, "Ом" for the resistance input; empty for current and voltage inputs, whose
// value is in the units their range gives it.
std::string MeasuredUnit(int sensorType);

// The text of a cell that does not apply to a channel's sensor type.
inline constexpr const char* kNotApplicable = "—";

}  // namespace rv
