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
    std::deque<SensorPoint>::const_iterator begin() const { return points_.begin(); }
    std::deque<SensorPoint>::const_iterator end() const { return points_.end(); }

    // The index of the first point at or after `seconds`.
    size_t firstAtOrAfter(double seconds) const;

  private:
    size_t capacity_;
    std::deque<SensorPoint> points_;
};

// The points of a line at one pixel column of a plot: the first, lowest, highest and last
// value of the readings whose time falls in the column. A stroke through first, low, high and
// last at each column, joined column to column, is what drawing every reading would give at
// that width, so a plot costs the same whatever the number of points.
struct ColumnValues {
    double first = 0;
    double low = 0;
    double high = 0;
    double last = 0;
};

// The pixel columns of a plot of the time from `from` to `to` (seconds, as the points'):
// column c holds the points with from + c * w <= time < from + (c + 1) * w, w the column's
// width in time; a point at `to` belongs to the last column, points outside are left out.
struct PlotColumns {
    // What a column holds, in `held`.
    static constexpr uint8_t kResistance = 1;
    static constexpr uint8_t kTemperature = 2;
    static constexpr uint8_t kMark = 4;  // an instrument error or a lost answer

    std::vector<uint8_t> held;
    std::vector<ColumnValues> resistance;   // where held has kResistance
    std::vector<ColumnValues> temperature;  // where held has kTemperature

    int count() const { return static_cast<int>(held.size()); }
};

// Fills `out` with `columns` columns (its storage is reused from call to call).
void FillPlotColumns(const SensorSeries& series, double from, double to, int columns,
                     PlotColumns& out);
}  // namespace rv
