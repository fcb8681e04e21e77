#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

namespace rv {

// What one answer of a watched sensor gave.
enum class PointKind : uint8_t {
    Reading,          // a resistance, and a temperature when the sensor type has one
    InstrumentError,  // the instrument answered with an error number
    Lost,             // the answer was spoilt on the line (noise)
};

// One point of a watched sensor. Marks (errors, lost answers) carry no values.
struct SensorPoint {
    double seconds = 0;  // system time, seconds since 1970-01-01 UTC
    double resistance = std::numeric_limits<double>::quiet_NaN();  // ohms as measured
    float temperature = std::numeric_limits<float>::quiet_NaN();   // °C, NaN when none
    PointKind kind = PointKind::Reading;

    bool hasTemperature() const { return kind == PointKind::Reading && !std::isnan(temperature); }
};

// The most answers per second the instruments give: the measuring request and its answer
// take some 40 characters on the line, 21 ms at 19200 baud.
inline constexpr double kFastestPointsPerSecond = 50;
// A day of points at that rate.
inline constexpr size_t kDayOfPoints = static_cast<size_t>(24 * 3600 * kFastestPointsPerSecond);

// The points of one run, oldest first, in time order. Holds at most `capacity` points; past
// that each new point pushes out the oldest. Memory grows with the points actually held.
class SensorSeries {
  public:
    explicit SensorSeries(size_t capacity = kDayOfPoints) : capacity_(capacity) {}

    void add(const SensorPoint& point);
    void clear() { points_.clear(); }

    size_t size() const { return points_.size(); }
    bool empty() const { return points_.empty(); }
    size_t capacity() const { return capacity_; }
    const SensorPoint& operator[](size_t i) const { return points_[i]; }
    const SensorPoint& back() const { return points_.back(); }

    // The index of the first point at or after `seconds`.
    size_t firstAtOrAfter(double seconds) const;

  private:
    size_t capacity_;
    std::deque<SensorPoint> points_;
};

enum class SeriesValue { Resistance, Temperature };

// The readings of points [first, last) thinned for drawing: the span is cut into `buckets`
// equal stretches of time and each gives its lowest and highest value, in time order, so
// that spikes stay visible. Fewer readings than two per bucket are returned as they are.
// Each pair is (seconds, value); marks and readings without that value are skipped.
std::vector<std::pair<double, double>> Decimate(const SensorSeries& series, size_t first,
                                                size_t last, SeriesValue which, int buckets);

}  // namespace rv
