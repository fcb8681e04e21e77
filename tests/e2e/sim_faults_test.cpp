#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "case_name.h"
#include "e2e/sim_client.h"
#include "instrument_map.h"
#include "link/status.h"
#include "sim_harness.h"

namespace rv::test {
namespace {

// What the configurator sees of one request to an instrument with one fault switched on.
struct FaultCase {
    std::string name;
    std::string setup;
    std::string command;
    int fieldCount;
    int32_t status;      // 9 no answer, 7 bad reply or no CR after '!', 0 parsed
    std::string field0;  // checked when status is 0
};

class SimFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimFault, GivesTheOutcomeTheConfiguratorExpects) {
    const FaultCase& c = GetParam();
    SimProcess sim({c.setup});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const Answer a = client.ask(c.command, c.fieldCount);
    EXPECT_EQ(a.status, c.status) << a.reply;
    if (c.status == 0 && a.status == 0) {
        EXPECT_EQ(a.fields[0], c.field0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SimFault,
    ::testing::Values(
        FaultCase{"Baseline", "5", "0;", 1, 0, "17"},
        FaultCase{"SilentIdentify", "5,silent", "0;", 1, 9, ""},
        FaultCase{"SilentRead", "5,silent", "211;41219;53;", 53, 9, ""},
        FaultCase{"OtherFamily", "5,family=18", "0;", 1, 0, "18"},
        FaultCase{"CloseText", "5,close=7", "3;", 1, 0, "7"},
        FaultCase{"MeasureErrorAsTwoFields", "5,measure-error=-5", "2;16;32720;", 2, 7, ""},
        FaultCase{"MeasureErrorAsOneField", "5,measure-error=-5", "2;16;32720;", 1, 0, "-5"},
        FaultCase{"GarbageBeforeReply", "5,garbage", "0;", 1, 0, "17"},
        FaultCase{"NoCr", "5,no-cr", "0;", 1, 7, ""},
        FaultCase{"NoCrLongReply", "5,no-cr", "211;41219;53;", 53, 7, ""},
        FaultCase{"GarbageAndNoCr", "5,garbage,no-cr", "198;", 1, 7, ""}),
    [](const auto& info) { return info.param.name; });

struct CopyFaultCase {
    std::string setup;
    int block;
    bool primaryValid;
    bool backupValid;
};

class SimCopyFault : public ::testing::TestWithParam<CopyFaultCase> {};

// The reply itself is sound; the copy inside it fails its block CRC.
TEST_P(SimCopyFault, SpoilsTheNamedCopies) {
    const CopyFaultCase& c = GetParam();
    SimProcess sim({c.setup});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const BlockRow& info = kBlocks[c.block];
    for (bool backup : {false, true}) {
        std::vector<uint8_t> bytes = client.readBytes(backup ? info.backup : info.primary);
        ASSERT_EQ(bytes.size(), 53u);
        bytes.resize(info.length + 2);
        EXPECT_EQ(BlockCopyValid(bytes, c.block), backup ? c.backupValid : c.primaryValid)
            << (backup ? "backup" : "primary");
    }
    // The other blocks stay whole.
    const int other = c.block == 0 ? 1 : 0;
    std::vector<uint8_t> bytes = client.readBytes(kBlocks[other].primary);
    ASSERT_EQ(bytes.size(), 53u);
    bytes.resize(kBlocks[other].length + 2);
    EXPECT_TRUE(BlockCopyValid(bytes, other));
}

INSTANTIATE_TEST_SUITE_P(Blocks, SimCopyFault,
                         ::testing::Values(CopyFaultCase{"5,bad-primary=3", 3, false, true},
                                           CopyFaultCase{"5,bad-primary=29", 29, false, true},
                                           CopyFaultCase{"5,bad-both=20", 20, false, false},
                                           CopyFaultCase{"5,bad-both=0", 0, false, false},
                                           CopyFaultCase{"5,bad-primary=2,bad-both=2", 2, false,
                                                         false}),
                         [](const auto& info) { return rv::test::CaseName(info.param.setup); });

TEST(SimFault, BadEchoHitsOnlyTheKthByteWrite) {
    SimProcess sim({"5,bad-echo=3"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const unsigned address = kBlocks[2].primary + 1;
    for (unsigned k = 1; k <= 5; ++k) {
        const unsigned value = 10 * k;
        const Answer echo = client.writeByte(address + k, value);
        ASSERT_EQ(echo.status, 0);
        if (k == 3) {
            EXPECT_NE(echo.fields[0], std::to_string(value));
        } else {
            EXPECT_EQ(echo.fields[0], std::to_string(value)) << "write " << k;
        }
    }
}

// The reply is lost, not the write: the byte is in memory, and the next write is answered.
TEST(SimFault, DropReplyStoresTheKthByteWriteUnanswered) {
    SimProcess sim({"5,drop-reply=2"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const unsigned address = test::kBlocks[2].primary + 1;
    for (unsigned k = 1; k <= 3; ++k) {
        const Answer echo = client.writeByte(address + k, 10 * k);
        if (k == 2) {
            EXPECT_EQ(echo.status, status::kNoReply);
        } else {
            ASSERT_EQ(echo.status, 0) << "write " << k;
            EXPECT_EQ(echo.fields[0], std::to_string(10 * k));
        }
    }
    const std::vector<uint8_t> stored = ReadBlockCopy(sim.stateFile(5), 2, false);
    ASSERT_GT(stored.size(), 3u);
    EXPECT_EQ(stored[3], 20);  // offset 1 + k
}

TEST(SimFault, RefusedCloseKeepsTheOldNetworkSettings) {
    SimProcess sim({"5,close=1"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    ASSERT_TRUE(WriteBlockImage(client, 1, {6, 0, 5}));
    const Answer close = client.ask("3;", 1);
    ASSERT_EQ(close.status, 0);
    EXPECT_EQ(close.fields[0], "1");
    EXPECT_EQ(client.ask("0;", 1).status, 0);
    client.link.NetNumber = 6;
    EXPECT_EQ(client.ask("0;", 1).status, 9);
}

TEST(SimFault, MeasureNoiseSpreadsTheRawReadings) {
    SimProcess sim({"5,measure-noise=2"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    std::set<long> differences;
    std::set<long> seconds;
    for (int i = 0; i < 12; ++i) {
        const Answer m = client.ask("2;16;32720;", 2);
        ASSERT_EQ(m.status, 0);
        const long first = std::stol(m.fields[0]);
        const long second = std::stol(m.fields[1]);
        differences.insert(first - second);
        seconds.insert(second);
    }
    // Without noise channel 1 (R0 100, entry 4: A 12, B -3, C 0.01) gives D = 9985.
    EXPECT_GT(differences.size(), 1u);
    EXPECT_GT(seconds.size(), 1u);
    EXPECT_GE(*differences.begin(), 9985 - 4);
    EXPECT_LE(*differences.rbegin(), 9985 + 4);
}

std::vector<std::string> LogLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(SimFault, GarbageGoesOutBeforeTheReply) {
    SimProcess sim({"5,garbage"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    ASSERT_EQ(client.ask("0;", 1).status, 0);
    ASSERT_EQ(AwaitLogLines(sim.logPath(), "\"dir\":\"tx\"", 1), 1);
    const auto lines = LogLines(sim.logPath());
    const auto tx = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("\"dir\":\"tx\"") != std::string::npos;
    });
    ASSERT_NE(tx, lines.end());
    const size_t text = tx->find("\"text\":\"");
    ASSERT_NE(text, std::string::npos);
    EXPECT_NE((*tx)[text + 8], '!') << *tx;
    EXPECT_NE(tx->find("!5;17;"), std::string::npos) << *tx;
}

TEST(SimFault, SplitRepliesArriveInPiecesOverTime) {
    SimProcess sim({"5,split"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 5);
    ASSERT_TRUE(client.opened);
    const auto start = std::chrono::steady_clock::now();
    const Answer a = client.ask("211;41219;53;", 53, std::chrono::seconds(2));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(a.status, 0);
    // About 150 bytes in pieces of a few bytes with gaps of milliseconds.
    EXPECT_GE(elapsed, std::chrono::milliseconds(60));
}

}  // namespace
}  // namespace rv::test
