#include "channel/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "config/device_float.h"
#include "link/link.h"
#include "link/status.h"

namespace {

using rv::FilteredMean;
using rv::FilteredValue;

struct SeriesCase {
    std::string name;
    std::vector<long double> values;
    long double mean;
    bool quiet;
};

class FilteredMeanSeries : public ::testing::TestWithParam<SeriesCase> {};

TEST_P(FilteredMeanSeries, GivesMeanAndFlag) {
    const SeriesCase& c = GetParam();
    const FilteredValue got = FilteredMean(c.values, rv::kCalibrationRejected);
    EXPECT_EQ(got.mean, c.mean);
    EXPECT_EQ(got.quiet, c.quiet);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedSeries, FilteredMeanSeries,
    ::testing::Values(
        // Spread 2: no value is removed, mean 100.67.
        SeriesCase{"SpreadTwoUnfiltered", {100, 101, 100, 102, 101, 100}, 101, true},
        // 13 goes first, then the first 10 of five equal ones.
        SeriesCase{"SpreadThreeFiltered", {10, 10, 10, 10, 10, 13}, 10, true},
        // Left with 104, 104, 100, 104: mean 103, spread 4 too noisy.
        SeriesCase{"NoisyResultKept", {100, 104, 100, 104, 100, 104}, 103, false},
        SeriesCase{"NegativeHalfTowardZero", {-5, -6, -5, -6, -5, -6}, -5, true},
        SeriesCase{"HalfRoundsDown", {12, 13}, 12, true},
        SeriesCase{"TwoThirdsRoundsUp", {12, 13, 13}, 13, true},
        SeriesCase{"NegativeTwoThirdsRoundsAway", {-12, -13, -13}, -13, true},
        SeriesCase{"ExactlySixTenthsRoundsUp", {12, 13, 13, 13, 12}, 13, true},
        SeriesCase{"NegativeExactlySixTenthsRoundsAway", {-12, -13, -13, -13, -12}, -13, true},
        SeriesCase{"JustBelowSixTenthsRoundsDown", {12.5L, 12.69921875L}, 12, true},
        SeriesCase{"SumZero", {-1, 1, 0, 0, 1, -1}, 0, true},
        // Spread 2.5 is filtered: 12 and then 11 go, leaving 10, 10, 9.5, 10.
        SeriesCase{"FractionalSpreadFiltered", {10, 12, 10, 9.5L, 10, 11}, 10, true},
        // All six equally far from 25: the first 50 goes, then the first 50 of the rest
        // (30 from 20), leaving 0, 0, 50, 0 with mean 12.5.
        SeriesCase{"EqualDistancesRemoveTheFirst", {50, 0, 50, 0, 50, 0}, 12, false},
        SeriesCase{"AllEqual", {7, 7, 7, 7, 7, 7}, 7, true}),
    [](const ::testing::TestParamInfo<SeriesCase>& info) { return info.param.name; });

// The steps read once more, as plainly as they are written: the mean of those left, the
// farthest value by |M - v|, the first of equal ones, trunc(S / n +- 0.4).
FilteredValue directReading(std::vector<long double> v, int k) {
    auto sum = [](const std::vector<long double>& s) {
        long double total = 0;
        for (long double x : s) total += x;
        return total;
    };
    auto spread = [](const std::vector<long double>& s) {
        long double lo = s[0];
        long double hi = s[0];
        for (long double x : s) {
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        return hi - lo;
    };
    auto round = [](long double s, int n) {
        return s >= 0 ? std::trunc(s / n + 0.4L) : std::trunc(s / n - 0.4L);
    };
    const int n = static_cast<int>(v.size());
    if (spread(v) <= 2.0L) return {round(sum(v), n), true};
    for (int r = 0; r < k; ++r) {
        const int m = n - r;
        const long double mean = sum(v) / m;
        int j = 0;
        for (int i = 1; i < m; ++i)
            if (std::fabs(mean - v[i]) > std::fabs(mean - v[j])) j = i;
        v.erase(v.begin() + j);
    }
    return {round(sum(v), n - k), spread(v) <= 3.0L};
}

TEST(FilteredMeanRandom, AgreesWithDirectReadingOfTheSteps) {
    std::mt19937 generator(20240611);
    int filtered = 0;
    int noisy = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        // Narrow ranges make ties and spreads near the limits common.
        const int base = static_cast<int>(generator() % 2001) - 1000;
        const int width = 1 + static_cast<int>(generator() % 9);
        std::vector<long double> series;
        for (int i = 0; i < rv::kCalibrationReadings; ++i)
            series.push_back(base + static_cast<int>(generator() % (width + 1)));
        const FilteredValue want = directReading(series, rv::kCalibrationRejected);
        const FilteredValue got = FilteredMean(series, rv::kCalibrationRejected);
        ASSERT_EQ(got.mean, want.mean) << "trial " << trial;
        ASSERT_EQ(got.quiet, want.quiet) << "trial " << trial;
        if (width > 2) ++filtered;
        if (!want.quiet) ++noisy;
    }
    // The draw must have reached both the filtering and the noise branch many times.
    EXPECT_GT(filtered, 5000);
    EXPECT_GT(noisy, 1000);
}

TEST(CalibrationEntry, ReadsSignedOffsetsAndScaleAtTheirPlaces) {
    rv::BlockBuffer block{};
    // Entry 3 at offsets 29..36: A = -2, B = 300, C = 0.5.
    block[29] = 0xFE;
    block[30] = 0xFF;
    block[31] = 0x2C;
    block[32] = 0x01;
    const rv::DeviceFloat half = rv::ToDeviceFloat(rv::MakeWorkingReal(0.5L));
    std::copy(half.begin(), half.end(), block.begin() + 33);
    // Entry 4 at offsets 37..44: A = 12, B = -3, C = 0.01.
    block[37] = 12;
    block[39] = 0xFD;
    block[40] = 0xFF;
    const rv::DeviceFloat hundredth = rv::ToDeviceFloat(rv::MakeWorkingReal(0.01L));
    std::copy(hundredth.begin(), hundredth.end(), block.begin() + 41);

    const rv::CalibrationEntryValues e3 = rv::CalibrationEntryOf(block, 3);
    EXPECT_EQ(e3.a, -2);
    EXPECT_EQ(e3.b, 300);
    EXPECT_EQ(e3.c.toDouble(), 0.5);
    const rv::CalibrationEntryValues e4 = rv::CalibrationEntryOf(block, 4);
    EXPECT_EQ(e4.a, 12);
    EXPECT_EQ(e4.b, -3);
    EXPECT_NEAR(e4.c.toDouble(), 0.01, 1e-6);
}

TEST(MeasuredValues, R0SubtractsTheLineOnlyInTwoWire) {
    const rv::WorkingReal line = rv::MakeWorkingReal(1.25L);
    EXPECT_EQ(rv::MeasuredR0(101.5L, false, line).toDouble(), 101.5);
    EXPECT_EQ(rv::MeasuredR0(101.5L, true, line).toDouble(), 100.25);
    EXPECT_EQ(rv::MeasuredLineResistance(1.25L).toDouble(), 1.25);
}

// A channel or sub-range outside the instrument's is refused before the port is touched
// (the port named here does not exist, so an attempt to open it would leave status 5).
TEST(MeasureResistance, RefusesChannelsAndSubRangesItDoesNotHave) {
    const struct {
        int channel;
        int subRange;
    } rows[] = {{-1, 0}, {8, 0}, {0, -1}, {0, 2}};
    for (const auto& row : rows) {
        rv::Link link;
        link.Device = "/nonexistent/rv740x-port";
        const rv::MeasurementResult result =
            rv::MeasureResistance(link, row.channel, row.subRange, {});
        EXPECT_EQ(result.end, rv::MeasurementEnd::Failed) << row.channel << "/" << row.subRange;
        EXPECT_EQ(link.LinkStatus, rv::status::kRequestLimit);
    }
}

}  // namespace
