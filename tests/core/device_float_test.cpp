#include "config/device_float.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "channel/fields.h"

namespace rv {
namespace {

struct FloatRow {
    std::string text;
    int exponent;
    bool negative;
    uint64_t fraction;
    DeviceFloat device;
};

std::vector<FloatRow> loadVectors() {
    std::ifstream in(std::string(RV740X_VECTORS_DIR) + "/device_float.tsv");
    std::vector<FloatRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        FloatRow row;
        std::string sign, fraction, device;
        fields >> row.text >> row.exponent >> sign >> fraction >> device;
        row.negative = sign == "-";
        row.fraction = std::stoull(fraction, nullptr, 16);
        const uint32_t bytes = static_cast<uint32_t>(std::stoul(device, nullptr, 16));
        row.device = {static_cast<uint8_t>(bytes >> 24), static_cast<uint8_t>(bytes >> 16),
                      static_cast<uint8_t>(bytes >> 8), static_cast<uint8_t>(bytes)};
        rows.push_back(row);
    }
    return rows;
}

WorkingReal fromText(const std::string& text) {
    WorkingReal r;
    EXPECT_EQ(ToWorkingReal(std::strtold(text.c_str(), nullptr), r), RealConversion::Ok) << text;
    return r;
}

WorkingReal real(int exponent, bool negative, uint64_t fraction) {
    WorkingReal r;
    r.exponent = static_cast<uint8_t>(exponent);
    r.negative = negative;
    r.fraction = fraction;
    return r;
}

TEST(DeviceFloat, EveryVectorRowGoesFromTextToWorkingRealToDeviceFloat) {
    const std::vector<FloatRow> rows = loadVectors();
    ASSERT_GT(rows.size(), 300u);
    for (const FloatRow& row : rows) {
        const WorkingReal r = fromText(row.text);
        EXPECT_EQ(r.exponent, row.exponent) << row.text;
        EXPECT_EQ(r.fraction, row.fraction) << row.text;
        if (row.exponent != 0) {
            EXPECT_EQ(r.negative, row.negative) << row.text;
        }
        EXPECT_EQ(ToDeviceFloat(r), row.device) << row.text;
    }
}

TEST(DeviceFloat, EveryVectorTextTypedIntoAFieldGivesItsWorkingReal) {
    const std::vector<FloatRow> rows = loadVectors();
    ASSERT_GT(rows.size(), 300u);
    for (const FloatRow& row : rows) {
        WorkingReal r;
        ASSERT_EQ(ParseRealField(row.text, r), RealText::Valid) << row.text;
        EXPECT_EQ(r.exponent, row.exponent) << row.text;
        EXPECT_EQ(r.fraction, row.fraction) << row.text;
        if (row.exponent != 0) {
            EXPECT_EQ(r.negative, row.negative) << row.text;
        }
        EXPECT_EQ(ToDeviceFloat(r), row.device) << row.text;
    }
}

TEST(DeviceFloat, WorkedConversions) {
    struct Case {
        WorkingReal input;
        DeviceFloat device;
        double value;
    };
    const Case cases[] = {
        {real(0x87, false, 0x4800000000), {0x87, 0x48, 0x00, 0x00}, 100.0},
        {real(0x85, false, 0x4800000000), {0x85, 0x48, 0x00, 0x00}, 25.0},
        {real(0x7D, false, 0x4CCCCCCCCD), {0x7D, 0x4C, 0xCC, 0xCD}, 0.100000001490116119384765625},
        {real(0x7D, true, 0x4CCCCCCCCD), {0x7D, 0xCC, 0xCC, 0xCD}, -0.100000001490116119384765625},
        {real(0x8E, true, 0x1C40000000), {0x8E, 0x9C, 0x40, 0x00}, -10000.0},
        {real(0x82, false, 0x490FCF80DC), {0x82, 0x49, 0x0F, 0xD0}, 3.141590118408203125},
        {real(0x81, false, 0x7FFFFFFFFF), {0x82, 0x00, 0x00, 0x00}, 2.0},
        {real(0, false, 0), {0x00, 0x00, 0x00, 0x00}, 0.0},
    };
    for (const Case& c : cases) {
        const DeviceFloat device = ToDeviceFloat(c.input);
        EXPECT_EQ(device, c.device) << c.value;
        EXPECT_EQ(FromDeviceFloat(device.data()).toDouble(), c.value);
    }
    EXPECT_EQ(fromText("2"), real(0x82, false, 0));
    WorkingReal nearTwo;
    ASSERT_EQ(ToWorkingReal(2.0L - std::ldexp(1.0L, -39), nearTwo), RealConversion::Ok);
    EXPECT_EQ(nearTwo, real(0x81, false, 0x7FFFFFFFFF));
}

TEST(DeviceFloat, DroppedBitsRoundOnTheirFirstBitOnly) {
    struct Case {
        uint64_t fraction;
        DeviceFloat positive;
    };
    const Case cases[] = {
        {0x0000008000, {0x90, 0x00, 0x00, 0x01}},  // a tie rounds away from zero
        {0x0000007FFF, {0x90, 0x00, 0x00, 0x00}},  // just below a half is cut
        {0x000000FFFF, {0x90, 0x00, 0x00, 0x01}},
        {0x7FFFFF8000, {0x91, 0x00, 0x00, 0x00}},  // carry into the exponent
        {0x1234560000, {0x90, 0x12, 0x34, 0x56}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToDeviceFloat(real(0x90, false, c.fraction)), c.positive)
            << std::hex << c.fraction;
        DeviceFloat negative = c.positive;
        negative[1] |= 0x80;
        EXPECT_EQ(ToDeviceFloat(real(0x90, true, c.fraction)), negative) << std::hex << c.fraction;
    }
}

TEST(DeviceFloat, EveryDeviceFloatComesBackByteForByte) {
    // Exponents and fractions chosen to hit zero, both ends and every fraction byte.
    const uint8_t exponents[] = {0x00, 0x01, 0x7F, 0x81, 0xFE, 0xFF};
    const uint32_t fractions[] = {0x000000, 0x000001, 0x7FFFFF, 0x800000,
                                  0xFFFFFF, 0x801234, 0x5A5A5A};
    for (uint8_t e : exponents) {
        for (uint32_t f : fractions) {
            const DeviceFloat bytes{e, static_cast<uint8_t>(f >> 16), static_cast<uint8_t>(f >> 8),
                                    static_cast<uint8_t>(f)};
            const WorkingReal r = FromDeviceFloat(bytes.data());
            EXPECT_EQ(ToDeviceFloat(r), bytes) << int(e) << ' ' << f;
            if (e == 0) {
                EXPECT_EQ(r.toDouble(), 0.0);
            }
        }
    }
}

TEST(DeviceFloat, ComputedZeroIsCleanWhateverItsSign) {
    for (long double zero : {0.0L, -0.0L, 1e-45L, -2.9e-39L}) {
        WorkingReal r = real(0x81, true, 0x1234);
        ASSERT_EQ(ToWorkingReal(zero, r), RealConversion::Ok);
        EXPECT_TRUE(r.isZero());
        EXPECT_EQ(ToDeviceFloat(r), (DeviceFloat{0, 0, 0, 0}));
    }
}

TEST(DeviceFloat, SmallestAndLargestMagnitudes) {
    EXPECT_EQ(MakeWorkingReal(std::ldexp(1.0L, -128)), real(1, false, 0));
    // Just below 2^-128 but rounding up to it at 40 bits.
    EXPECT_EQ(MakeWorkingReal(std::ldexp(1.0L, -128) * (1.0L - std::ldexp(1.0L, -42))),
              real(1, false, 0));
    EXPECT_TRUE(MakeWorkingReal(std::ldexp(1.0L, -129)).isZero());

    const long double largestWorking = std::ldexp(2.0L - std::ldexp(1.0L, -39), 126);
    EXPECT_EQ(MakeWorkingReal(largestWorking), real(255, false, WorkingReal::kFractionMask));
    EXPECT_EQ(MakeWorkingReal(-std::ldexp(1.0L, 126)), real(255, true, 0));
    // The largest device float stands in for a value that would round up to 2^127.
    EXPECT_EQ(ToDeviceFloat(real(255, false, WorkingReal::kFractionMask)),
              (DeviceFloat{0xFF, 0x7F, 0xFF, 0xFF}));
    EXPECT_EQ(ToDeviceFloat(real(255, true, 0x7FFFFF8000)), (DeviceFloat{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ToDeviceFloat(real(255, false, 0x7FFFFF7FFF)), (DeviceFloat{0xFF, 0x7F, 0xFF, 0xFF}));
}

TEST(DeviceFloat, MagnitudesFromTwoToThe127HaveNoWorkingReal) {
    const long double tooLarge[] = {std::ldexp(1.0L, 127),
                                    -std::ldexp(1.0L, 127),
                                    1e39L,
                                    std::ldexp(2.0L - std::ldexp(1.0L, -41), 126),
                                    HUGE_VALL,
                                    std::nanl("")};
    for (long double value : tooLarge) {
        WorkingReal r = real(0x85, false, 0x42);
        EXPECT_EQ(ToWorkingReal(value, r), RealConversion::Overflow) << static_cast<double>(value);
        EXPECT_EQ(r, real(0x85, false, 0x42)) << "left alone";
    }
    EXPECT_EQ(MakeWorkingReal(-1e39L), real(255, true, WorkingReal::kFractionMask));
}

}  // namespace
}  // namespace rv
