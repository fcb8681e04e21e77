#include "channel/axis_ticks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace rv {

namespace {

// The power of ten 10^e as a double; exact for the exponents an axis meets.
double powerOfTen(int e) { return std::pow(10.0, e); }

}  // namespace

double ValueTicks::at(int i) const {
    // The step is mantissa * 10^e; a tick is written as a whole number times 10^e, so a tick
    // of 0.1 steps is 3 / 10, the double nearest 0.3, not 3 * 0.1.
    const int e = -decimals;
    const double mantissa = std::round(step / powerOfTen(e));
    const double whole = static_cast<double>(firstIndex + i) * mantissa;
    return e >= 0 ? whole * powerOfTen(e) : whole / powerOfTen(-e);
}

ValueTicks RoundTicks(double low, double high, int mostTicks, double leastWidth) {
    mostTicks = std::max(mostTicks, 2);
    if (!std::isfinite(low) || !std::isfinite(high)) low = high = 0;
    if (high < low) std::swap(low, high);
    if (high - low < leastWidth) {
        const double middle = (low + high) / 2;
        low = middle - leastWidth / 2;
        high = middle + leastWidth / 2;
    }
    // A range of nothing still gets an axis: a unit about its value's size.
    if (high - low <= 0) {
        const double size = std::max(std::fabs(low), 1.0) * 1e-3;
        low -= size;
        high += size;
    }
    const double rough = (high - low) / (mostTicks - 1);
    int e = static_cast<int>(std::floor(std::log10(rough)));
    ValueTicks ticks;
    for (;; ++e) {
        for (const int mantissa : {1, 2, 5}) {
            const double step = mantissa * powerOfTen(e);
            // A little slack, so a value a rounding error beyond a tick still counts as on it.
            const double slack = 1e-9;
            const auto first = static_cast<long>(std::floor(low / step + slack));
            const auto last = static_cast<long>(std::ceil(high / step - slack));
            const long count = std::max(last - first + 1, 2L);
            if (count > mostTicks) continue;
            ticks.step = step;
            ticks.firstIndex = first;
            ticks.count = static_cast<int>(count);
            ticks.decimals = std::max(0, -e);
            return ticks;
        }
    }
}

TimeTicks RoundTimeTicks(double from, double to, int mostTicks) {
    static constexpr std::array<double, 16> kSteps = {
        1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600};
    mostTicks = std::max(mostTicks, 1);
    TimeTicks ticks;
    if (!(to >= from)) return ticks;
    const auto fit = [&](double step) {
        const double first = std::ceil(from / step - 1e-9) * step;
        const auto count = static_cast<long>(std::floor((to - first) / step + 1e-9)) + 1;
        if (count > mostTicks) return false;
        ticks.step = step;
        ticks.first = first;
        ticks.count = static_cast<int>(std::max(count, 0L));
        return true;
    };
    for (const double step : kSteps)
        if (fit(step)) return ticks;
    for (double days = 0.5;; days *= 2)
        if (fit(std::max(1.0, std::round(days)) * 86400)) return ticks;
}

std::string ElapsedText(double seconds) {
    const long total = std::lround(seconds);
    const long sign = total < 0 ? -1 : 1;
    const long whole = total * sign;
    char text[48];
    if (whole < 3600) {
        std::snprintf(text, sizeof text, "%s%ld:%02ld", sign < 0 ? "-" : "", whole / 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%s%ld:%02ld:%02ld", sign < 0 ? "-" : "", whole / 3600,
                      whole / 60 % 60, whole % 60);
    }
    return text;
}

}  // namespace rv
