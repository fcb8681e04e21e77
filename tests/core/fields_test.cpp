#include "channel/fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "case_name.h"

namespace rv {
namespace {

struct RealCase {
    std::string text;
    RealText result;
    long double value;  // what a valid text stores
};

void PrintTo(const RealCase& c, std::ostream* os) { *os << '"' << c.text.substr(0, 40) << '"'; }

class RealFieldParse : public ::testing::TestWithParam<RealCase> {};

TEST_P(RealFieldParse, StoresOrRejects) {
    const RealCase& c = GetParam();
    const WorkingReal before = MakeWorkingReal(-7.25L);
    WorkingReal value = before;
    ASSERT_EQ(ParseRealField(c.text, value), c.result);
    if (c.result == RealText::Valid) {
        EXPECT_EQ(value, MakeWorkingReal(c.value));
    } else {
        EXPECT_EQ(value, before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, RealFieldParse,
    ::testing::Values(
        RealCase{"100", RealText::Valid, 100.0L}, RealCase{"  100.00000", RealText::Valid, 100.0L},
        RealCase{"  -5", RealText::Valid, -5.0L}, RealCase{"+3", RealText::Valid, 3.0L},
        RealCase{"12.", RealText::Valid, 12.0L}, RealCase{".5", RealText::Valid, 0.5L},
        RealCase{".", RealText::Valid, 0.0L}, RealCase{"E2", RealText::Valid, 0.0L},
        RealCase{"-.e5", RealText::Valid, 0.0L}, RealCase{"1e3", RealText::Valid, 1000.0L},
        RealCase{"1E-2", RealText::Valid, 0.01L}, RealCase{"2.5e+1", RealText::Valid, 25.0L},
        RealCase{"12.345678", RealText::Valid, 12.345678L},
        RealCase{"1.70141e38", RealText::Valid, 1.70141e38L},
        RealCase{"1e-40", RealText::Valid, 0.0L}, RealCase{"-1e-99999", RealText::Valid, 0.0L},
        RealCase{std::string(10000, '0'), RealText::Valid, 0.0L},
        RealCase{"0." + std::string(9990, '0') + "1", RealText::Valid, 0.0L},
        RealCase{"", RealText::Invalid, 0}, RealCase{"   ", RealText::Invalid, 0},
        RealCase{" -", RealText::Invalid, 0}, RealCase{"+", RealText::Invalid, 0},
        RealCase{"-  12", RealText::Invalid, 0}, RealCase{"1e", RealText::Invalid, 0},
        RealCase{"1e+", RealText::Invalid, 0}, RealCase{"1,5", RealText::Invalid, 0},
        RealCase{",", RealText::Invalid, 0}, RealCase{"12 ", RealText::Invalid, 0},
        RealCase{"1.2.3", RealText::Invalid, 0}, RealCase{"..", RealText::Invalid, 0},
        RealCase{"\t1", RealText::Invalid, 0}, RealCase{"1\n", RealText::Invalid, 0},
        RealCase{std::string("1\0", 2), RealText::Invalid, 0},
        RealCase{"1e5x", RealText::Invalid, 0}, RealCase{"0x10", RealText::Invalid, 0},
        RealCase{"inf", RealText::Invalid, 0}, RealCase{"nan", RealText::Invalid, 0},
        RealCase{std::string(10000, 'a'), RealText::Invalid, 0},
        RealCase{"1e999", RealText::Overflow, 0}, RealCase{"-2e38", RealText::Overflow, 0},
        RealCase{"1.70142e38", RealText::Overflow, 0},
        RealCase{std::string(10000, '9'), RealText::Overflow, 0}),
    rv::test::PrintedCaseName());

// Texts that lie a hair below the point where the working real rounds up: read into 64 bits
// to nearest first, they would land exactly on that point and round up a second time.
struct ExactRealCase {
    std::string text;
    uint8_t exponent;
    bool negative;
    uint64_t fraction;
    DeviceFloat device;
};

TEST(RealFieldParse, RoundsTheTextOnceNotItsNearestLongDouble) {
    const ExactRealCase cases[] = {
        {"1.00000000000090949470177292823791503906249999", 129, false, 0, {0x81, 0x00, 0x00, 0x00}},
        {"1.0000000000009094946917729282379150390625", 129, false, 0, {0x81, 0x00, 0x00, 0x00}},
        {"-1.00000000000090949470177292823791503906249999", 129, true, 0, {0x81, 0x80, 0x00, 0x00}},
        // The exact tie itself rounds up.
        {"1.0000000000009094947017729282379150390625", 129, false, 1, {0x81, 0x00, 0x00, 0x00}},
        // A second rounding here would also move the device float up by one unit.
        {"100.0000038146390579640864325927734375",
         135,
         false,
         0x4800007FFF,
         {0x87, 0x48, 0x00, 0x00}},
        {"  -100.0000038146390579640864325927734375",
         135,
         true,
         0x4800007FFF,
         {0x87, 0xC8, 0x00, 0x00}},
    };
    for (const ExactRealCase& c : cases) {
        WorkingReal value;
        ASSERT_EQ(ParseRealField(c.text, value), RealText::Valid) << c.text;
        EXPECT_EQ(value.exponent, c.exponent) << c.text;
        EXPECT_EQ(value.negative, c.negative) << c.text;
        EXPECT_EQ(value.fraction, c.fraction) << c.text;
        EXPECT_EQ(ToDeviceFloat(value), c.device) << c.text;
    }
}

struct FormatCase {
    long double value;
    int decimals;
    std::string text;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class RealFieldFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(RealFieldFormat, ShowsFixedDecimals) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatRealField(MakeWorkingReal(c.value), c.decimals), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Display, RealFieldFormat,
    ::testing::Values(FormatCase{100.0L, 5, "  100.00000"},
                      FormatCase{-10000.0L, 5, "  -10000.00000"}, FormatCase{0.1L, 3, "  0.100"},
                      FormatCase{0.0L, 5, "  0.00000"},
                      // Exact binary ties round away from zero.
                      FormatCase{0.0625L, 3, "  0.063"}, FormatCase{-0.0625L, 3, "  -0.063"},
                      FormatCase{0.015625L, 5, "  0.01563"}, FormatCase{0.03125L, 3, "  0.031"},
                      FormatCase{0.1234L, 3, "  0.123"}, FormatCase{12.345678L, 5, "  12.34568"},
                      FormatCase{1.0L - 1.0L / 1048576, 5, "  1.00000"},
                      FormatCase{-0.000001L, 5, "  0.00000"}, FormatCase{-0.0004L, 3, "  0.000"},
                      FormatCase{0x1p119L, 3, "  664613997892457936451903530140172288.000"},
                      FormatCase{2e36L, 5, "  2.00000E+36"},
                      FormatCase{-2.5e37L, 3, "  -2.500E+37"}),
    rv::test::PrintedCaseName());

TEST(RealFieldFormat, ShownTextReadsBackToItself) {
    for (const long double v : {0.1L, -1.0L / 3, 12.345678L, 1234567.890123L, 0.0625L, 3e-39L,
                                9.87654321e35L, 1.2345678e37L, -1.7014e38L}) {
        for (const int decimals : {3, 5}) {
            const std::string shown = FormatRealField(MakeWorkingReal(v), decimals);
            WorkingReal reread;
            ASSERT_EQ(ParseRealField(shown, reread), RealText::Valid) << shown;
            EXPECT_EQ(FormatRealField(reread, decimals), shown);
        }
    }
}

struct IntegerCase {
    std::string text;
    bool valid;
    std::int64_t value;
};

void PrintTo(const IntegerCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IntegerFieldParse : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerFieldParse, ReadsDecimalIntegers) {
    const IntegerCase& c = GetParam();
    std::int64_t value = -12345;
    ASSERT_EQ(ParseIntegerField(c.text, value), c.valid);
    EXPECT_EQ(value, c.valid ? c.value : -12345);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, IntegerFieldParse,
    ::testing::Values(IntegerCase{"  1", true, 1}, IntegerCase{"9999", true, 9999},
                      IntegerCase{"10000", true, 10000}, IntegerCase{" -5", true, -5},
                      IntegerCase{"+7", true, 7}, IntegerCase{"007", true, 7},
                      IntegerCase{"", false, 0}, IntegerCase{" ", false, 0},
                      IntegerCase{"-", false, 0}, IntegerCase{"1 ", false, 0},
                      IntegerCase{"1.0", false, 0}, IntegerCase{"- 1", false, 0},
                      IntegerCase{"$10", false, 0}, IntegerCase{"0x10", false, 0},
                      IntegerCase{std::string(10000, '7'), false, 0}),
    rv::test::PrintedCaseName());

TEST(IntegerField, ShowsTwoBlanksAndTheNumber) {
    EXPECT_EQ(FormatIntegerField(1), "  1");
    EXPECT_EQ(FormatIntegerField(9999), "  9999");
}

class NetworkNumberParse : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(NetworkNumberParse, ReadsDecimalOrHex) {
    const IntegerCase& c = GetParam();
    std::int64_t value = -12345;
    ASSERT_EQ(ParseNetworkNumber(c.text, value), c.valid);
    EXPECT_EQ(value, c.valid ? c.value : -12345);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, NetworkNumberParse,
    ::testing::Values(IntegerCase{"  12", true, 12}, IntegerCase{"0", true, 0},
                      IntegerCase{"-3", true, -3}, IntegerCase{"$FE", true, 254},
                      IntegerCase{" $fe", true, 254}, IntegerCase{"xff", true, 255},
                      IntegerCase{"0x1F", true, 31}, IntegerCase{"0X1f", true, 31},
                      IntegerCase{"$", false, 0}, IntegerCase{"0x", false, 0},
                      IntegerCase{"$-1", false, 0}, IntegerCase{"-$1", false, 0},
                      IntegerCase{"1a", false, 0}, IntegerCase{"$FG", false, 0},
                      IntegerCase{"", false, 0}),
    rv::test::PrintedCaseName());

}  // namespace
}  // namespace rv
