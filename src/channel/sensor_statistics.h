#pragma once

#include <cstddef>
#include <optional>

#include "channel/sensor_series.h"

namespace rv {

// Mean, spread and extremes of one quantity over a span.
struct QuantityStatistics {
    double mean = 0;
    double deviation = 0;  // standard deviation of the sample (n - 1)
    double minimum = 0;
    double maximum = 0;
    // The slope of the least-squares line through the values against time, per minute.
    double driftPerMinute = 0;
};

// The statistics of the readings among points [first, last): marks are not counted.
struct SpanStatistics {
    size_t count = 0;  // readings
    size_t marks = 0;  // instrument errors and lost answers
    QuantityStatistics resistance;
    // Over the readings that have a temperature; nothing when none has.
    std::optional<QuantityStatistics> temperature;
};

SpanStatistics StatisticsOf(const SensorSeries& series, size_t first, size_t last);

// When a sensor counts as settled.
struct StabilityLimits {
    double drift = 0.05;   // per minute, at most
    double spread = 0.05;  // standard deviation, at most
    double holdSeconds = 30;
};

// "Stable": over the last `holdSeconds` of the run, the readings' drift and spread have both
// stayed within their limits, and the run has lasted that long. The limits apply to the
// temperature when the readings have one, else to the resistance.
bool IsStable(const SensorSeries& series, const StabilityLimits& limits);

}  // namespace rv
