// Numbers at and beyond the edges of every integer parser of the core. A number that does not
// fit is refused whatever its number of digits; it never comes back wrapped.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "case_name.h"
#include "channel/fields.h"
#include "link/transact.h"

namespace rv {
namespace {

struct Row {
    std::string text;
    bool valid;
    std::int64_t value;
};

using Parser = bool (*)(std::string_view, std::int64_t&);

struct Edge {
    const char* parser;
    Parser parse;
    Row row;
};

void PrintTo(const Edge& e, std::ostream* os) { *os << e.parser << " \"" << e.row.text << '"'; }

constexpr std::int64_t kUntouched = -12345;

// Decimal edges shared by the page's integer fields and the network number: both read into
// 64 bits on every platform (Windows' long has 32), so everything up to 2^63 - 1 is a number
// and the field's own range decides later.
const std::vector<Row> kDecimalEdges{
    {"2147483647", true, INT64_C(2147483647)},
    {"2147483648", true, INT64_C(2147483648)},  // 2^31
    {"4294967296", true, INT64_C(4294967296)},  // 2^32
    {"-4294967296", true, INT64_C(-4294967296)},
    {"9223372036854775807", true, INT64_C(9223372036854775807)},
    {"-9223372036854775807", true, INT64_C(-9223372036854775807)},
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
    {"-000000000000000000000000000000000009223372036854775807", true,
     INT64_C(-9223372036854775807)},
    {"0000000000000000000018446744073709551621", false, 0},
};

const std::vector<Row> kHexadecimalNetworkNumbers{
    Row{"x80000000", true, INT64_C(2147483648)},   // 2^31
    Row{"$100000000", true, INT64_C(4294967296)},  // 2^32
    Row{"0x7FFFFFFFFFFFFFFF", true, INT64_C(9223372036854775807)},
    Row{"x8000000000000000", false, 0},     // 2^63
    Row{"$FFFFFFFFFFFFFFFF", false, 0},     // 2^64 - 1
    Row{"x10000000000000000", false, 0},    // 2^64, 17 digits
    Row{"x10000000000000001", false, 0},    // 2^64 + 1
    Row{"x10000000000000005", false, 0},    // wrapped, 5
    Row{"0X1000000000000000FE", false, 0},  // wrapped, 254
    Row{"$00000000000000000000000000FE", true, 254},
    Row{"x000000000000000000000000000000000001", true, 1}};

// Reply fields are 32-bit: decimal with an optional minus, or '$' and one to eight
// hexadecimal digits read as a 32-bit two's complement pattern.
const std::vector<Row> kReplyFields{
    Row{"2147483647", true, INT64_C(2147483647)},
    Row{"-2147483648", true, INT64_C(-2147483648)},
    Row{"2147483648", false, 0},  // 2^31
    Row{"-2147483649", false, 0},
    Row{"4294967296", false, 0},            // 2^32
    Row{"4294967301", false, 0},            // 2^32 + 5: wrapped to 32 bits, 5
    Row{"9223372036854775808", false, 0},   // 2^63
    Row{"18446744073709551616", false, 0},  // 2^64
    Row{"18446744073709551617", false, 0},  // 2^64 + 1
    Row{"18446744073709551621", false, 0},
    Row{"-18446744073709551621", false, 0},
    Row{"00000000000000000000000000000255", true, 255},
    Row{"-00000000000000000000000002147483648", true, INT64_C(-2147483648)},
    Row{"$7FFFFFFF", true, INT64_C(2147483647)},
    Row{"$80000000", true, INT64_C(-2147483648)},
    Row{"$FFFFFFFF", true, -1},
    Row{"$100000000", false, 0},          // 2^32, nine digits
    Row{"$10000000000000005", false, 0},  // 17 digits
    Row{"$000000FF", true, 255}};

// The link's 32-bit reading, through the table's 64-bit signature; untouched on failure.
bool ParseLinkInteger64(std::string_view text, std::int64_t& value) {
    long read = 0;
    if (!ParseLinkInteger(text, read)) return false;
    value = read;
    return true;
}

std::vector<Edge> allEdges() {
    const struct {
        const char* name;
        Parser parse;
        const std::vector<Row>& rows;
    } tables[] = {{"page field", ParseIntegerField, kDecimalEdges},
                  {"network number", ParseNetworkNumber, kDecimalEdges},
                  {"network number", ParseNetworkNumber, kHexadecimalNetworkNumbers},
                  {"reply field", ParseLinkInteger64, kReplyFields}};
    std::vector<Edge> edges;
    for (const auto& table : tables)
        for (const Row& row : table.rows) edges.push_back({table.name, table.parse, row});
    return edges;
}

class IntegerEdge : public testing::TestWithParam<Edge> {};

TEST_P(IntegerEdge, FitsOrIsRefusedAndNeverWraps) {
    const Edge& e = GetParam();
    std::int64_t value = kUntouched;
    EXPECT_EQ(e.parse(e.row.text, value), e.row.valid);
    EXPECT_EQ(value, e.row.valid ? e.row.value : kUntouched);
}

INSTANTIATE_TEST_SUITE_P(EveryParser, IntegerEdge, testing::ValuesIn(allEdges()),
                         rv::test::PrintedCaseName());

}  // namespace
}  // namespace rv
