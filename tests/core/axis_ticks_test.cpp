#include "channel/axis_ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "channel/fixed_text.h"

namespace {

// The mantissa of a step, 1 to under 10.
double mantissaOf(double step) {
    return step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
}

// Every range from a thousandth to ten thousand, at several places on the number line and with
// several tick budgets, gets ticks a reader can take in: round steps (1, 2 or 5 × 10^n), every
// tick a whole number of steps, the data between the first and last tick, no more ticks than
// allowed but no finer step than needed, and labels that write each tick exactly and tell
// neighbours apart.
TEST(RoundTicks, RoundStepsForRangesFromAThousandthToTenThousand) {
    const double widths[] = {0.001, 0.0017, 0.004, 0.03, 0.25, 1,    2.821,
                             3.7,   14.49,  99.5,  640,  2500, 10000};
    const double offsets[] = {0, -273.15, 99.222, 1000, -0.0005};
    for (const double width : widths) {
        for (const double offset : offsets) {
            for (const int most : {3, 5, 8, 12}) {
                const double low = offset;
                const double high = offset + width;
                const rv::ValueTicks ticks = rv::RoundTicks(low, high, most);
                const std::string at = "range " + std::to_string(low) + ".." +
                                       std::to_string(high) + ", at most " + std::to_string(most);
                const double m = mantissaOf(ticks.step);
                EXPECT_TRUE(std::fabs(m - 1) < 1e-9 || std::fabs(m - 2) < 1e-9 ||
                            std::fabs(m - 5) < 1e-9)
                    << at << ": step " << ticks.step;
                EXPECT_GE(ticks.count, 2) << at;
                EXPECT_LE(ticks.count, most) << at;
                EXPECT_LE(ticks.low(), low + ticks.step * 1e-9) << at;
                EXPECT_GE(ticks.high(), high - ticks.step * 1e-9) << at;
                // The next finer round step would need more ticks than allowed.
                const double finer = ticks.step / (std::fabs(m - 5) < 1e-9 ? 2.5 : 2);
                const double finerCount =
                    std::ceil(high / finer - 1e-9) - std::floor(low / finer + 1e-9) + 1;
                EXPECT_GT(finerCount, most) << at << ": step " << ticks.step;
                std::string previous;
                for (int i = 0; i < ticks.count; ++i) {
                    const double tick = ticks.at(i);
                    const double steps = tick / ticks.step;
                    EXPECT_NEAR(steps, std::round(steps), 1e-6) << at << ": tick " << tick;
                    const std::string label = rv::FixedText(tick, ticks.decimals);
                    EXPECT_NEAR(std::stod(label), tick, ticks.step * 1e-6) << at << ": " << label;
                    EXPECT_NE(label, previous) << at;
                    previous = label;
                }
            }
        }
    }
}

// The ranges the issue's plot labelled 99.222, 102.043 and -2.00, 5.25, 12.49, by hand.
TEST(RoundTicks, TheIssuesRangesByHand) {
    struct Case {
        double low, high;
        int most;
        double leastWidth;
        double step, first, last;
        int decimals;
    };
    const Case cases[] = {
        {99.222, 102.043, 8, 0.02, 0.5, 99.0, 102.5, 1},
        {-2.00, 12.49, 8, 0.05, 5, -5, 15, 0},
        {99.9995, 100.0003, 6, 0, 0.0002, 99.9994, 100.0004, 4},
        // A flat line of 100 Ω widened to the least width of 0.02 Ω: 99.99..100.01.
        {100, 100, 6, 0.02, 0.005, 99.99, 100.01, 3},
    };
    for (const Case& c : cases) {
        const rv::ValueTicks ticks = rv::RoundTicks(c.low, c.high, c.most, c.leastWidth);
        EXPECT_DOUBLE_EQ(ticks.step, c.step) << c.low;
        EXPECT_DOUBLE_EQ(ticks.low(), c.first) << c.low;
        EXPECT_DOUBLE_EQ(ticks.high(), c.last) << c.low;
        EXPECT_EQ(ticks.decimals, c.decimals) << c.low;
    }
}

// Time ticks at steps a clock reader knows, counted from the run's start.
TEST(RoundTimeTicks, ClockStepsByHand) {
    struct Case {
        double from, to;
        int most;
        double step, first;
        int count;
    };
    const Case cases[] = {
        {0, 60, 7, 10, 0, 7},        // a minute: every 10 s
        {0, 300, 7, 60, 0, 6},       // 5 minutes: every minute (30 s would make 11)
        {0, 1800, 7, 300, 0, 7},     // 30 minutes: every 5 minutes
        {125, 425, 7, 60, 180, 5},   // 5 minutes scrolled: 3:00 to 7:00
        {0, 86400, 7, 21600, 0, 5},  // a day: every 6 hours
        {0, 12, 20, 1, 0, 13},       // 12 s with room for 20: every second
    };
    for (const Case& c : cases) {
        const rv::TimeTicks ticks = rv::RoundTimeTicks(c.from, c.to, c.most);
        EXPECT_EQ(ticks.step, c.step) << c.from << ".." << c.to;
        EXPECT_EQ(ticks.first, c.first) << c.from << ".." << c.to;
        EXPECT_EQ(ticks.count, c.count) << c.from << ".." << c.to;
    }
    const std::pair<double, const char*> labels[] = {
        {0, "0:00"}, {59.6, "1:00"}, {125, "2:05"}, {3600, "1:00:00"}, {86399, "23:59:59"}};
    for (const auto& [seconds, text] : labels) EXPECT_EQ(rv::ElapsedText(seconds), text);
}

}  // namespace
