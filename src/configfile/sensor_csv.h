#pragma once

#include <string>

#include "channel/sensor_series.h"

namespace rv {

// A point's time as ISO 8601 in UTC with milliseconds, e.g. "2026-12-07T20:58:01.123Z".
std::string IsoTime(double seconds);

// The points of a watch as CSV: a header line "time,R_ohm,T_C,mark", then one line per
// point: its time, R and T (T empty when the sensor type has none), and for a mark no values
// and "error" or "lost" in the last column.
std::string SensorCsv(const SensorSeries& series);

// Saves SensorCsv atomically; on failure `error` says why and the file is untouched.
bool SaveSensorCsv(const std::string& path, const SensorSeries& series, std::string& error);

}  // namespace rv
