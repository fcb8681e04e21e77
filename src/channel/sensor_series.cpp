#include "channel/sensor_series.h"

#include <algorithm>
#include <cmath>

namespace rv {

void SensorSeries::add(const SensorPoint& point) {
    if (capacity_ == 0) return;
    if (points_.size() == capacity_) points_.pop_front();
    points_.push_back(point);
}

size_t SensorSeries::firstAtOrAfter(double seconds) const {
    const auto at = std::lower_bound(points_.begin(), points_.end(), seconds,
                                     [](const SensorPoint& p, double s) { return p.seconds < s; });
    return static_cast<size_t>(at - points_.begin());
}

namespace {

void take(ColumnValues& column, bool first, double value) {
    if (first) {
        column = {value, value, value, value};
        return;
    }
    if (value < column.low) column.low = value;
    if (value > column.high) column.high = value;
    column.last = value;
}

}  // namespace

void FillPlotColumns(const SensorSeries& series, double from, double to, int columns,
                     PlotColumns& out) {
    const auto n = static_cast<size_t>(std::max(columns, 0));
    out.held.assign(n, 0);
    out.resistance.resize(n);
    out.temperature.resize(n);
    if (n == 0 || !(to > from)) return;
    const double perSecond = static_cast<double>(n) / (to - from);
    const auto last = static_cast<long>(n) - 1;
    const auto start = series.begin() + static_cast<long>(series.firstAtOrAfter(from));
    for (auto p = start; p != series.end() && p->seconds <= to; ++p) {
        const auto c =
            static_cast<size_t>(std::min(static_cast<long>((p->seconds - from) * perSecond), last));
        uint8_t& held = out.held[c];
        if (p->kind != PointKind::Reading) {
            held |= PlotColumns::kMark;
            continue;
        }
        if (std::isfinite(p->resistance)) {
            take(out.resistance[c], (held & PlotColumns::kResistance) == 0, p->resistance);
            held |= PlotColumns::kResistance;
        }
        if (std::isfinite(p->temperature)) {
            take(out.temperature[c], (held & PlotColumns::kTemperature) == 0,
                 static_cast<double>(p->temperature));
            held |= PlotColumns::kTemperature;
        }
    }
}

}  // namespace rv
