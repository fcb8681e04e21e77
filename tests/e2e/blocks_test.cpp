#include "devmem/blocks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "link/requests.h"
#include "link/status.h"
#include "link/transact.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::ReadBlockCopy;
using test::SimProcess;

constexpr int kNet = 3;

void attach(Link& link, const SimProcess& sim) {
    link.Device = sim.linkPath();
    link.NetNumber = kNet;
    link.ReplyTimeout = std::chrono::milliseconds(150);
}

std::vector<uint8_t> bufferCopy(const BlockBuffer& buffer, int index) {
    return {buffer.begin(), buffer.begin() + test::kBlocks[static_cast<size_t>(index)].length + 2};
}

int countLogLines(const std::string& path, const std::string& needle) {
    std::ifstream in(path);
    int count = 0;
    for (std::string line; std::getline(in, line);) count += line.find(needle) != std::string::npos;
    return count;
}

TEST(ReadBlock, EveryBlockComesFromItsPrimaryCopy) {
    BlockBuffer buffer{};
    SimProcess sim({std::to_string(kNet)});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ASSERT_TRUE(link.OpenPort());
    int progress = 0;
    for (int index = 0; index < test::kBlockRows; ++index) {
        buffer.fill(0xAA);
        EXPECT_EQ(ReadBlock(link, index, progress, buffer), 0) << index;
        EXPECT_EQ(bufferCopy(buffer, index), ReadBlockCopy(sim.stateFile(kNet), index, false))
            << index;
        EXPECT_EQ(progress, 2 * (index + 1));
    }
}

struct ReadFault {
    const char* name;
    std::string switches;
    int block;
    int status;
    bool fromBackup;
};

void PrintTo(const ReadFault& c, std::ostream* os) { *os << c.name; }

class ReadBlockFault : public testing::TestWithParam<ReadFault> {};

TEST_P(ReadBlockFault, EndsAsTheFailureTableSays) {
    BlockBuffer buffer{};
    const ReadFault& c = GetParam();
    SimProcess sim({std::to_string(kNet) + c.switches});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ASSERT_TRUE(link.OpenPort());
    int progress = 10;
    EXPECT_EQ(ReadBlock(link, c.block, progress, buffer), c.status);
    EXPECT_EQ(link.LinkStatus, c.status);
    EXPECT_EQ(progress, 12);
    if (c.status == 0) {
        EXPECT_EQ(bufferCopy(buffer, c.block),
                  ReadBlockCopy(sim.stateFile(kNet), c.block, c.fromBackup));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadBlockFault,
    testing::Values(ReadFault{"primary_crc", ",bad-primary=2", 2, status::kOk, true},
                    ReadFault{"other_block_spoilt", ",bad-primary=3", 2, status::kOk, false},
                    ReadFault{"both_crc", ",bad-both=20", 20, status::kMemoryData, false},
                    ReadFault{"silent", ",silent", 20, status::kNoReply, false},
                    ReadFault{"never_ends", ",no-cr", 1, status::kExchange, false},
                    ReadFault{"noise_before_reply", ",garbage", 29, status::kOk, false},
                    ReadFault{"split_reply", ",split", 2, status::kOk, false},
                    ReadFault{"other_family_reads_memory", ",family=18", 0, status::kOk, false}),
    [](const testing::TestParamInfo<ReadFault>& info) { return std::string(info.param.name); });

TEST(ReadBlock, WrongIdentifierInPrimaryFallsBackAndInBothFails) {
    BlockBuffer buffer{};
    SimProcess sim({std::to_string(kNet)});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ASSERT_TRUE(link.OpenPort());
    const test::BlockRow& info = test::kBlocks[11];
    std::string message = request::WriteByte(info.primary, 0);
    ASSERT_TRUE(Transact(link, message, link.ReplyTimeout));
    int progress = 0;
    EXPECT_EQ(ReadBlock(link, 11, progress, buffer), 0);
    EXPECT_EQ(bufferCopy(buffer, 11), ReadBlockCopy(sim.stateFile(kNet), 11, true));

    message = request::WriteByte(info.backup, 0);
    ASSERT_TRUE(Transact(link, message, link.ReplyTimeout));
    EXPECT_EQ(ReadBlock(link, 11, progress, buffer), status::kMemoryData);
    EXPECT_EQ(progress, 4);
}

TEST(ReadBlock, CancelBeforeTheRequestSendsNothing) {
    BlockBuffer buffer{};
    SimProcess sim({std::to_string(kNet)});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ASSERT_TRUE(link.OpenPort());
    link.CancelFlag = true;
    int progress = 0;
    ReadBlock(link, 4, progress, buffer);
    EXPECT_EQ(progress, 2);
    EXPECT_EQ(countLogLines(sim.logPath(), "\"rx\""), 0);
}

TEST(WriteBlock, RewritesBothCopiesWithIdentifierAndCrc) {
    BlockBuffer buffer{};
    SimProcess sim({std::to_string(kNet)});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ASSERT_TRUE(link.OpenPort());
    for (int index : {1, 2, 13, 20}) {
        const size_t length = test::kBlocks[static_cast<size_t>(index)].length;
        buffer.fill(0);
        for (size_t i = 1; i < length; ++i) buffer[i] = static_cast<uint8_t>(i * 7 + index);
        int progress = 0;
        EXPECT_EQ(WriteBlock(link, index, progress, buffer), 0) << index;
        EXPECT_EQ(progress, static_cast<int>(2 * (length + 2)));
        const std::vector<uint8_t> written = bufferCopy(buffer, index);
        EXPECT_EQ(written[0], test::kBlocks[static_cast<size_t>(index)].id);
        EXPECT_TRUE(test::BlockCopyValid(written, index));
        EXPECT_EQ(ReadBlockCopy(sim.stateFile(kNet), index, false), written) << index;
        EXPECT_EQ(ReadBlockCopy(sim.stateFile(kNet), index, true), written) << index;
    }
}

struct WriteFault {
    const char* name;
    std::string switches;
    int status;
    int requestsSent;  // byte writes the instrument heard
    bool primaryNew;
};

void PrintTo(const WriteFault& c, std::ostream* os) { *os << c.name; }

class WriteBlockFault : public testing::TestWithParam<WriteFault> {};

TEST_P(WriteBlockFault, StopsAtTheFirstBadEcho) {
    BlockBuffer buffer{};
    const WriteFault& c = GetParam();
    constexpr int kIndex = 13;
    SimProcess sim({std::to_string(kNet) + c.switches});
    ASSERT_TRUE(sim.started()) << sim.error();
    const std::vector<uint8_t> oldBackup = ReadBlockCopy(sim.stateFile(kNet), kIndex, true);
    Link link;
    attach(link, sim);
    ASSERT_TRUE(link.OpenPort());
    buffer.fill(0x42);
    int progress = 0;
    EXPECT_EQ(WriteBlock(link, kIndex, progress, buffer), c.status);
    EXPECT_EQ(progress, 2 * 19);
    EXPECT_EQ(countLogLines(sim.logPath(), "\"text\":\"202;"), c.requestsSent);
    EXPECT_EQ(ReadBlockCopy(sim.stateFile(kNet), kIndex, true), oldBackup);
    EXPECT_EQ(ReadBlockCopy(sim.stateFile(kNet), kIndex, false) == bufferCopy(buffer, kIndex),
              c.primaryNew);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteBlockFault,
    testing::Values(WriteFault{"echo_third_byte", ",bad-echo=3", status::kMemoryData, 3, false},
                    WriteFault{"echo_first_backup_byte", ",bad-echo=20", status::kMemoryData, 20,
                               true},
                    // The look at the backup copy before the first byte gets no answer.
                    WriteFault{"silent", ",silent", status::kNoReply, 0, false},
                    WriteFault{"never_ends", ",no-cr", status::kExchange, 0, false}),
    [](const testing::TestParamInfo<WriteFault>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rv
