// An interrupted write must never cost a block: whatever the number of byte writes that got
// through before a cancel or a crash of the instrument, the block reads back whole, with its
// old or its new contents.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "cut_line.h"
#include "devmem/blocks.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::ReadBlockCopy;
using test::SimOptions;
using test::SimProcess;
using test::TempDir;

constexpr int kNet = 30;

std::vector<uint8_t> imageOf(const BlockBuffer& buffer, int block) {
    return {buffer.begin(), buffer.begin() + test::kBlocks[static_cast<size_t>(block)].length + 2};
}

// The same block with every data byte changed, its identifier and CRC filled in.
BlockBuffer changedContents(const BlockBuffer& old, int block) {
    const test::BlockRow& info = test::kBlocks[static_cast<size_t>(block)];
    BlockBuffer b = old;
    for (size_t i = 1; i < info.length; ++i) b[i] = static_cast<uint8_t>(old[i] ^ 0xA5);
    const uint16_t crc = BlockCrc(b.data(), info.length);
    b[info.length] = static_cast<uint8_t>(crc);
    b[info.length + 1] = static_cast<uint8_t>(crc >> 8);
    return b;
}

// The instrument of these tests, restarted from its memory after a kill.
class Instrument : public test::RestartableInstrument {
  public:
    explicit Instrument(const std::string& stateDir) : RestartableInstrument(stateDir, kNet) {}
};

void attach(Link& link, Instrument& instrument) { instrument.attach(link); }

enum class Stop { Cancel, Kill };

struct Case {
    int block;
    Stop stop;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << (c.stop == Stop::Cancel ? "cancel" : "kill") << " block " << c.block;
}

class InterruptedWrite : public testing::TestWithParam<Case> {};

// Runs the write of block `block` to `target` and stops it once `limit` byte writes have been
// heard by the instrument, then opens the port again (to the restarted instrument after a
// kill); returns how many writes it heard.
int writeUntil(Link& link, Instrument& instrument, Stop stop, int block, int limit,
               const BlockBuffer& target) {
    const test::CutResult result = test::RunWithCut(
        link, instrument, stop == Stop::Cancel ? test::Cut::Cancel : test::Cut::Kill, limit, [&] {
            BlockBuffer buffer = target;
            int progress = 0;
            WriteBlock(link, block, progress, buffer);
        });
    EXPECT_TRUE(instrument.sim().started()) << instrument.sim().error();
    EXPECT_TRUE(link.OpenPort()) << link.LinkStatus;
    return result.writesHeard;
}

TEST_P(InterruptedWrite, BlockReadsBackWholeAfterEveryNumberOfByteWrites) {
    BlockBuffer buffer{};
    const Case c = GetParam();
    const int n = test::kBlocks[static_cast<size_t>(c.block)].length + 2;
    TempDir stateDir;
    Instrument instrument(stateDir.path());
    ASSERT_TRUE(instrument.sim().started()) << instrument.sim().error();
    Link link;
    attach(link, instrument);
    ASSERT_TRUE(link.OpenPort());

    int progress = 0;
    ASSERT_EQ(ReadBlock(link, c.block, progress, buffer), 0);
    const BlockBuffer oldContents = buffer;
    const BlockBuffer newContents = changedContents(oldContents, c.block);
    const std::vector<uint8_t> oldImage = imageOf(oldContents, c.block);
    const std::vector<uint8_t> newImage = imageOf(newContents, c.block);
    // Only the bytes that differ are written, in each copy.
    int w = 0;
    for (int i = 0; i < n; ++i)
        w += oldImage[static_cast<size_t>(i)] != newImage[static_cast<size_t>(i)];
    ASSERT_GE(w, n - 3) << "every data byte changes";

    for (int limit = 0; limit <= 2 * w + 1; ++limit) {
        SCOPED_TRACE("stopped after " + std::to_string(limit) + " byte writes");
        EXPECT_EQ(writeUntil(link, instrument, c.stop, c.block, limit, newContents),
                  std::min(limit, 2 * w));

        const std::vector<uint8_t> primary = ReadBlockCopy(instrument.stateFile(), c.block, false);
        if (limit <= w) {
            EXPECT_EQ(ReadBlockCopy(instrument.stateFile(), c.block, true), oldImage);
        }
        ASSERT_EQ(ReadBlock(link, c.block, progress, buffer), 0) << link.LinkStatus;
        const std::vector<uint8_t> readBack = imageOf(buffer, c.block);
        // Old contents until the primary copy is whole again (or happens to be, when the
        // bytes still to come agree with those already there).
        EXPECT_EQ(readBack, limit >= w || primary == newImage ? newImage : oldImage);

        BlockBuffer restore = oldContents;
        ASSERT_EQ(WriteBlock(link, c.block, progress, restore), 0) << link.LinkStatus;
    }
}

INSTANTIATE_TEST_SUITE_P(EverySize, InterruptedWrite,
                         testing::Values(Case{2, Stop::Cancel}, Case{3, Stop::Cancel},
                                         Case{13, Stop::Cancel}, Case{20, Stop::Cancel},
                                         Case{2, Stop::Kill}, Case{3, Stop::Kill},
                                         Case{13, Stop::Kill}, Case{20, Stop::Kill}),
                         [](const testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.stop == Stop::Cancel ? "cancel"
                                                                                : "kill") +
                                    "_block" + std::to_string(info.param.block);
                         });

// A write cut short in its backup copy, then a second write cut short anywhere: the block
// still reads back whole, with the contents of one of the two writes.
TEST(InterruptedWrite, SecondInterruptionAfterABrokenBackupLosesNothing) {
    BlockBuffer buffer{};
    constexpr int kBlock = 3;
    const int n = test::kBlocks[kBlock].length + 2;
    TempDir stateDir;
    Instrument instrument(stateDir.path());
    ASSERT_TRUE(instrument.sim().started()) << instrument.sim().error();
    Link link;
    attach(link, instrument);
    ASSERT_TRUE(link.OpenPort());

    int progress = 0;
    ASSERT_EQ(ReadBlock(link, kBlock, progress, buffer), 0);
    const BlockBuffer original = buffer;
    const BlockBuffer first = changedContents(original, kBlock);
    BlockBuffer second = first;
    second[2] = static_cast<uint8_t>(second[2] + 1);
    const std::vector<uint8_t> firstImage = imageOf(first, kBlock);
    const std::vector<uint8_t> secondImage = imageOf(changedContents(second, kBlock), kBlock);
    // The first write is stopped half way through its backup copy: only the bytes that differ
    // are written, in each copy.
    int w = 0;
    for (size_t i = 0; i < firstImage.size(); ++i)
        w += imageOf(original, kBlock)[i] != firstImage[i];

    for (int limit = 0; limit <= 2 * n; limit += 3) {
        SCOPED_TRACE("second write stopped after " + std::to_string(limit) + " byte writes");
        BlockBuffer restore = original;
        ASSERT_EQ(WriteBlock(link, kBlock, progress, restore), 0) << link.LinkStatus;
        writeUntil(link, instrument, Stop::Cancel, kBlock, w + w / 2, first);
        ASSERT_FALSE(
            test::BlockCopyValid(ReadBlockCopy(instrument.stateFile(), kBlock, true), kBlock));

        writeUntil(link, instrument, Stop::Cancel, kBlock, limit, changedContents(second, kBlock));
        ASSERT_EQ(ReadBlock(link, kBlock, progress, buffer), 0) << link.LinkStatus;
        const std::vector<uint8_t> readBack = imageOf(buffer, kBlock);
        EXPECT_TRUE(readBack == firstImage || readBack == secondImage);
    }
}

// The same property through the whole-configuration write, at points spread over its byte
// writes: a read afterwards gets every block whole, each old or new.
TEST(InterruptedConfigurationWrite, EveryBlockIsOldOrNew) {
    TempDir stateDir;
    Instrument instrument(stateDir.path());
    ASSERT_TRUE(instrument.sim().started()) << instrument.sim().error();
    Link link;
    attach(link, instrument);

    ConfigImage original;
    ASSERT_EQ(ReadConfiguration(link, original, {}), Outcome::Done);
    ConfigImage edited = original;
    for (ChannelConfig& channel : edited.Channels) {
        channel.Usred = static_cast<uint16_t>(channel.Usred + 7);
        channel.Ustav1 = MakeWorkingReal(channel.Ustav1.toDouble() + 1.5);
        channel.Gist2 = MakeWorkingReal(channel.Gist2.toDouble() + 0.25);
    }
    edited.UsedChannels ^= 0x05;
    edited.DisplayPeriodByte = static_cast<uint8_t>(original.DisplayPeriodByte + 4);

    const int written[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20};
    // How many byte writes the edit takes: only the bytes that differ travel.
    const int writesBefore = instrument.log().writesHeard();
    ASSERT_EQ(WriteConfiguration(link, edited, {}), Outcome::Done) << link.LinkStatus;
    const int total = instrument.log().writesHeard() - writesBefore;
    ASSERT_GT(total, 100);
    ASSERT_LT(total, 400);
    ASSERT_EQ(WriteConfiguration(link, original, {}), Outcome::Done) << link.LinkStatus;
    for (int limit = 1; limit < total; limit += 13) {
        SCOPED_TRACE("stopped after " + std::to_string(limit) + " byte writes");
        Outcome outcome = Outcome::Done;
        const test::CutResult cut =
            test::RunWithCut(link, instrument, test::Cut::Cancel, limit,
                             [&] { outcome = WriteConfiguration(link, edited, {}); });
        EXPECT_EQ(outcome, Outcome::Cancelled);
        EXPECT_EQ(cut.writesHeard, limit);

        ConfigImage readBack;
        ASSERT_EQ(ReadConfiguration(link, readBack, {}), Outcome::Done) << link.LinkStatus;
        for (int block : written) {
            BlockBuffer asOld{}, asNew{}, asRead{};
            original.EncodeBlock(block, asOld);
            edited.EncodeBlock(block, asNew);
            readBack.EncodeBlock(block, asRead);
            EXPECT_TRUE(asRead == asOld || asRead == asNew) << "block " << block;
        }
        ASSERT_EQ(WriteConfiguration(link, original, {}), Outcome::Done) << link.LinkStatus;
    }
}

}  // namespace
}  // namespace rv
