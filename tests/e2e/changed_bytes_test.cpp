// A configuration write sends only the bytes that differ: for a change of one field, exactly
// the bytes of that field's block that change, CRC included, in both copies, the copy a read
// does not show first; afterwards the instrument's memory is the image. The expected bytes
// come from the memory file and the tests' own block map and CRC, the writes from the
// simulator's log.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "e2e/sim_client.h"
#include "instrument_map.h"
#include "sim_harness.h"
#include "sim_log.h"

namespace rv {
namespace {

using test::ReadStateFile;
using test::SimClient;
using test::SimProcess;

constexpr int kNet = 14;
constexpr int kSetPointBlock = 13;  // channel 3's set points
// Ustav1 = -59.825 as the instrument's 4-byte real, at data offsets 1 to 4.
const std::vector<uint8_t> kSetPointBytes{0x86, 0xEF, 0x4C, 0xCD};

struct ByteWrite {
    size_t address;
    unsigned value;
    bool operator==(const ByteWrite&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ByteWrite& w) {
    return os << w.address << "=" << w.value;
}

// The byte writes the simulator heard, in order.
std::vector<ByteWrite> heardWrites(const std::string& logPath) {
    std::vector<ByteWrite> writes;
    for (const test::HeardRequest& r : test::HeardRequests(logPath)) {
        size_t address = 0;
        unsigned value = 0;
        if (std::sscanf(r.text.c_str(), "202;51736;%zu;%u;", &address, &value) == 2)
            writes.push_back({address, value});
    }
    return writes;
}

int heardCount(const std::string& logPath, const std::string& prefix) {
    int count = 0;
    for (const test::HeardRequest& r : test::HeardRequests(logPath))
        count += r.text.rfind(prefix, 0) == 0;
    return count;
}

std::vector<uint8_t> copyAt(const std::vector<uint8_t>& memory, size_t base, int block) {
    const auto from = memory.begin() + static_cast<std::ptrdiff_t>(base);
    return {from, from + test::kBlocks[static_cast<size_t>(block)].length + 2};
}

// How the two copies of the set-point block stand before the write.
enum class Start { BothWhole, PrimaryBroken, BackupBroken, BackupStale };

struct Row {
    const char* name;
    Start start;
    bool change;       // whether the image's set point differs from the instrument's
    bool backupFirst;  // the order the copies must be written in
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class ChangedBytes : public testing::TestWithParam<Row> {};

TEST_P(ChangedBytes, OnlyTheDifferingBytesTravelAndMemoryEndsAsTheImage) {
    const Row& row = GetParam();
    const test::BlockRow& info = test::kBlocks[kSetPointBlock];
    SimProcess sim(
        {std::to_string(kNet) + (row.start == Start::PrimaryBroken ? ",bad-primary=13" : "")});
    ASSERT_TRUE(sim.started()) << sim.error();
    {
        // Spoils or ages the backup copy with raw byte writes.
        SimClient client(sim.linkPath(), 9600, kNet);
        ASSERT_TRUE(client.opened);
        const std::vector<uint8_t> memory = ReadStateFile(sim.stateFile(kNet));
        std::vector<uint8_t> backup = copyAt(memory, info.backup, kSetPointBlock);
        if (row.start == Start::BackupBroken) backup[info.length] ^= 0x21;
        if (row.start == Start::BackupStale) {
            backup[7] ^= 0x40;  // Ustav2 as an earlier write left it
            const uint16_t crc = test::BlockCrc(backup.data(), info.length);
            backup[info.length] = static_cast<uint8_t>(crc);
            backup[info.length + 1] = static_cast<uint8_t>(crc >> 8);
        }
        for (size_t i = 0; i < backup.size(); ++i) {
            if (backup[i] == memory[info.backup + i]) continue;
            const unsigned address = static_cast<unsigned>(info.backup + i);
            ASSERT_EQ(client.writeByte(address, backup[i]).status, 0);
        }
    }
    Link link;
    link.Device = sim.linkPath();
    link.NetNumber = kNet;
    link.ReplyTimeout = std::chrono::milliseconds(150);
    ConfigImage image;
    ASSERT_EQ(ReadConfiguration(link, image, {}), Outcome::Done) << link.LinkStatus;

    // The block as a read shows it, with the new set point: both copies must end so.
    const std::vector<uint8_t> before = ReadStateFile(sim.stateFile(kNet));
    const std::vector<uint8_t> primary = copyAt(before, info.primary, kSetPointBlock);
    std::vector<uint8_t> target = test::BlockCopyValid(primary, kSetPointBlock)
                                      ? primary
                                      : copyAt(before, info.backup, kSetPointBlock);
    ASSERT_TRUE(test::BlockCopyValid(target, kSetPointBlock));
    if (row.change) {
        image.Channels[2].Ustav1 = MakeWorkingReal(-59.825L);
        std::copy(kSetPointBytes.begin(), kSetPointBytes.end(), target.begin() + 1);
        const uint16_t crc = test::BlockCrc(target.data(), info.length);
        target[info.length] = static_cast<uint8_t>(crc);
        target[info.length + 1] = static_cast<uint8_t>(crc >> 8);
    }
    std::vector<uint8_t> expected = before;
    std::vector<ByteWrite> primaryWrites, backupWrites;
    for (const size_t base : {size_t{info.primary}, size_t{info.backup}}) {
        for (size_t i = 0; i < target.size(); ++i) {
            if (before[base + i] == target[i]) continue;
            expected[base + i] = target[i];
            (base == info.primary ? primaryWrites : backupWrites).push_back({base + i, target[i]});
        }
    }
    std::vector<ByteWrite> expectedWrites = row.backupFirst ? backupWrites : primaryWrites;
    const std::vector<ByteWrite>& later = row.backupFirst ? primaryWrites : backupWrites;
    expectedWrites.insert(expectedWrites.end(), later.begin(), later.end());
    if (row.change || row.start != Start::BothWhole) {
        ASSERT_FALSE(expectedWrites.empty());
    }

    const size_t writesBefore = heardWrites(sim.logPath()).size();
    const int readsBefore = heardCount(sim.logPath(), "211;");
    std::vector<int> progress;
    int reportedBytes = -1;
    TransferObserver observer;
    observer.progress = [&](int p) { progress.push_back(p); };
    observer.bytesWritten = [&](int count) { reportedBytes = count; };
    ASSERT_EQ(WriteConfiguration(link, image, observer), Outcome::Done) << link.LinkStatus;

    const std::vector<ByteWrite> heard = heardWrites(sim.logPath());
    EXPECT_EQ(std::vector<ByteWrite>(heard.begin() + static_cast<std::ptrdiff_t>(writesBefore),
                                     heard.end()),
              expectedWrites);
    EXPECT_EQ(ReadStateFile(sim.stateFile(kNet)), expected);
    EXPECT_EQ(reportedBytes, static_cast<int>(expectedWrites.size()));
    EXPECT_EQ(heardCount(sim.logPath(), "211;") - readsBefore, 36) << "two reads per block";
    EXPECT_EQ(heardCount(sim.logPath(), "3;"), 1) << "the closing, also after no change";
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << "the gauge went back";
    EXPECT_EQ(progress.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ChangedBytes,
    testing::Values(Row{"unchanged", Start::BothWhole, false, false},
                    Row{"one_set_point", Start::BothWhole, true, false},
                    Row{"broken_primary_repaired_first", Start::PrimaryBroken, true, false},
                    Row{"broken_primary_unchanged_image", Start::PrimaryBroken, false, false},
                    Row{"broken_backup_first", Start::BackupBroken, true, true},
                    Row{"stale_backup_first", Start::BackupStale, true, true},
                    Row{"stale_backup_unchanged_image", Start::BackupStale, false, true}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rv
