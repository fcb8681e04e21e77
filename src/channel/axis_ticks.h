#pragma once

#include <string>

namespace rv {

// The ticks of a plot's value axis: round values, 1, 2 or 5 times a power of ten apart, with
// the axis' ends on ticks.
struct ValueTicks {
    double step = 1;
    long firstIndex = 0;  // the first tick is firstIndex * step
    int count = 2;
    int decimals = 0;  // digits after the point that write every tick exactly

    // Tick i (0 <= i < count), as near to its round value as a double comes.
    double at(int i) const;
    double low() const { return at(0); }
    double high() const { return at(count - 1); }
};

// The ticks of an axis that shows values from `low` to `high`: the smallest round step that
// gives at most `mostTicks` ticks (at least 2) from a tick at or below `low` to one at or above
// `high`. A range narrower than `leastWidth` is widened about its middle to that width first,
// so a flat line does not get ticks a thousandth apart.
ValueTicks RoundTicks(double low, double high, int mostTicks, double leastWidth = 0);

// The ticks of a time axis counted from a run's start: steps of 1, 2, 5, 10, 15 or 30 s, 1, 2,
// 5, 10, 15 or 30 min, 1, 2, 3, 6 or 12 h, or whole days, the smallest that gives at most
// `mostTicks` ticks between `from` and `to` seconds (the ticks lie inside).
struct TimeTicks {
    double step = 1;   // seconds
    double first = 0;  // seconds from the start, a whole number of steps
    int count = 0;

    double at(int i) const { return first + step * i; }
};

TimeTicks RoundTimeTicks(double from, double to, int mostTicks);

// Seconds from a run's start as a tick's label: "m:ss" below an hour, "h:mm:ss" from there on.
std::string ElapsedText(double seconds);

}  // namespace rv
