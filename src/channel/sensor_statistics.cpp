#include "channel/sensor_statistics.h"

#include <algorithm>
#include <cmath>

namespace rv {

namespace {

// Sums taken about the first value and time, so that no digit is lost to large offsets
// (times are seconds since 1970).
class Accumulator {
  public:
    void add(double t, double y) {
        if (n_ == 0) {
            t0_ = t;
            y0_ = y;
            minimum_ = maximum_ = y;
        }
        const double x = t - t0_;
        const double v = y - y0_;
        ++n_;
        sx_ += x;
        sy_ += v;
        sxx_ += x * x;
        sxy_ += x * v;
        syy_ += v * v;
        minimum_ = std::min(minimum_, y);
        maximum_ = std::max(maximum_, y);
    }

    size_t count() const { return n_; }

    QuantityStatistics result() const {
        QuantityStatistics q;
        if (n_ == 0) return q;
        const double n = static_cast<double>(n_);
        q.mean = y0_ + sy_ / n;
        q.minimum = minimum_;
        q.maximum = maximum_;
        if (n_ > 1) {
            const double variance = (syy_ - sy_ * sy_ / n) / (n - 1);
            q.deviation = std::sqrt(std::max(0.0, variance));
            const double sxxCentred = sxx_ - sx_ * sx_ / n;
            if (sxxCentred > 0) q.driftPerMinute = (sxy_ - sx_ * sy_ / n) / sxxCentred * 60;
        }
        return q;
    }

  private:
    size_t n_ = 0;
    double t0_ = 0;
    double y0_ = 0;
    double sx_ = 0;
    double sy_ = 0;
    double sxx_ = 0;
    double sxy_ = 0;
    double syy_ = 0;
    double minimum_ = 0;
    double maximum_ = 0;
};

}  // namespace

SpanStatistics StatisticsOf(const SensorSeries& series, size_t first, size_t last) {
    last = std::min(last, series.size());
    Accumulator resistance;
    Accumulator temperature;
    SpanStatistics s;
    for (size_t i = first; i < last; ++i) {
        const SensorPoint& p = series[i];
        if (p.kind != PointKind::Reading) {
            ++s.marks;
            continue;
        }
        resistance.add(p.seconds, p.resistance);
        if (p.hasTemperature()) temperature.add(p.seconds, p.temperature);
    }
    s.count = resistance.count();
    s.resistance = resistance.result();
    if (temperature.count() > 0) s.temperature = temperature.result();
    return s;
}

StabilityWindow StabilityWindowOf(const SensorSeries& series, double holdSeconds) {
    StabilityWindow w;
    if (series.empty()) return w;
    w.toSeconds = series.back().seconds;
    w.fromSeconds = w.toSeconds - holdSeconds;
    w.whole = series[0].seconds <= w.fromSeconds;
    w.first = series.firstAtOrAfter(w.fromSeconds);
    w.last = series.size();
    // A run shorter than the hold: the window is all of it, from its first point.
    if (!w.whole) w.fromSeconds = series[0].seconds;
    return w;
}

StabilityJudgement JudgeStability(const SensorSeries& series, const StabilityLimits& limits) {
    StabilityJudgement j;
    j.window = StabilityWindowOf(series, limits.holdSeconds);
    j.statistics = StatisticsOf(series, j.window.first, j.window.last);
    const SpanStatistics& s = j.statistics;
    const QuantityStatistics& q = s.temperature ? *s.temperature : s.resistance;
    j.stable = j.window.whole && s.count >= 2 && std::fabs(q.driftPerMinute) <= limits.drift &&
               q.deviation <= limits.spread;
    return j;
}

bool IsStable(const SensorSeries& series, const StabilityLimits& limits) {
    return JudgeStability(series, limits).stable;
}

}  // namespace rv
