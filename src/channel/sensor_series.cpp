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

bool valueOf(const SensorPoint& p, SeriesValue which, double& value) {
    if (p.kind != PointKind::Reading) return false;
    value = which == SeriesValue::Resistance ? p.resistance : static_cast<double>(p.temperature);
    return std::isfinite(value);
}

}  // namespace

std::vector<std::pair<double, double>> Decimate(const SensorSeries& series, size_t first,
                                                size_t last, SeriesValue which, int buckets) {
    std::vector<std::pair<double, double>> out;
    last = std::min(last, series.size());
    if (first >= last || buckets <= 0) return out;
    double v = 0;
    if (last - first <= 2 * static_cast<size_t>(buckets)) {
        for (size_t i = first; i < last; ++i)
            if (valueOf(series[i], which, v)) out.emplace_back(series[i].seconds, v);
        return out;
    }

    const double start = series[first].seconds;
    const double width = (series[last - 1].seconds - start) / buckets;
    out.reserve(2 * static_cast<size_t>(buckets));
    size_t i = first;
    for (int b = 0; b < buckets && i < last; ++b) {
        const double end = b + 1 == buckets ? series[last - 1].seconds : start + width * (b + 1);
        bool any = false;
        std::pair<double, double> low;
        std::pair<double, double> high;
        for (; i < last && (series[i].seconds <= end || b + 1 == buckets); ++i) {
            if (!valueOf(series[i], which, v)) continue;
            if (!any || v < low.second) low = {series[i].seconds, v};
            if (!any || v > high.second) high = {series[i].seconds, v};
            any = true;
        }
        if (!any) continue;
        if (low.first == high.first) {
            out.push_back(low);
        } else if (low.first < high.first) {
            out.push_back(low);
            out.push_back(high);
        } else {
            out.push_back(high);
            out.push_back(low);
        }
    }
    return out;
}

}  // namespace rv
