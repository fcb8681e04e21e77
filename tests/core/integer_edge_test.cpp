// Numbers at and beyond the edges of every integer parser of the core. A number that does not
// fit is refused whatever its number of digits; it never comes back wrapped.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/fields.h"
#include "link/transact.h"

namespace rv {
namespace {

struct Edge {
    std::string text;
    bool valid;
    long value;
};

void PrintTo(const Edge& e, std::ostream* os) { *os << '"' << e.text << '"'; }

constexpr long kUntouched = -12345;

// Decimal edges shared by the page's integer fields and the network number: both read into
// a long, so everything up to 2^63 - 1 is a number and the field's own range decides later.
const std::vector<Edge> kDecimalEdges{
    {"2147483647", true, 2147483647L},
    {"2147483648", true, 2147483648L},  // 2^31
    {"4294967296", true, 4294967296L},  // 2^32
    {"-4294967296", true, -4294967296L},
    {"9223372036854775807", true, 9223372036854775807L},
    {"-9223372036854775807", true, -9223372036854775807L},
    {"9223372036854775808", false, 0},   // 2^63
    {"-9223372036854775808", false, 0},  // 2^63 as a magnitude
    {"18446744073709551615", false, 0},  // 2^64 - 1
    {"18446744073709551616", false, 0},  // 2^64: wrapped, it would read as 0
    {"18446744073709551617", false, 0},  // 2^64 + 1: wrapped, 1
    {"18446744073709551621", false, 0},  // wrapped, 5
    {"20000000000000000000", false, 0},
    {"99999999999999999999", false, 0},
    {"-18446744073709551621", false, 0},
    {"  36893488147419103237", false, 0},  // 2^65 + 5
    {"00000000000000000000000000005", true, 5},
    {"-000000000000000000000000000000000009223372036854775807", true, -9223372036854775807L},
    {"0000000000000000000018446744073709551621", false, 0},
};

class IntegerFieldEdge : public testing::TestWithParam<Edge> {};

TEST_P(IntegerFieldEdge, FitsOrIsRefused) {
    const Edge& e = GetParam();
    long value = kUntouched;
    EXPECT_EQ(ParseIntegerField(e.text, value), e.valid);
    EXPECT_EQ(value, e.valid ? e.value : kUntouched);
}

INSTANTIATE_TEST_SUITE_P(Decimal, IntegerFieldEdge, testing::ValuesIn(kDecimalEdges));

class NetworkNumberEdge : public testing::TestWithParam<Edge> {};

TEST_P(NetworkNumberEdge, FitsOrIsRefused) {
    const Edge& e = GetParam();
    long value = kUntouched;
    EXPECT_EQ(ParseNetworkNumber(e.text, value), e.valid);
    EXPECT_EQ(value, e.valid ? e.value : kUntouched);
}

INSTANTIATE_TEST_SUITE_P(Decimal, NetworkNumberEdge, testing::ValuesIn(kDecimalEdges));
INSTANTIATE_TEST_SUITE_P(Hexadecimal, NetworkNumberEdge,
                         testing::Values(Edge{"x80000000", true, 2147483648L},   // 2^31
                                         Edge{"$100000000", true, 4294967296L},  // 2^32
                                         Edge{"0x7FFFFFFFFFFFFFFF", true, 9223372036854775807L},
                                         Edge{"x8000000000000000", false, 0},     // 2^63
                                         Edge{"$FFFFFFFFFFFFFFFF", false, 0},     // 2^64 - 1
                                         Edge{"x10000000000000000", false, 0},    // 2^64, 17 digits
                                         Edge{"x10000000000000001", false, 0},    // 2^64 + 1
                                         Edge{"x10000000000000005", false, 0},    // wrapped, 5
                                         Edge{"0X1000000000000000FE", false, 0},  // wrapped, 254
                                         Edge{"$00000000000000000000000000FE", true, 254},
                                         Edge{"x000000000000000000000000000000000001", true, 1}));

// Reply fields are 32-bit: decimal with an optional minus, or '$' and one to eight
// hexadecimal digits read as a 32-bit two's complement pattern.
class ReplyFieldEdge : public testing::TestWithParam<Edge> {};

TEST_P(ReplyFieldEdge, FitsOrIsRefused) {
    const Edge& e = GetParam();
    long value = kUntouched;
    EXPECT_EQ(ParseLinkInteger(e.text, value), e.valid);
    if (e.valid) {
        EXPECT_EQ(value, e.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ReplyFieldEdge,
    testing::Values(Edge{"2147483647", true, 2147483647L}, Edge{"-2147483648", true, -2147483648L},
                    Edge{"2147483648", false, 0},                                 // 2^31
                    Edge{"-2147483649", false, 0}, Edge{"4294967296", false, 0},  // 2^32
                    Edge{"4294967301", false, 0},            // 2^32 + 5: wrapped to 32 bits, 5
                    Edge{"9223372036854775808", false, 0},   // 2^63
                    Edge{"18446744073709551616", false, 0},  // 2^64
                    Edge{"18446744073709551617", false, 0},  // 2^64 + 1
                    Edge{"18446744073709551621", false, 0}, Edge{"-18446744073709551621", false, 0},
                    Edge{"00000000000000000000000000000255", true, 255},
                    Edge{"-00000000000000000000000002147483648", true, -2147483648L},
                    Edge{"$7FFFFFFF", true, 2147483647L}, Edge{"$80000000", true, -2147483648L},
                    Edge{"$FFFFFFFF", true, -1}, Edge{"$100000000", false, 0},  // 2^32, nine digits
                    Edge{"$10000000000000005", false, 0},                       // 17 digits
                    Edge{"$000000FF", true, 255}));

}  // namespace
}  // namespace rv