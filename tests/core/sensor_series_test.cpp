#include "channel/sensor_series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "channel/fixed_text.h"
#include "channel/sensor_statistics.h"
#include "channel/settled_value.h"

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

// Random runs against a plain reference that walks every point: each column holds the first,
// lowest, highest and last reading whose time falls in it, marks are flagged, readings without
// a temperature leave the temperature alone, and points outside the shown time are left out.
// The extremes of the shown readings are kept exactly.
TEST(PlotColumns, MatchAPlainWalkOverEveryPoint) {
    std::mt19937 random(2718);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int run = 0; run < 60; ++run) {
        SensorSeries series;
        double t = 0;
        const int points = 1 + static_cast<int>(unit(random) * 6000);
        for (int i = 0; i < points; ++i) {
            t += unit(random) < 0.05 ? 3 * unit(random) : 0.05 * unit(random);
            if (unit(random) < 0.03) {
                series.add(
                    markAt(t, unit(random) < 0.5 ? PointKind::Lost : PointKind::InstrumentError));
                continue;
            }
            const double ohms = 100 + 20 * unit(random) - (unit(random) < 0.01 ? 60 : 0);
            SensorPoint p = reading(t, ohms, (ohms - 100) / 0.385);
            if (run % 3 == 0) p.temperature = std::numeric_limits<float>::quiet_NaN();
            series.add(p);
        }
        // Shown times that start before the run, in it, and end inside or after it; now and
        // then exactly on a point at either end.
        double from = kStart + t * (unit(random) * 1.2 - 0.2);
        double to = from + std::max(t * unit(random) * 1.3, 0.01);
        if (run % 4 == 1 && series.size() > 4) {
            from = series[series.size() / 4].seconds;
            to = series[series.size() * 3 / 4].seconds;
        }
        const int columns = std::vector<int>{1, 7, 333, 640, 20000}[static_cast<size_t>(run % 5)];

        rv::PlotColumns got;
        rv::FillPlotColumns(series, from, to, columns, got);
        ASSERT_EQ(got.count(), columns);

        std::vector<uint8_t> held(static_cast<size_t>(columns), 0);
        std::vector<rv::ColumnValues> r(held.size());
        std::vector<rv::ColumnValues> c(held.size());
        double highest = -1e300;
        double lowest = 1e300;
        const auto put = [](rv::ColumnValues& column, bool fresh, double v) {
            if (fresh) column.first = column.low = column.high = v;
            column.low = std::min(column.low, v);
            column.high = std::max(column.high, v);
            column.last = v;
        };
        for (size_t i = 0; i < series.size(); ++i) {
            const SensorPoint& p = series[i];
            if (p.seconds < from || p.seconds > to) continue;
            const auto at = static_cast<size_t>(std::min<long>(
                static_cast<long>((p.seconds - from) * (columns / (to - from))), columns - 1));
            if (p.kind != PointKind::Reading) {
                held[at] |= rv::PlotColumns::kMark;
                continue;
            }
            put(r[at], (held[at] & rv::PlotColumns::kResistance) == 0, p.resistance);
            held[at] |= rv::PlotColumns::kResistance;
            highest = std::max(highest, p.resistance);
            lowest = std::min(lowest, p.resistance);
            if (!std::isnan(p.temperature)) {
                put(c[at], (held[at] & rv::PlotColumns::kTemperature) == 0, p.temperature);
                held[at] |= rv::PlotColumns::kTemperature;
            }
        }
        double drawnHighest = -1e300;
        double drawnLowest = 1e300;
        for (size_t i = 0; i < held.size(); ++i) {
            ASSERT_EQ(got.held[i], held[i]) << "run " << run << ", column " << i;
            if (held[i] & rv::PlotColumns::kResistance) {
                EXPECT_EQ(got.resistance[i].first, r[i].first);
                EXPECT_EQ(got.resistance[i].low, r[i].low);
                EXPECT_EQ(got.resistance[i].high, r[i].high);
                EXPECT_EQ(got.resistance[i].last, r[i].last);
                drawnHighest = std::max(drawnHighest, got.resistance[i].high);
                drawnLowest = std::min(drawnLowest, got.resistance[i].low);
            }
            if (held[i] & rv::PlotColumns::kTemperature) {
                EXPECT_EQ(got.temperature[i].first, c[i].first);
                EXPECT_EQ(got.temperature[i].low, c[i].low);
                EXPECT_EQ(got.temperature[i].high, c[i].high);
                EXPECT_EQ(got.temperature[i].last, c[i].last);
            }
        }
        EXPECT_EQ(drawnHighest, highest) << "run " << run;
        EXPECT_EQ(drawnLowest, lowest) << "run " << run;
    }
}

// The sensor: a Pt100 settling from 109.73 Ω to 100 Ω in a straight line over 60 s,
// then holding 100 Ω with a wobble of ±0.002 Ω, twenty readings a second; 5 minutes shown.
// By hand, at 90 s (the first moment the last 30 s hold no point of the ramp): the whole span
// is 1201 ramp readings averaging 104.865 Ω and 600 at 100 Ω, a mean of 103.244234 Ω; the
// window is the reading at 60 s and the 600 after it, whose wobbles cancel: 100 Ω exactly.
// At 75 s the window from 45 s holds 301 ramp readings averaging 101.21625 Ω and 300 at
// 100 Ω: 100.609137 Ω, and the sensor has not settled.
TEST(SettledValue, IsTheStabilityWindowsMeanNotTheSpans) {
    const auto settling = [](int upTo) {
        SensorSeries series;
        for (int i = 0; i <= upTo; ++i) {
            const double t = 0.05 * i;
            const double ohms = i <= 1200 ? 109.73 - 9.73 * t / 60 : (i % 2 ? -0.002 : 0.002) + 100;
            series.add(reading(t, ohms, (ohms - 100) / 0.385));
        }
        return series;
    };
    const rv::StabilityLimits limits;  // 0.05 °C/min, 0.05 °C, 30 s

    const SensorSeries at90 = settling(1800);
    const rv::SettledValue settled = rv::SettledValueOf(at90, limits);
    EXPECT_EQ(settled.grounds, rv::SettledValue::Grounds::Settled);
    EXPECT_EQ(settled.count, 601u);
    EXPECT_NEAR(settled.resistance, 100.0, 1e-9);
    EXPECT_NEAR(settled.judgement.window.fromSeconds, kStart + 60, 1e-6);
    EXPECT_NEAR(settled.judgement.window.toSeconds, kStart + 90, 1e-6);
    ASSERT_TRUE(settled.judgement.statistics.temperature.has_value());
    EXPECT_NEAR(settled.judgement.statistics.temperature->deviation, 0.002 / 0.385, 1e-6);
    EXPECT_NEAR(rv::StatisticsOf(at90, 0, at90.size()).resistance.mean, 103.244234, 1e-6);

    const rv::SettledValue early = rv::SettledValueOf(settling(1500), limits);
    EXPECT_EQ(early.grounds, rv::SettledValue::Grounds::NotSettled);
    EXPECT_EQ(early.count, 601u);
    EXPECT_NEAR(early.resistance, 100.609137, 1e-6);

    // A window of 10 s set by the user: at 75 s it holds only the hold at 100 Ω.
    rv::StabilityLimits shortHold = limits;
    shortHold.holdSeconds = 10;
    const rv::SettledValue shortWindow = rv::SettledValueOf(settling(1500), shortHold);
    EXPECT_EQ(shortWindow.grounds, rv::SettledValue::Grounds::Settled);
    EXPECT_EQ(shortWindow.count, 201u);
    EXPECT_NEAR(shortWindow.resistance, 100.0, 1e-4);

    EXPECT_EQ(rv::SettledValueOf(SensorSeries(), limits).grounds,
              rv::SettledValue::Grounds::Nothing);
}

// Readings are written without a minus on a value that rounds to zero.
TEST(FixedText, NoNegativeZero) {
    struct Case {
        double value;
        int decimals;
        bool plus;
        const char* text;
    };
    const Case cases[] = {
        {-0.00001, 4, false, "0.0000"}, {-0.0004, 3, false, "0.000"},
        {-0.4, 0, false, "0"},          {-0.6, 0, false, "-1"},
        {-0.0, 2, false, "0.00"},       {0.0, 3, true, "0.000"},
        {-0.0004, 3, true, "0.000"},    {0.0186, 3, true, "+0.019"},
        {-18.5, 1, true, "-18.5"},      {100.33868, 5, false, "100.33868"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rv::FixedText(c.value, c.decimals, c.plus), c.text) << c.value;
}

}  // namespace
