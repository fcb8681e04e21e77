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

// The stretch "Стабильно" judges: the last `holdSeconds` of the run, points [first, last).
// A run shorter than the hold gives all of it, and is not yet `whole`.
struct StabilityWindow {
    size_t first = 0;
    size_t last = 0;
    double fromSeconds = 0;  // the last point's time less the hold; in a shorter run, its start
    double toSeconds = 0;    // the last point's time
    bool whole = false;      // the run has lasted the whole hold
};

StabilityWindow StabilityWindowOf(const SensorSeries& series, double holdSeconds);

// The window with its statistics and the verdict on them.
struct StabilityJudgement {
    StabilityWindow window;
    SpanStatistics statistics;  // of the window's points
    bool stable = false;
};

// "Stable": over the last `holdSeconds` of the run, the readings' drift and spread have both
// stayed within their limits, and the run has lasted that long. The limits apply to the
// temperature when the readings have one, else to the resistance.
StabilityJudgement JudgeStability(const SensorSeries& series, const StabilityLimits& limits);
bool IsStable(const SensorSeries& series, const StabilityLimits& limits);

}  // namespace rv
