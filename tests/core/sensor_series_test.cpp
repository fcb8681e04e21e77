#include "channel/sensor_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "channel/sensor_statistics.h"

namespace {

using rv::PointKind;
using rv::SensorPoint;
using rv::SensorSeries;

constexpr double kStart = 1.8e9;  // seconds since 1970, as the system clock gives them

SensorPoint reading(double seconds, double ohms, double celsius) {
    SensorPoint p;
    p.seconds = kStart + seconds;
    p.resistance = ohms;
    p.temperature = static_cast<float>(celsius);
    return p;
}

SensorPoint markAt(double seconds, PointKind kind) {
    SensorPoint p;
    p.seconds = kStart + seconds;
    p.kind = kind;
    return p;
}

// A line of 0.6 °C per minute with a wobble of +0.1, -0.1, -0.1, +0.1 on it, one reading a
// second for two minutes, and two marks. By hand: each group of four wobbles sums to zero and
// is balanced about its own middle, so the mean is the line's, 20 + 0.01 * 59.5, and the
// least-squares slope is the line's exactly. The sample variance is the line's,
// 0.0001 * 120 * 121 / 12 = 0.121, plus 120 * 0.01 / 119 from the wobble.
TEST(SpanStatistics, MeanSpreadDriftAndExtremesOfAKnownSeries) {
    SensorSeries series;
    for (int i = 0; i < 120; ++i) {
        const double wobble = i % 4 == 0 || i % 4 == 3 ? 0.1 : -0.1;
        const double t = 20 + 0.01 * i + wobble;
        series.add(reading(i, 107.79 + 0.0039 * (t - 20), t));
        if (i == 30) series.add(markAt(i + 0.5, PointKind::Lost));
        if (i == 70) series.add(markAt(i + 0.5, PointKind::InstrumentError));
    }
    const rv::SpanStatistics s = rv::StatisticsOf(series, 0, series.size());
    EXPECT_EQ(s.count, 120u);
    EXPECT_EQ(s.marks, 2u);
    ASSERT_TRUE(s.temperature.has_value());
    EXPECT_NEAR(s.temperature->mean, 20.595, 1e-5);
    EXPECT_NEAR(s.temperature->minimum, 19.91, 1e-5);  // i = 1
    EXPECT_NEAR(s.temperature->maximum, 21.29, 1e-5);  // i = 119
    EXPECT_NEAR(s.temperature->deviation, std::sqrt(0.121 + 1.2 / 119), 1e-5);
    EXPECT_NEAR(s.temperature->driftPerMinute, 0.6, 1e-5);
    EXPECT_NEAR(s.resistance.driftPerMinute, 0.0039 * 0.6, 1e-8);
    EXPECT_NEAR(s.resistance.mean, 107.79 + 0.0039 * 0.595, 1e-8);
}

// A sensor cooling from 25 °C to 0 °C over the first minute, then holding 0 °C with a wobble
// of ±0.01 °C, one reading a second. With the default limits (0.05 °C/min, 0.05 °C, 30 s) it is
// stable from the moment the last 30 s hold no point of the ramp: at 90 s, not at 89 s.
TEST(IsStable, OnlyWhenTheLastThirtySecondsStayedWithinTheLimits) {
    const rv::StabilityLimits limits;
    SensorSeries series;
    std::vector<bool> stableAt;
    for (int i = 0; i <= 120; ++i) {
        const double t = i < 60 ? 25.0 * (1 - i / 60.0) : (i % 2 == 0 ? 0.01 : -0.01);
        series.add(reading(i, 100 + 0.39 * t, t));
        stableAt.push_back(rv::IsStable(series, limits));
    }
    EXPECT_FALSE(stableAt[20]);  // a run shorter than the hold, and cooling
    EXPECT_FALSE(stableAt[75]);
    EXPECT_FALSE(stableAt[89]);  // 0.42 °C at 59 s is still in the last 30 s
    EXPECT_TRUE(stableAt[90]);
    EXPECT_TRUE(stableAt[120]);

    // The same hold with a spread over the limit, or a slow drift of 0.1 °C/min, is not.
    SensorSeries noisy;
    SensorSeries drifting;
    for (int i = 0; i <= 40; ++i) {
        const double wobble = i % 2 == 0 ? 0.08 : -0.08;
        noisy.add(reading(i, 100 + 0.39 * wobble, wobble));
        drifting.add(reading(i, 100, 0.1 * i / 60.0));
    }
    EXPECT_FALSE(rv::IsStable(noisy, limits));
    EXPECT_FALSE(rv::IsStable(drifting, limits));
    rv::StabilityLimits loose = limits;
    loose.drift = 0.2;
    EXPECT_TRUE(rv::IsStable(drifting, loose));
}

TEST(SensorSeries, KeepsTheNewestPointsUpToItsCapacity) {
    SensorSeries series(5);
    for (int i = 0; i < 7; ++i) series.add(reading(i, 100 + i, 0));
    ASSERT_EQ(series.size(), 5u);
    EXPECT_EQ(series[0].resistance, 102);
    EXPECT_EQ(series.back().resistance, 106);
    EXPECT_EQ(series.firstAtOrAfter(kStart + 3.5), 2u);
    EXPECT_EQ(rv::kDayOfPoints, 4'320'000u);
}

// 10 000 readings drawn in 500 buckets keep at most 1000 points, and a one-reading spike and
// dip both survive.
TEST(Decimate, KeepsEachBucketsExtremesInTimeOrder) {
    SensorSeries series;
    for (int i = 0; i < 10000; ++i) {
        double r = 100 + 0.001 * (i % 7);
        if (i == 4321) r = 130;
        if (i == 8765) r = 70;
        series.add(reading(i * 0.05, r, 0));
    }
    series.add(markAt(500.5, PointKind::Lost));
    const auto drawn = rv::Decimate(series, 0, series.size(), rv::SeriesValue::Resistance, 500);
    EXPECT_LE(drawn.size(), 1000u);
    EXPECT_GE(drawn.size(), 900u);
    double highest = 0;
    double lowest = 1000;
    for (size_t i = 1; i < drawn.size(); ++i) EXPECT_LE(drawn[i - 1].first, drawn[i].first);
    for (const auto& [t, r] : drawn) {
        highest = std::max(highest, r);
        lowest = std::min(lowest, r);
    }
    EXPECT_EQ(highest, 130);
    EXPECT_EQ(lowest, 70);
    // A short span is drawn as it is.
    EXPECT_EQ(rv::Decimate(series, 0, 40, rv::SeriesValue::Resistance, 500).size(), 40u);
}

}  // namespace
