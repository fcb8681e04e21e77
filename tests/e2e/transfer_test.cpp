#include "config/transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "link/status.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::ReadBlockCopy;
using test::ReadStateFile;
using test::SimProcess;

constexpr int kNet = 12;
const std::vector<int> kReadOrder{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                  15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28, 29};

void attach(Link& link, const SimProcess& sim) {
    link.Device = sim.linkPath();
    link.NetNumber = kNet;
    link.ReplyTimeout = std::chrono::milliseconds(150);
}

std::string instrumentArg(const std::string& tail = "") { return std::to_string(kNet) + tail; }

int countLogLines(const std::string& path, const std::string& needle) {
    std::ifstream in(path);
    int count = 0;
    for (std::string line; std::getline(in, line);) count += line.find(needle) != std::string::npos;
    return count;
}

// What the window would see of an operation.
struct Seen {
    std::vector<int> progress;
    std::vector<int> decoded;
    std::vector<std::string> versions;

    TransferObserver observer() {
        return {[this](int p) { progress.push_back(p); },
                [this](const std::string& v) { versions.push_back(v); },
                [this](int b, const BlockBuffer&) { decoded.push_back(b); },
                {}};
    }
};

BlockBuffer storedBlock(const SimProcess& sim, int index) {
    BlockBuffer b{};
    const std::vector<uint8_t> copy = ReadBlockCopy(sim.stateFile(kNet), index, false);
    std::copy(copy.begin(), copy.end(), b.begin());
    return b;
}

TEST(ReadConfiguration, CompleteReadDecodesEveryBlockAsStored) {
    SimProcess sim({instrumentArg(",model=RV7406,version=3.12,id=0x0A0B0C,password=1234")});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    Seen seen;
    ASSERT_EQ(ReadConfiguration(link, image, seen.observer()), Outcome::Done) << link.LinkStatus;
    EXPECT_EQ(link.LinkStatus, 0);
    EXPECT_FALSE(link.port.isOpen());
    EXPECT_EQ(seen.versions, std::vector<std::string>{"3.12"});
    EXPECT_EQ(seen.decoded, kReadOrder);
    ASSERT_EQ(seen.progress.size(), 29u);
    for (size_t i = 0; i < seen.progress.size(); ++i) {
        EXPECT_EQ(seen.progress[i], static_cast<int>(2 * (i + 1) * 100 / 58));
    }
    EXPECT_EQ(seen.progress[0], 3);
    EXPECT_EQ(seen.progress[2], 10);
    EXPECT_EQ(image.LoadedId, 0x0A0B0Cu);
    EXPECT_EQ(image.ChannelsFitted, 0x3F);
    EXPECT_EQ(image.Password, 0x1234);
    EXPECT_EQ(image.DialogNetNumber, kNet);
    EXPECT_EQ(image.DialogSpeedIndex, 5);
    // Encoding what was decoded must reproduce every stored block byte for byte.
    for (int index : {2, 3, 8, 10, 11, 15, 18, 20}) {
        const BlockBuffer stored = storedBlock(sim, index);
        BlockBuffer again = stored;
        image.EncodeBlock(index, again);
        EXPECT_EQ(again, stored) << index;
    }
}

TEST(ReadConfiguration, InstrumentWithoutIdentificationValueLoadsNothingWritable) {
    SimProcess sim({instrumentArg(",id=0")});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    image.LoadedId = 77;
    Seen seen;
    EXPECT_EQ(ReadConfiguration(link, image, seen.observer()), Outcome::Done);
    EXPECT_EQ(image.LoadedId, 0u);
    EXPECT_EQ(seen.decoded.size(), 29u);
}

TEST(ReadConfiguration, CancelAfterBlock3KeepsWhatWasDecoded) {
    SimProcess sim({instrumentArg()});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    image.LoadedId = 5;
    image.Channels[1].Usred = 4321;
    Seen seen;
    TransferObserver observer = seen.observer();
    observer.blockDecoded = [&](int b, const rv::BlockBuffer&) {
        seen.decoded.push_back(b);
        if (b == 3) link.CancelFlag.request();
    };
    EXPECT_EQ(ReadConfiguration(link, image, observer), Outcome::Cancelled);
    EXPECT_EQ(seen.decoded, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(image.LoadedId, 0u);
    EXPECT_FALSE(link.port.isOpen());
    const BlockBuffer channel1 = storedBlock(sim, 3);
    BlockBuffer encoded = channel1;
    image.EncodeBlock(3, encoded);
    EXPECT_EQ(encoded, channel1) << "channel 1 holds the instrument's values";
    EXPECT_EQ(image.Channels[1].Usred, 4321) << "channel 2 keeps its former values";
    EXPECT_EQ(countLogLines(sim.logPath(), "\"text\":\"211;"), 4);
}

struct ReadFailure {
    const char* name;
    std::string switches;
    int status;
    size_t blocksDecoded;
    size_t versions;
};

void PrintTo(const ReadFailure& c, std::ostream* os) { *os << c.name; }

class ReadConfigurationFailure : public testing::TestWithParam<ReadFailure> {};

TEST_P(ReadConfigurationFailure, ReportsTheStatusAndUnloads) {
    const ReadFailure& c = GetParam();
    SimProcess sim({instrumentArg(c.switches)});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    image.LoadedId = 9;
    Seen seen;
    EXPECT_EQ(ReadConfiguration(link, image, seen.observer()), Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, c.status);
    EXPECT_EQ(image.LoadedId, 0u);
    EXPECT_EQ(seen.decoded.size(), c.blocksDecoded);
    EXPECT_EQ(seen.versions.size(), c.versions);
    EXPECT_FALSE(link.port.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadConfigurationFailure,
    testing::Values(ReadFailure{"other_family", ",family=18", status::kNotRv740x, 0, 0},
                    ReadFailure{"silent", ",silent", status::kNoReply, 0, 0},
                    ReadFailure{"never_ends", ",no-cr", status::kExchange, 0, 0},
                    ReadFailure{"calibration_block_lost", ",bad-both=25", status::kMemoryData, 24,
                                1},
                    ReadFailure{"first_block_lost", ",bad-both=0", status::kMemoryData, 0, 1}),
    [](const testing::TestParamInfo<ReadFailure>& info) { return std::string(info.param.name); });

TEST(ReadConfiguration, SpoiltPrimaryCopiesAreReadFromTheBackup) {
    SimProcess sim({instrumentArg(",bad-primary=0,bad-primary=13,bad-primary=29,garbage")});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    Seen seen;
    EXPECT_EQ(ReadConfiguration(link, image, seen.observer()), Outcome::Done) << link.LinkStatus;
    EXPECT_EQ(image.LoadedId, 0x010203u);
    EXPECT_EQ(countLogLines(sim.logPath(), "\"text\":\"211;"), 32);
}

TEST(Transfer, PortThatCannotBeOpened) {
    Link link;
    link.Device = "/nonexistent/line";
    ConfigImage image;
    image.LoadedId = 3;
    Seen seen;
    EXPECT_EQ(ReadConfiguration(link, image, seen.observer()), Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, status::kPortOpen);
    EXPECT_EQ(image.LoadedId, 0u);
    link.LinkStatus = 0;
    EXPECT_EQ(WriteConfiguration(link, image, seen.observer()), Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, status::kPortOpen);
}

TEST(WriteConfiguration, UneditedImageGoesBackByteForByte) {
    SimProcess sim({instrumentArg(",password=1234")});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    Seen seen;
    ASSERT_EQ(ReadConfiguration(link, image, seen.observer()), Outcome::Done);
    const std::vector<uint8_t> before = ReadStateFile(sim.stateFile(kNet));
    ASSERT_FALSE(before.empty());

    image.Password = 0xBEEF;  // the dialog's business: the whole write keeps the instrument's
    Seen writing;
    EXPECT_EQ(WriteConfiguration(link, image, writing.observer()), Outcome::Done)
        << link.LinkStatus;
    EXPECT_EQ(link.LinkStatus, 0);
    EXPECT_FALSE(link.port.isOpen());
    EXPECT_EQ(ReadStateFile(sim.stateFile(kNet)), before);
    // Nothing differs, so nothing is written; the closing still goes.
    EXPECT_EQ(countLogLines(sim.logPath(), "\"text\":\"202;"), 0);
    EXPECT_EQ(countLogLines(sim.logPath(), "\"text\":\"3;\""), 1);
    ASSERT_FALSE(writing.progress.empty());
    EXPECT_EQ(writing.progress.back(), 100);
    EXPECT_TRUE(writing.decoded.empty());
}

TEST(WriteConfiguration, ChangedSetPointTravelsInItsBlockOnly) {
    SimProcess sim({instrumentArg()});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    ASSERT_EQ(ReadConfiguration(link, image, {}), Outcome::Done);
    std::vector<uint8_t> expected = ReadStateFile(sim.stateFile(kNet));

    image.Channels[2].Ustav1 = MakeWorkingReal(-59.825L);
    image.Channels[2].Flags ^= 1;
    image.DisplayPeriodByte = DisplayCodeFromSeconds(70);
    for (int index : {5, 13, 20}) {
        BlockBuffer b = storedBlock(sim, index);
        image.EncodeBlock(index, b);
        const test::BlockRow& info = test::kBlocks[static_cast<size_t>(index)];
        const uint16_t crc = test::BlockCrc(b.data(), info.length);
        b[info.length] = static_cast<uint8_t>(crc);
        b[info.length + 1] = static_cast<uint8_t>(crc >> 8);
        for (unsigned base : {unsigned{info.primary}, unsigned{info.backup}}) {
            std::copy(b.begin(), b.begin() + info.length + 2, expected.begin() + base);
        }
    }
    const std::vector<uint8_t> block13 = ReadBlockCopy(sim.stateFile(kNet), 13, false);

    EXPECT_EQ(WriteConfiguration(link, image, {}), Outcome::Done) << link.LinkStatus;
    EXPECT_EQ(ReadStateFile(sim.stateFile(kNet)), expected);
    const std::vector<uint8_t> now13 = ReadBlockCopy(sim.stateFile(kNet), 13, false);
    EXPECT_EQ(std::vector<uint8_t>(now13.begin() + 1, now13.begin() + 5),
              (std::vector<uint8_t>{0x86, 0xEF, 0x4C, 0xCD}));
    EXPECT_EQ(std::vector<uint8_t>(now13.begin() + 5, now13.begin() + 17),
              std::vector<uint8_t>(block13.begin() + 5, block13.begin() + 17));
    EXPECT_EQ(ReadBlockCopy(sim.stateFile(kNet), 20, true)[5], 247);
}

struct WriteFailure {
    const char* name;
    std::string switches;
    int status;
    int byteWrites;  // byte writes the instrument heard, or kEveryChange
    bool closingSent;
    int lostBlock = 0;  // a block neither of whose copies may change
};

// As many byte writes as bytes of the memory changed.
constexpr int kEveryChange = -1;

void PrintTo(const WriteFailure& c, std::ostream* os) { *os << c.name; }

class WriteConfigurationFailure : public testing::TestWithParam<WriteFailure> {};

TEST_P(WriteConfigurationFailure, ReportsTheStatus) {
    const WriteFailure& c = GetParam();
    SimProcess sim({instrumentArg(c.switches)});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    Seen seen;
    const std::vector<uint8_t> before = ReadStateFile(sim.stateFile(kNet));
    EXPECT_EQ(WriteConfiguration(link, image, seen.observer()), Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, c.status);
    EXPECT_FALSE(link.port.isOpen());
    const int heard = countLogLines(sim.logPath(), "\"text\":\"202;");
    const std::vector<uint8_t> after = ReadStateFile(sim.stateFile(kNet));
    if (c.byteWrites == kEveryChange) {
        // Each byte written held another value before, so the writes are the bytes changed.
        int changed = 0;
        for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
        EXPECT_GT(heard, 0);
        EXPECT_EQ(heard, changed);
    } else {
        EXPECT_EQ(heard, c.byteWrites);
    }
    if (c.lostBlock > 0) {
        const test::BlockRow& info = test::kBlocks[static_cast<size_t>(c.lostBlock)];
        for (const size_t base : {size_t{info.primary}, size_t{info.backup}}) {
            const auto from = static_cast<std::ptrdiff_t>(base);
            EXPECT_TRUE(std::equal(after.begin() + from, after.begin() + from + info.length + 2,
                                   before.begin() + from))
                << "a copy of the lost block changed";
        }
    }
    EXPECT_EQ(countLogLines(sim.logPath(), "\"text\":\"3;\""), c.closingSent ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WriteConfigurationFailure,
    testing::Values(WriteFailure{"other_family", ",family=18", status::kNotRv740x, 0, false},
                    WriteFailure{"silent", ",silent", status::kNoReply, 0, false},
                    WriteFailure{"set_point_block_lost", ",bad-both=13", status::kMemoryData,
                                 kEveryChange, false, 13},
                    WriteFailure{"wrong_echo", ",bad-echo=200", status::kMemoryData, 200, false},
                    WriteFailure{"closing_refused", ",close=5", status::kExchange, kEveryChange,
                                 true}),
    [](const testing::TestParamInfo<WriteFailure>& info) { return std::string(info.param.name); });

TEST(WriteConfiguration, SpoiltPrimaryIsRepairedByTheWrite) {
    SimProcess sim({instrumentArg(",bad-primary=4")});
    ASSERT_TRUE(sim.started()) << sim.error();
    ASSERT_FALSE(test::BlockCopyValid(ReadBlockCopy(sim.stateFile(kNet), 4, false), 4));
    Link link;
    attach(link, sim);
    ConfigImage image;
    ASSERT_EQ(ReadConfiguration(link, image, {}), Outcome::Done);
    EXPECT_EQ(WriteConfiguration(link, image, {}), Outcome::Done);
    const std::vector<uint8_t> primary = ReadBlockCopy(sim.stateFile(kNet), 4, false);
    EXPECT_TRUE(test::BlockCopyValid(primary, 4));
    EXPECT_EQ(primary, ReadBlockCopy(sim.stateFile(kNet), 4, true));
}

}  // namespace
}  // namespace rv
