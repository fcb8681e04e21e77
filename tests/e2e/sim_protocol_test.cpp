#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "case_name.h"
#include "e2e/sim_client.h"
#include "instrument_map.h"
#include "sim_harness.h"

namespace rv::test {
namespace {

struct IdentityCase {
    std::string setup;
    unsigned net;
    std::string family;
    std::string version;
};

class SimIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(SimIdentity, AnswersIdentificationAndVersion) {
    const IdentityCase& c = GetParam();
    SimProcess sim({c.setup});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, c.net);
    ASSERT_TRUE(client.opened) << client.link.LinkStatus;

    const Answer id = client.ask("0;", 1);
    ASSERT_EQ(id.status, 0) << id.reply;
    EXPECT_EQ(id.fields[0], c.family);
    const Answer version = client.ask("198;", 1);
    ASSERT_EQ(version.status, 0) << version.reply;
    EXPECT_EQ(version.fields[0], c.version);
}

INSTANTIATE_TEST_SUITE_P(
    Setups, SimIdentity,
    ::testing::Values(IdentityCase{"1", 1, "17", "2.07"},
                      IdentityCase{"5,model=RV7406,version=3.12", 5, "17", "3.12"},
                      IdentityCase{"254,family=18,version=1.0", 254, "18", "1.0"},
                      IdentityCase{"77,version=$12.-3", 77, "17", "$12.-3"}),
    [](const auto& info) { return rv::test::CaseName(info.param.setup); });

struct ModelCase {
    std::string setup;
    unsigned net;
    uint16_t channels;
    uint16_t relays;
    uint32_t id;
    uint8_t speedIndex;
};

class SimMemory : public ::testing::TestWithParam<ModelCase> {};

// Every copy of every block reads back with its identifier and a matching block CRC, equal
// to what the memory file holds, and the factory image says what the setup asked for.
TEST_P(SimMemory, EveryBlockCopyIsReadableAndConsistent) {
    const ModelCase& c = GetParam();
    SimProcess sim({c.setup});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), c.speedIndex == 6 ? 19200 : 9600, c.net);
    ASSERT_TRUE(client.opened);

    for (int block = 0; block < kBlockRows; ++block) {
        const BlockRow& info = kBlocks[block];
        for (bool backup : {false, true}) {
            SCOPED_TRACE("block " + std::to_string(block) + (backup ? " backup" : " primary"));
            const std::vector<uint8_t> bytes =
                client.readBytes(backup ? info.backup : info.primary);
            ASSERT_EQ(bytes.size(), 53u);
            const std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + info.length + 2);
            EXPECT_TRUE(BlockCopyValid(copy, block));
            EXPECT_EQ(copy, ReadBlockCopy(sim.stateFile(static_cast<int>(c.net)), block, backup));
        }
    }

    const std::vector<uint8_t> b0 = client.readBytes(kBlocks[0].primary);
    ASSERT_EQ(b0.size(), 53u);
    EXPECT_EQ(b0[10] | (b0[11] << 8), c.channels);
    EXPECT_EQ(b0[12] | (b0[13] << 8), c.relays);
    EXPECT_EQ(static_cast<uint32_t>(b0[18] | (b0[19] << 8) | (b0[20] << 16)), c.id);

    const std::vector<uint8_t> b1 = client.readBytes(kBlocks[1].primary);
    ASSERT_EQ(b1.size(), 53u);
    EXPECT_EQ(b1[1] | (b1[2] << 8), static_cast<int>(c.net));
    EXPECT_EQ(b1[3], c.speedIndex);

    // Calibration entries 3 and 4 must turn raw differences into ohms sensibly.
    for (int ch = 0; ch < 8; ++ch) {
        const std::vector<uint8_t> cal = client.readBytes(kBlocks[22 + ch].primary);
        ASSERT_EQ(cal.size(), 53u);
        for (int k : {3, 4}) {
            const size_t at = 5 + 8 * static_cast<size_t>(k);
            const double scale = DeviceFloatValue(&cal[at + 4]);
            EXPECT_GT(scale, 0.0) << "channel " << ch + 1 << " entry " << k;
            EXPECT_LT(scale, 1.0);
            EXPECT_LT(std::abs(Signed16(cal, at)), 100);
            EXPECT_LT(std::abs(Signed16(cal, at + 2)), 100);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, SimMemory,
    ::testing::Values(ModelCase{"3,model=RV7406", 3, 0x003F, 0x003F, 0x010203, 5},
                      ModelCase{"200,model=RV7408,id=0,relays=0x0F,speed=19200", 200, 0x00FF,
                                0x000F, 0, 6},
                      ModelCase{"9,id=0xABCDEF", 9, 0x00FF, 0x00FF, 0xABCDEF, 5}),
    [](const auto& info) { return rv::test::CaseName(info.param.setup); });

TEST(SimWrite, StoresEchoesAndWritesThrough) {
    SimProcess sim({"4"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 4);
    ASSERT_TRUE(client.opened);

    const unsigned address = kBlocks[20].primary + 5;
    for (unsigned value : {0u, 1u, 200u, 255u}) {
        const Answer echo = client.writeByte(address, value);
        ASSERT_EQ(echo.status, 0) << echo.reply;
        EXPECT_EQ(echo.fields[0], std::to_string(value));
        const std::vector<uint8_t> back = client.readBytes(address);
        ASSERT_FALSE(back.empty());
        EXPECT_EQ(back[0], value);
        EXPECT_EQ(ReadStateFile(sim.stateFile(4)).at(address), value);
    }
}

// Requests the instrument must not answer. Each is followed by one it does answer; the
// simulator works through the line in order, so a single reply in its log proves that none
// of the others was answered, however late, without waiting out long time-outs.
struct SilenceCase {
    std::string name;
    std::vector<std::string> commands;
};

class SimSilence : public ::testing::TestWithParam<SilenceCase> {};

TEST_P(SimSilence, NoAnswerAndNothingStored) {
    SimProcess sim({"4"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 4);
    ASSERT_TRUE(client.opened);
    const std::vector<uint8_t> before = ReadStateFile(sim.stateFile(4));
    ASSERT_FALSE(before.empty());

    for (const std::string& command : GetParam().commands) {
        EXPECT_EQ(client.ask(command, 1, std::chrono::milliseconds(20)).status, 9) << command;
    }
    EXPECT_EQ(client.ask("0;", 1).status, 0);
    EXPECT_EQ(LogLinesWith(sim.logPath(), "\"dir\":\"rx\""),
              static_cast<int>(GetParam().commands.size()) + 1);
    EXPECT_EQ(AwaitLogLines(sim.logPath(), "\"dir\":\"tx\"", 1), 1);
    EXPECT_EQ(ReadStateFile(sim.stateFile(4)), before);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SimSilence,
    ::testing::Values(SilenceCase{"RefusedWrites",
                                  {"202;51735;100;1;", "202;51736;100;256;", "202;51736;65536;1;",
                                   "202;51736;100;", "202;51736;100;1;2;"}},
                      SilenceCase{
                          "UnknownOrMalformed",
                          {"1;", "0;0;", "198;1;", "211;41219;", "211;41219;54;", "211;41219;0;",
                           "211;65500;53;", "2;15;32720;", "2;24;32720;", "2;16;32722;", "3;0;"}}),
    [](const auto& info) { return info.param.name; });

TEST(SimNetwork, EndOfWriteSequenceAppliesNewNumberAndSpeed) {
    SimProcess sim({"6"});
    ASSERT_TRUE(sim.started()) << sim.error();
    {
        SimClient client(sim.linkPath(), 9600, 6);
        ASSERT_TRUE(client.opened);
        ASSERT_TRUE(WriteBlockImage(client, 1, {17, 0, 4}));
        // Stored but not yet in force.
        EXPECT_EQ(client.ask("0;", 1).status, 0);
        const Answer close = client.ask("3;", 1);
        ASSERT_EQ(close.status, 0);
        EXPECT_EQ(close.fields[0], "0");
        EXPECT_EQ(client.ask("0;", 1).status, 9) << "old number still answers";
        client.link.NetNumber = 17;
        EXPECT_EQ(client.ask("0;", 1).status, 9) << "new number answers at the old speed";
    }
    SimClient client(sim.linkPath(), 4800, 17);
    ASSERT_TRUE(client.opened);
    const Answer id = client.ask("0;", 1);
    ASSERT_EQ(id.status, 0);
    EXPECT_EQ(id.fields[0], "17");
}

struct SpeedCase {
    uint32_t instrumentSpeed;
    uint32_t lineSpeed;
    int32_t status;
};

class SimSpeed : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SimSpeed, AnswersOnlyAtItsOwnSpeed) {
    const SpeedCase& c = GetParam();
    SimProcess sim({"8,speed=" + std::to_string(c.instrumentSpeed)});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), c.lineSpeed, 8);
    ASSERT_TRUE(client.opened);
    EXPECT_EQ(client.ask("0;", 1).status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Speeds, SimSpeed,
                         ::testing::Values(SpeedCase{9600, 9600, 0}, SpeedCase{9600, 19200, 9},
                                           SpeedCase{9600, 4800, 9}, SpeedCase{300, 300, 0},
                                           SpeedCase{19200, 19200, 0}, SpeedCase{2400, 9600, 9}),
                         [](const auto& info) {
                             return "Instrument" + std::to_string(info.param.instrumentSpeed) +
                                    "Line" + std::to_string(info.param.lineSpeed);
                         });

TEST(SimLine, TwoInstrumentsAnswerOnlyToTheirOwnNumbers) {
    SimProcess sim({"3,version=1.11", "4,version=2.22,model=RV7406"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 3);
    ASSERT_TRUE(client.opened);

    struct Expect {
        unsigned net;
        int32_t status;
        std::string version;
    };
    for (const Expect& e : {Expect{3, 0, "1.11"}, Expect{4, 0, "2.22"}, Expect{5, 9, ""},
                            Expect{0, 9, ""}, Expect{3, 0, "1.11"}}) {
        client.link.NetNumber = e.net;
        const Answer a = client.ask("198;", 1);
        EXPECT_EQ(a.status, e.status) << "net " << e.net;
        if (a.status == 0) {
            EXPECT_EQ(a.fields[0], e.version) << "net " << e.net;
        }
    }
    // Each keeps its own memory.
    client.link.NetNumber = 4;
    ASSERT_EQ(client.writeByte(100, 44).status, 0);
    client.link.NetNumber = 3;
    const std::vector<uint8_t> other = client.readBytes(100);
    ASSERT_FALSE(other.empty());
    EXPECT_EQ(other[0], 0);
}

struct MeasureCase {
    std::string setup;
    unsigned channelCode;
    unsigned mode;
    double ohms;
};

class SimMeasure : public ::testing::TestWithParam<MeasureCase> {};

// The difference D of the two numbers, with entry 4 - s of the channel's calibration block,
// gives back the resistance on the input: (D + A - B) * C.
TEST_P(SimMeasure, DifferenceGivesTheInputResistance) {
    const MeasureCase& c = GetParam();
    SimProcess sim({c.setup});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 2);
    ASSERT_TRUE(client.opened);

    const unsigned channel = c.channelCode - 16;
    const std::vector<uint8_t> cal = client.readBytes(kBlocks[22 + channel].primary);
    ASSERT_EQ(cal.size(), 53u);
    const size_t at = 5 + 8 * (4 - (c.mode - 32720));
    const int a = Signed16(cal, at);
    const int b = Signed16(cal, at + 2);
    const double scale = DeviceFloatValue(&cal[at + 4]);

    const Answer m =
        client.ask("2;" + std::to_string(c.channelCode) + ";" + std::to_string(c.mode) + ";", 2,
                   kShortTimeout);
    ASSERT_EQ(m.status, 0) << m.reply;
    long first = 0;
    long second = 0;
    ASSERT_TRUE(ParseLinkInteger(m.fields[0], first));
    ASSERT_TRUE(ParseLinkInteger(m.fields[1], second));
    const double ohms = static_cast<double>(first - second + a - b) * scale;
    EXPECT_NEAR(ohms, c.ohms, scale / 2 + 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Channels, SimMeasure,
                         ::testing::Values(MeasureCase{"2", 16, 32720, 100.0},  // R0 of channel 1
                                           MeasureCase{"2", 17, 32721,
                                                       50.0},  // 50-ohm sensor, entry 3
                                           MeasureCase{"2,r=3:109.73", 18, 32720, 109.73},
                                           MeasureCase{"2,r=8:53.5", 23, 32721, 53.5},
                                           MeasureCase{"2,r=6:319.99", 21, 32720, 319.99}),
                         [](const auto& info) {
                             return rv::test::CaseName(info.param.setup + " code " +
                                                       std::to_string(info.param.channelCode) +
                                                       " mode " + std::to_string(info.param.mode));
                         });

TEST(SimMeasure, ChannelNotFittedGivesAnErrorAnswer) {
    SimProcess sim({"2,model=RV7406"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 2);
    ASSERT_TRUE(client.opened);
    EXPECT_EQ(client.ask("2;22;32720;", 2).status, 7);
    const Answer error = client.ask("2;22;32720;", 1);
    ASSERT_EQ(error.status, 0);
    EXPECT_FALSE(error.fields[0].empty());
}

TEST(SimMeasure, FollowsAConfiguredR0) {
    SimProcess sim({"2"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 2);
    ASSERT_TRUE(client.opened);
    // Channel 2's R0 set to 25.0 (85 48 00 00) in the primary copy only.
    const BlockRow& info = kBlocks[4];
    std::vector<uint8_t> data = client.readBytes(info.primary);
    ASSERT_EQ(data.size(), 53u);
    data.assign(data.begin() + 1, data.begin() + info.length);
    const uint8_t r0[4] = {0x85, 0x48, 0x00, 0x00};
    std::copy(r0, r0 + 4, data.begin() + 1);
    ASSERT_TRUE(WriteBlockImage(client, 4, data, true));

    const Answer m = client.ask("2;17;32721;", 2);
    ASSERT_EQ(m.status, 0);
    const std::vector<uint8_t> cal = client.readBytes(kBlocks[23].primary);
    ASSERT_EQ(cal.size(), 53u);
    const double ohms =
        (std::stol(m.fields[0]) - std::stol(m.fields[1]) + Signed16(cal, 29) - Signed16(cal, 31)) *
        DeviceFloatValue(&cal[33]);
    EXPECT_NEAR(ohms, 25.0, 0.01);
}

}  // namespace
}  // namespace rv::test

namespace rv::test {
namespace {

// A calibration block can be rewritten over the line with any factor. One so small that the
// input resistance would take more counts than a reading can carry is an entry the
// instrument cannot measure with: it says so with a single field, and it goes on answering.
TEST(SimMeasure, UnusableCalibrationFactorGivesAnErrorAnswer) {
    const uint8_t factors[][4] = {
        {0x01, 0x00, 0x00, 0x00},  // 2^-128
        {0x01, 0x80, 0x00, 0x00},  // -2^-128
        {0x1D, 0x22, 0x42, 0x60},  // about 1e-30
    };
    SimProcess sim({"2"});
    ASSERT_TRUE(sim.started()) << sim.error();
    SimClient client(sim.linkPath(), 9600, 2);
    ASSERT_TRUE(client.opened);
    const BlockRow& info = kBlocks[22];
    std::vector<uint8_t> original = client.readBytes(info.primary);
    ASSERT_EQ(original.size(), 53u);
    for (const auto& factor : factors) {
        std::vector<uint8_t> data(original.begin() + 1, original.begin() + info.length);
        std::copy(factor, factor + 4, data.begin() + 40);  // entry 4's factor at offset 41
        ASSERT_TRUE(WriteBlockImage(client, 22, data));

        EXPECT_EQ(client.ask("2;16;32720;", 2).status, 7) << int{factor[0]};
        const Answer error = client.ask("2;16;32720;", 1);
        ASSERT_EQ(error.status, 0) << error.reply;
        EXPECT_FALSE(error.fields[0].empty());
        const Answer id = client.ask("0;", 1);
        ASSERT_EQ(id.status, 0);
        EXPECT_EQ(id.fields[0], "17");
    }
}

}  // namespace
}  // namespace rv::test
