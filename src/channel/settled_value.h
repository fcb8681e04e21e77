#pragma once

#include <cstddef>

#include "channel/sensor_series.h"
#include "channel/sensor_statistics.h"

namespace rv {

// What taking a watched sensor's reading as R0 or as the line's resistance stores: the mean
// resistance of the readings that the stability verdict is about (the stability window), never
// of the whole span shown, which holds the sensor's settling too.
struct SettledValue {
    enum class Grounds {
        Nothing,     // no reading in the window: nothing to take
        Settled,     // the window is stable
        NotSettled,  // there are readings, but the sensor has not settled over them
    };
    Grounds grounds = Grounds::Nothing;
    double resistance = 0;  // ohms, the mean of the window's readings
    size_t count = 0;       // readings it is the mean of
    StabilityJudgement judgement;
};

SettledValue SettledValueOf(const SensorSeries& series, const StabilityLimits& limits);

}  // namespace rv
