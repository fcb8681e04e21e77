#pragma once

#include <string>

#include "config/image.h"
#include "config/transfer.h"

namespace rv {

// Where a reported configuration came from, in the report's words.
struct ReportSource {
    bool fromFile = false;
    std::string fileName;  // the file's name, when fromFile
    std::string savedAt;   // the file's time stamp, when fromFile
};

// The configuration report for commissioning papers, as one HTML page (UTF-8): the
// instrument (model, network number, speed, firmware, identity), the date `date`, each
// fitted channel's settings named as the channel page names them and with their units, the
// relay table, and where the configuration came from.
std::string ConfigurationReportHtml(const ConfigImage& image, const InstrumentRecord& instrument,
                                    const ReportSource& source, const std::string& date);

// The unit of a channel's measured value for a sensor type code: "°C" for thermometers and
// thermocouples, "Ом" for the resistance input; empty for current and voltage inputs, whose
// value is in the units their range gives it.
std::string MeasuredUnit(int sensorType);

}  // namespace rv
