#include "configfile/sensor_csv.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "channel/fixed_text.h"
#include "fileio/atomic_file.h"

namespace rv {

std::string IsoTime(double seconds) {
    const double whole = std::floor(seconds);
    const auto time = static_cast<std::time_t>(whole);
    int millis = static_cast<int>(std::lround((seconds - whole) * 1000));
    std::tm utc{};
    gmtime_r(&time, &utc);
    if (millis > 999) millis = 999;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

std::string SensorCsv(const SensorSeries& series) {
    std::string text = "time,R_ohm,T_C,mark\n";
    for (size_t i = 0; i < series.size(); ++i) {
        const SensorPoint& p = series[i];
        text += IsoTime(p.seconds);
        switch (p.kind) {
            case PointKind::Reading:
                text += "," + FixedText(p.resistance, 5) + ",";
                if (p.hasTemperature()) text += FixedText(p.temperature, 4);
                text += ",\n";
                break;
            case PointKind::InstrumentError:
                text += ",,,error\n";
                break;
            case PointKind::Lost:
                text += ",,,lost\n";
                break;
        }
    }
    return text;
}

bool SaveSensorCsv(const std::string& path, const SensorSeries& series, std::string& error) {
    AtomicWriteError failure;
    if (WriteFileAtomically(path, SensorCsv(series), failure)) return true;
    error = AtomicWriteErrorText(path, failure);
    return false;
}

}  // namespace rv
