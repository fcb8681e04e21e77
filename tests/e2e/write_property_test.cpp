// While a block is written, what a read shows must at every moment be the contents the
// instrument had before that write began or the new ones, never a third state. Sequences of
// two and three writes of one block are each cut short after a number of byte writes, by a
// cancel, by a dropped reply or by a power cut (kill and restart); after every write a read
// must give the contents from before that write or its new contents.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cut_line.h"
#include "devmem/blocks.h"
#include "link/exchange.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::Cut;
using test::CutName;
using test::RestartableInstrument;
using test::RunWithCut;
using test::TempDir;

constexpr int kNet = 31;
constexpr int kUncut = -1;
constexpr int kSmallBlock = 20;  // 6 bytes: 8 stored per copy
constexpr int kLargeBlock = 2;   // 51 bytes: 53 stored per copy

size_t storedSize(int block) { return BlockTable[static_cast<size_t>(block)].length + size_t{2}; }

std::vector<uint8_t> imageOf(const BlockBuffer& buffer, int block) {
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(storedSize(block))};
}

// New data bytes for the block, with its identifier and CRC, as a write stores them.
BlockBuffer randomContents(int block, std::mt19937& random) {
    const BlockInfo& info = BlockTable[static_cast<size_t>(block)];
    BlockBuffer b{};
    b[0] = static_cast<uint8_t>(info.id);
    for (size_t i = 1; i < info.length; ++i) b[i] = static_cast<uint8_t>(random());
    const uint16_t crc = BlockCrc(b.data(), info.length);
    b[info.length] = static_cast<uint8_t>(crc);
    b[info.length + 1] = static_cast<uint8_t>(crc >> 8);
    return b;
}

// `shown` with one to three data bytes changed, sealed: the common edit of a field or two.
BlockBuffer fewBytesChanged(int block, const std::vector<uint8_t>& shown, std::mt19937& random) {
    const BlockInfo& info = BlockTable[static_cast<size_t>(block)];
    BlockBuffer b{};
    std::copy(shown.begin(), shown.end(), b.begin());
    for (int k = 1 + static_cast<int>(random() % 3); k > 0; --k) {
        const size_t at = 1 + random() % (info.length - 1u);
        b[at] = static_cast<uint8_t>(b[at] + 1 + random() % 255);
    }
    const uint16_t crc = BlockCrc(b.data(), info.length);
    b[info.length] = static_cast<uint8_t>(crc);
    b[info.length + 1] = static_cast<uint8_t>(crc >> 8);
    return b;
}

// How each write of a sequence changes the block.
enum class Edit { Everything, FewBytes };

struct Counts {
    int sequences = 0;
    int writes = 0;
    int cuts = 0;
};

class WriteProperty : public testing::Test {
  protected:
    void SetUp() override {
        instrument_ = std::make_unique<RestartableInstrument>(stateDir_.path(), kNet);
        ASSERT_TRUE(instrument_->started()) << instrument_->error();
        instrument_->attach(link_);
    }

    void TearDown() override {
        std::printf("[ counts   ] %d sequences, %d writes, %d of them cut\n", counts_.sequences,
                    counts_.writes, counts_.cuts);
    }

    // What a read of the block gives now; fails the test when the read fails.
    std::vector<uint8_t> readShown(int block) {
        EXPECT_TRUE(link_.OpenPort()) << link_.LinkStatus;
        int progress = 0;
        BlockBuffer buffer{};
        const int code = ReadBlock(link_, block, progress, buffer);
        link_.ClosePort();
        EXPECT_EQ(code, 0) << "the block no longer reads back";
        return code == 0 ? imageOf(buffer, block) : std::vector<uint8_t>{};
    }

    // Writes `contents` cut after `limit` byte writes (kUncut: not at all) and checks the
    // outcome and what a read shows afterwards against `before`; returns what it shows.
    std::vector<uint8_t> cutWrite(int block, const BlockBuffer& contents, Cut cut, int limit,
                                  const std::vector<uint8_t>& before) {
        Step step = Step::Failed;
        const test::CutResult result =
            RunWithCut(link_, *instrument_, limit == kUncut ? Cut::None : cut, limit, [&] {
                if (!link_.port.isOpen() && !link_.OpenPort()) return;
                int progress = 0;
                BlockBuffer buffer = contents;
                step = BlockStep(link_, WriteBlock(link_, block, progress, buffer));
            });
        ++counts_.writes;
        if (result.fired) ++counts_.cuts;
        if (limit == kUncut) {
            EXPECT_EQ(step, Step::Ok) << "an uncut write failed: " << link_.LinkStatus;
        } else if (result.fired) {
            EXPECT_NE(step, Step::Ok) << "a cut write was reported as done";
        }
        const std::vector<uint8_t> shown = readShown(block);
        const std::vector<uint8_t> written = imageOf(contents, block);
        EXPECT_TRUE(shown == before || shown == written)
            << "a third state after a write cut by " << CutName(cut) << " after " << limit
            << " byte writes";
        return shown;
    }

    // One sequence from both copies holding `start`: each write gets new contents and is cut
    // after the given number of byte writes.
    void runSequence(int block, Cut cut, const std::vector<int>& limits, std::mt19937& random,
                     Edit edit = Edit::Everything) {
        std::string trace = std::string(CutName(cut)) + ", block " + std::to_string(block) +
                            (edit == Edit::FewBytes ? ", few bytes," : ",");
        for (int limit : limits)
            trace += " " + (limit == kUncut ? std::string("-") : std::to_string(limit));
        SCOPED_TRACE(trace);
        const BlockBuffer start = randomContents(block, random);
        std::vector<uint8_t> shown = cutWrite(block, start, Cut::None, kUncut, {});
        ASSERT_EQ(shown, imageOf(start, block));
        for (int limit : limits) {
            const BlockBuffer next = edit == Edit::FewBytes ? fewBytesChanged(block, shown, random)
                                                            : randomContents(block, random);
            shown = cutWrite(block, next, cut, limit, shown);
            if (HasFatalFailure() || shown.empty()) return;
        }
        ++counts_.sequences;
    }

    TempDir stateDir_;
    Link link_;
    std::unique_ptr<RestartableInstrument> instrument_;
    Counts counts_;
};

// The cut points of one write: every count of byte writes, or a sample that keeps the
// edges of both copies.
std::vector<int> everyCount(int block, Cut cut) {
    const int total = static_cast<int>(2 * storedSize(block));
    std::vector<int> limits{kUncut};
    // A dropped reply needs a write to drop: its limit counts the writes answered before it.
    const int last = cut == Cut::DropReply ? total - 1 : total;
    for (int limit = 0; limit <= last; ++limit) limits.push_back(limit);
    return limits;
}

std::vector<int> sampledCounts(int block, Cut cut, std::mt19937& random, int extra) {
    const int n = static_cast<int>(storedSize(block));
    const int last = cut == Cut::DropReply ? 2 * n - 1 : 2 * n;
    std::vector<int> limits{kUncut, 0, 1, n - 1, n, n + 1, last};
    for (int i = 0; i < extra; ++i) limits.push_back(static_cast<int>(random() % (last + 1)));
    return limits;
}

// Two writes of the small block, each cancelled at every count, all pairs.
TEST_F(WriteProperty, TwoWritesCancelledAtEveryPairOfCounts) {
    std::mt19937 random(1401);
    const std::vector<int> counts = everyCount(kSmallBlock, Cut::Cancel);
    for (int first : counts)
        for (int second : counts) {
            runSequence(kSmallBlock, Cut::Cancel, {first, second}, random);
            if (HasFatalFailure()) return;
        }
}

// Every count of each write against a sample of counts for the other one (a dropped reply
// or a power cut costs a restart of the instrument, so not every pair is run).
void crossEveryCountWithSample(Cut cut, int block, const std::vector<int>& sample,
                               const std::function<void(const std::vector<int>&)>& run) {
    const std::vector<int> every = everyCount(block, cut);
    for (int a : every)
        for (int b : sample) {
            run({a, b});
            if (a != b && std::find(sample.begin(), sample.end(), a) == sample.end()) run({b, a});
        }
}

TEST_F(WriteProperty, TwoWritesCutByADroppedReply) {
    std::mt19937 random(1402);
    // Each dropped reply waits out the reply time-out: the other write is uncut or cut at the
    // first byte of the backup copy, which leaves the backup whole and stale.
    const std::vector<int> sample{kUncut, static_cast<int>(storedSize(kSmallBlock))};
    crossEveryCountWithSample(Cut::DropReply, kSmallBlock, sample,
                              [&](const std::vector<int>& limits) {
                                  if (!HasFatalFailure())
                                      runSequence(kSmallBlock, Cut::DropReply, limits, random);
                              });
}

TEST_F(WriteProperty, TwoWritesCutByAPowerCut) {
    std::mt19937 random(1403);
    crossEveryCountWithSample(Cut::Kill, kSmallBlock,
                              sampledCounts(kSmallBlock, Cut::Kill, random, 0),
                              [&](const std::vector<int>& limits) {
                                  if (!HasFatalFailure())
                                      runSequence(kSmallBlock, Cut::Kill, limits, random);
                              });
}

// Three writes at sampled counts, for each kind of cut, on the small and the large block.
TEST_F(WriteProperty, ThreeWritesAtSampledCounts) {
    std::mt19937 random(1404);
    for (Cut cut : {Cut::Cancel, Cut::DropReply, Cut::Kill}) {
        for (int block : {kSmallBlock, kLargeBlock}) {
            const std::vector<int> sample = sampledCounts(block, cut, random, 3);
            const int sequences = block == kSmallBlock ? 12 : 5;
            for (int i = 0; i < sequences && !HasFatalFailure(); ++i) {
                runSequence(block, cut,
                            {sample[random() % sample.size()], sample[random() % sample.size()],
                             sample[random() % sample.size()]},
                            random);
            }
        }
    }
}

// Two writes of the large block at sampled counts, for each kind of cut.
TEST_F(WriteProperty, TwoWritesOfALargeBlockAtSampledCounts) {
    std::mt19937 random(1405);
    for (Cut cut : {Cut::Cancel, Cut::DropReply, Cut::Kill}) {
        const std::vector<int> sample = sampledCounts(kLargeBlock, cut, random, 4);
        for (int i = 0; i < 8 && !HasFatalFailure(); ++i) {
            runSequence(kLargeBlock, cut,
                        {sample[random() % sample.size()], sample[random() % sample.size()]},
                        random);
        }
    }
}

// The cut points of a write that changes a few bytes: at most three data bytes and the CRC
// in each copy.
std::vector<int> fewByteCounts(Cut cut) {
    constexpr int kMostWrites = 2 * (3 + 2);
    std::vector<int> limits{kUncut};
    for (int limit = 0; limit <= (cut == Cut::DropReply ? kMostWrites - 1 : kMostWrites); ++limit)
        limits.push_back(limit);
    return limits;
}

// Writes of a few bytes, now the common case: each starts from what a read shows, so after a
// cut it meets a half-written primary or a stale backup and writes only what differs there.
TEST_F(WriteProperty, TwoFewByteWritesCancelledAtEveryPairOfCounts) {
    std::mt19937 random(1407);
    const std::vector<int> counts = fewByteCounts(Cut::Cancel);
    for (int block : {kSmallBlock, kLargeBlock}) {
        for (int first : counts)
            for (int second : counts) {
                runSequence(block, Cut::Cancel, {first, second}, random, Edit::FewBytes);
                if (HasFatalFailure()) return;
            }
    }
}

TEST_F(WriteProperty, TwoFewByteWritesCutByADroppedReplyOrAPowerCut) {
    std::mt19937 random(1408);
    for (Cut cut : {Cut::DropReply, Cut::Kill}) {
        crossEveryCountWithSample(cut, kSmallBlock, {kUncut, 2},
                                  [&](const std::vector<int>& limits) {
                                      if (HasFatalFailure()) return;
                                      // Cut points past a few-byte write's last write add nothing.
                                      if (limits[0] > 10 || limits[1] > 10) return;
                                      runSequence(kSmallBlock, cut, limits, random, Edit::FewBytes);
                                  });
    }
}

TEST_F(WriteProperty, ThreeFewByteWritesAtSampledCounts) {
    std::mt19937 random(1409);
    for (Cut cut : {Cut::Cancel, Cut::DropReply, Cut::Kill}) {
        const std::vector<int> counts = fewByteCounts(cut);
        for (int block : {kSmallBlock, kLargeBlock}) {
            for (int i = 0; i < 8 && !HasFatalFailure(); ++i) {
                runSequence(block, cut,
                            {counts[random() % counts.size()], counts[random() % counts.size()],
                             counts[random() % counts.size()]},
                            random, Edit::FewBytes);
            }
        }
    }
}

// The reported case: a write cut between the primary's last byte and the backup's first
// leaves the new contents in the primary and the old ones in a backup that is still whole.
// A second write cut after six byte writes must not bring back the contents from before the
// first write.
TEST_F(WriteProperty, AStaleBackupIsBroughtUpToDateBeforeThePrimaryIsTouched) {
    const int n = static_cast<int>(storedSize(kSmallBlock));
    std::mt19937 random(1406);
    const BlockBuffer original = randomContents(kSmallBlock, random);
    const BlockBuffer first = randomContents(kSmallBlock, random);
    const BlockBuffer second = randomContents(kSmallBlock, random);
    const std::vector<uint8_t> originalImage = imageOf(original, kSmallBlock);
    const std::vector<uint8_t> firstImage = imageOf(first, kSmallBlock);

    // Only the bytes that differ are written, the identifier never among them, so the first
    // backup write changes a data byte: a cancel right after the primary's last write is what
    // leaves the backup whole and stale.
    int primaryWrites = 0;
    for (int i = 0; i < n; ++i) primaryWrites += originalImage[i] != firstImage[i];
    std::vector<uint8_t> shown = cutWrite(kSmallBlock, original, Cut::None, kUncut, {});
    ASSERT_EQ(shown, originalImage);
    shown = cutWrite(kSmallBlock, first, Cut::Cancel, primaryWrites, shown);
    ASSERT_EQ(shown, firstImage);
    ASSERT_EQ(test::ReadBlockCopy(instrument_->stateFile(), kSmallBlock, true), originalImage)
        << "the backup is not the stale, whole copy this case needs";

    for (Cut cut : {Cut::DropReply, Cut::Cancel, Cut::Kill}) {
        SCOPED_TRACE(CutName(cut));
        // Six byte writes of this write reach the instrument, whichever copy they go to.
        const int limit = cut == Cut::DropReply ? 5 : 6;
        shown = cutWrite(kSmallBlock, second, cut, limit, firstImage);
        EXPECT_NE(shown, originalImage) << "the contents from before the first write came back";
        // Back to the stale state for the next kind of cut.
        shown = cutWrite(kSmallBlock, original, Cut::None, kUncut, shown);
        shown = cutWrite(kSmallBlock, first, Cut::Cancel, primaryWrites, shown);
        ASSERT_EQ(test::ReadBlockCopy(instrument_->stateFile(), kSmallBlock, true), originalImage);
    }
}

}  // namespace
}  // namespace rv
