#include "config/dialog_writes.h"

#include <gtest/gtest.h>

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

constexpr int kNet = 21;

void attach(Link& link, const SimProcess& sim) {
    link.Device = sim.linkPath();
    link.NetNumber = kNet;
    link.ReplyTimeout = std::chrono::milliseconds(150);
}

TEST(WriteNetworkSettings, InstrumentTakesTheNewNumberAndSpeed) {
    SimProcess sim({std::to_string(kNet)});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    image.DialogNetNumber = 7;
    image.DialogSpeedIndex = 6;
    std::vector<int> progress;
    ASSERT_EQ(WriteNetworkSettings(link, image, [&](int p) { progress.push_back(p); }),
              Outcome::Done)
        << link.LinkStatus;
    EXPECT_EQ(progress, (std::vector<int>{30, 75}));
    EXPECT_FALSE(link.port.isOpen());
    EXPECT_EQ(link.NetNumber, static_cast<uint32_t>(kNet))
        << "the window switches, not the operation";
    EXPECT_EQ(link.BaudRate, 9600u);
    for (bool backup : {false, true}) {
        const std::vector<uint8_t> copy = ReadBlockCopy(sim.stateFile(kNet), 1, backup);
        ASSERT_TRUE(test::BlockCopyValid(copy, 1));
        EXPECT_EQ(std::vector<uint8_t>(copy.begin() + 1, copy.begin() + 4),
                  (std::vector<uint8_t>{7, 0, 6}));
    }

    // The old address no longer answers; the new number at the new speed does.
    EXPECT_EQ(WritePassword(link, image, {}), Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, status::kNoReply);
    link.NetNumber = 7;
    link.applySpeedIndex(6);
    EXPECT_EQ(WritePassword(link, image, {}), Outcome::Done) << link.LinkStatus;
}

TEST(WritePassword, ReplacesThePasswordOnly) {
    SimProcess sim({std::to_string(kNet) + ",password=1234"});
    ASSERT_TRUE(sim.started()) << sim.error();
    const std::vector<uint8_t> before = ReadBlockCopy(sim.stateFile(kNet), 20, false);
    Link link;
    attach(link, sim);
    ConfigImage image;
    image.Password = 0xABCD;
    image.DisplayPeriodByte = 36;
    image.DialogNetNumber = 99;
    std::vector<int> progress;
    ASSERT_EQ(WritePassword(link, image, [&](int p) { progress.push_back(p); }), Outcome::Done)
        << link.LinkStatus;
    EXPECT_EQ(progress, (std::vector<int>{30, 75}));
    for (bool backup : {false, true}) {
        const std::vector<uint8_t> copy = ReadBlockCopy(sim.stateFile(kNet), 20, backup);
        ASSERT_TRUE(test::BlockCopyValid(copy, 20));
        EXPECT_EQ(copy[1], 0xCD);
        EXPECT_EQ(copy[2], 0xAB);
        EXPECT_EQ(copy[3], before[3]);
        EXPECT_EQ(copy[4], before[4]);
        // The display period stays as the instrument holds it, not as the image has it.
        EXPECT_EQ(copy[5], before[5]);
    }
    const std::vector<uint8_t> network = ReadBlockCopy(sim.stateFile(kNet), 1, false);
    EXPECT_EQ(network[1], kNet);
}

struct DialogFailure {
    const char* name;
    std::string switches;
    bool network;
    int status;
    bool blockWritten;
    size_t progressReports;
};

void PrintTo(const DialogFailure& c, std::ostream* os) { *os << c.name; }

class DialogWriteFailure : public testing::TestWithParam<DialogFailure> {};

TEST_P(DialogWriteFailure, ReportsTheStatus) {
    const DialogFailure& c = GetParam();
    SimProcess sim({std::to_string(kNet) + c.switches});
    ASSERT_TRUE(sim.started()) << sim.error();
    const int block = c.network ? 1 : 20;
    const std::vector<uint8_t> before = ReadBlockCopy(sim.stateFile(kNet), block, true);
    Link link;
    attach(link, sim);
    ConfigImage image;
    image.DialogNetNumber = 8;
    image.Password = 0x4321;
    std::vector<int> progress;
    const auto observe = [&](int p) { progress.push_back(p); };
    EXPECT_EQ(c.network ? WriteNetworkSettings(link, image, observe)
                        : WritePassword(link, image, observe),
              Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, c.status);
    EXPECT_FALSE(link.port.isOpen());
    EXPECT_EQ(ReadBlockCopy(sim.stateFile(kNet), block, true) != before, c.blockWritten);
    EXPECT_EQ(progress.size(), c.progressReports);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogWriteFailure,
    testing::Values(
        DialogFailure{"network_other_family", ",family=18", true, status::kNotRv740x, false, 0},
        DialogFailure{"password_other_family", ",family=18", false, status::kNotRv740x, false, 0},
        DialogFailure{"network_silent", ",silent", true, status::kNoReply, false, 0},
        DialogFailure{"network_block_lost", ",bad-both=1", true, status::kMemoryData, false, 0},
        DialogFailure{"password_block_lost", ",bad-both=20", false, status::kMemoryData, false, 0},
        DialogFailure{"password_wrong_echo", ",bad-echo=2", false, status::kMemoryData, false, 1},
        DialogFailure{"network_closing_refused", ",close=1", true, status::kExchange, true, 2},
        DialogFailure{"password_closing_refused", ",close=1", false, status::kExchange, true, 2}),
    [](const testing::TestParamInfo<DialogFailure>& info) { return std::string(info.param.name); });

TEST(WriteNetworkSettings, RefusedClosingLeavesTheInstrumentAtItsNumber) {
    SimProcess sim({std::to_string(kNet) + ",close=1"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    ConfigImage image;
    image.DialogNetNumber = 8;
    EXPECT_EQ(WriteNetworkSettings(link, image, {}), Outcome::Failed);
    // The instrument did not switch, so it still answers at its old number.
    EXPECT_EQ(WritePassword(link, image, {}), Outcome::Failed);
    EXPECT_EQ(link.LinkStatus, status::kExchange) << "answered, with the refused closing again";
}

}  // namespace
}  // namespace rv
