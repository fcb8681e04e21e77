#include "config/relay_table.h"

#include <gtest/gtest.h>

#include <random>

namespace rv {
namespace {

struct RelayExample {
    const char* name;
    std::vector<std::array<int, 3>> codes;  // relay, event, code, set in this order
    int byte;
    int value;
};

class RelayTableExamples : public ::testing::TestWithParam<RelayExample> {};

TEST_P(RelayTableExamples, SetsTheOneByte) {
    RelayTableBytes table{};
    for (const auto& [relay, event, code] : GetParam().codes)
        SetRelayCode(table, relay, event, code);
    for (int b = 0; b < kRelayTableSize; ++b)
        EXPECT_EQ(table[b], b == GetParam().byte ? GetParam().value : 0) << "byte " << b;
}

INSTANTIATE_TEST_SUITE_P(
    Layout, RelayTableExamples,
    ::testing::Values(RelayExample{"Relay1Channel1SetPoint1Low", {{0, 0, 1}}, 0, 0x01},
                      RelayExample{"AndChannel2SetPoint1High", {{0, 0, 1}, {0, 3, 2}}, 0, 0x81},
                      RelayExample{"Relay8Channel8FaultOn", {{7, 23, 1}}, 47, 0x40},
                      RelayExample{"Relay3Channel4SetPoint2Off", {{2, 10, 3}}, 14, 0x30},
                      RelayExample{"Relay2Channel3Fault", {{1, 8, 2}}, 8, 0x02},
                      RelayExample{"OnlyTheLowTwoBitsOfACode", {{4, 5, 0x7}}, 25, 0x0C},
                      RelayExample{"SetBackToNone", {{5, 17, 3}, {5, 17, 0}}, 34, 0x00}),
    [](const auto& info) { return std::string(info.param.name); });

// Against the byte table of the layout: byte k of a relay's group holds events 4k .. 4k + 3.
TEST(RelayTable, EveryCodeReadsFromItsOwnBitsAndKeepsTheOthers) {
    std::mt19937 generator(11);
    for (int round = 0; round < 50; ++round) {
        RelayTableBytes table{};
        for (uint8_t& b : table) b = static_cast<uint8_t>(generator());
        const RelayTableBytes original = table;
        const int relay = static_cast<int>(generator() % kRelayCount);
        const int event = static_cast<int>(generator() % kRelayEvents);
        const int code = static_cast<int>(generator() % 4);
        const int byte = 6 * relay + event / 4;
        const int shift = 2 * (event % 4);
        EXPECT_EQ(RelayCode(table, relay, event), (original[byte] >> shift) & 3);
        SetRelayCode(table, relay, event, code);
        for (int b = 0; b < kRelayTableSize; ++b) {
            const int expected =
                b == byte ? (original[b] & ~(3 << shift)) | (code << shift) : original[b];
            EXPECT_EQ(table[b], expected);
        }
        EXPECT_EQ(RelayCode(table, relay, event), code);
    }
}

}  // namespace
}  // namespace rv
