#include "channel/characteristic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using rv::Characteristic;

struct TablePoint {
    std::string sensor;
    Characteristic characteristic;
    double r0;
    double celsius;
    double ohms;  // as published, to 0.01 ohm
};

// Values of the published resistance tables (IEC 60751 for Pt100; the Russian national
// tables for the copper and the W = 1.391 platinum sensors).
const TablePoint kTable[] = {
    {"Pt100", Characteristic::Platinum1385, 100, -200, 18.52},
    {"Pt100", Characteristic::Platinum1385, 100, -100, 60.26},
    {"Pt100", Characteristic::Platinum1385, 100, -50, 80.31},
    {"Pt100", Characteristic::Platinum1385, 100, 0, 100.00},
    {"Pt100", Characteristic::Platinum1385, 100, 100, 138.51},
    {"Pt100", Characteristic::Platinum1385, 100, 200, 175.86},
    {"Pt100", Characteristic::Platinum1385, 100, 300, 212.05},
    {"Pt100", Characteristic::Platinum1385, 100, 400, 247.09},
    {"Pt100", Characteristic::Platinum1385, 100, 500, 280.98},
    {"Pt100", Characteristic::Platinum1385, 100, 600, 313.71},
    {"Pt100", Characteristic::Platinum1385, 100, 850, 390.48},
    {"100P", Characteristic::Platinum1391, 100, 100, 139.11},
    {"50P", Characteristic::Platinum1391, 50, 100, 69.55},
    {"50M", Characteristic::Copper1428, 50, 100, 71.40},
    {"100M", Characteristic::Copper1428, 100, 150, 164.20},
    {"100M", Characteristic::Copper1426, 100, 100, 142.60},
    {"50M", Characteristic::Copper1426, 50, -50, 39.35},
};

TEST(Characteristic, MatchesThePublishedTables) {
    for (const TablePoint& p : kTable) {
        SCOPED_TRACE(p.sensor + " at " + std::to_string(p.celsius) + " °C");
        const double r = rv::ResistanceAt(p.characteristic, p.r0, p.celsius);
        EXPECT_NEAR(r, p.ohms, 0.005);
        // The table's own rounding of 0.005 ohm is at most 0.02 °C on any of these slopes.
        const auto t = rv::TemperatureOf(p.characteristic, p.r0, p.ohms);
        ASSERT_TRUE(t.has_value());
        EXPECT_NEAR(*t, p.celsius, 0.02);
    }
}

// The inversion gives back every temperature of each characteristic's range, on both sides of
// 0 °C, to better than 0.001 °C.
TEST(Characteristic, InversionIsExactOverTheWholeRange) {
    struct Range {
        Characteristic characteristic;
        double lowest;
        double highest;
    };
    const Range ranges[] = {{Characteristic::Platinum1385, -200, 850},
                            {Characteristic::Platinum1391, -200, 850},
                            {Characteristic::Copper1428, -180, 200},
                            {Characteristic::Copper1426, -50, 200}};
    for (const Range& range : ranges) {
        double worst = 0;
        for (double t = range.lowest; t <= range.highest; t += 0.173) {
            const auto back = rv::TemperatureOf(range.characteristic, 50,
                                                rv::ResistanceAt(range.characteristic, 50, t));
            ASSERT_TRUE(back.has_value()) << t;
            worst = std::max(worst, std::fabs(*back - t));
        }
        EXPECT_LT(worst, 1e-4) << static_cast<int>(range.characteristic);
    }
}

TEST(Characteristic, RefusesWhatNoSensorGives) {
    EXPECT_FALSE(rv::TemperatureOf(Characteristic::Platinum1385, 0, 100).has_value());
    EXPECT_FALSE(rv::TemperatureOf(Characteristic::Platinum1385, 100, 0).has_value());
    EXPECT_FALSE(rv::TemperatureOf(Characteristic::Platinum1385, 100, -5).has_value());
    EXPECT_FALSE(rv::TemperatureOf(Characteristic::Copper1428, 100, NAN).has_value());
    // Each resistance-thermometer type has its characteristic; the resistance input and the
    // other inputs have none.
    EXPECT_EQ(rv::CharacteristicOfType(0), Characteristic::Copper1428);
    EXPECT_EQ(rv::CharacteristicOfType(3), Characteristic::Copper1426);
    EXPECT_EQ(rv::CharacteristicOfType(4), Characteristic::Platinum1391);
    EXPECT_EQ(rv::CharacteristicOfType(6), Characteristic::Platinum1385);
    EXPECT_FALSE(rv::CharacteristicOfType(7).has_value());
    EXPECT_FALSE(rv::CharacteristicOfType(17).has_value());
}

}  // namespace
