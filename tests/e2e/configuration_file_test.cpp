#include "configfile/configuration_file.h"

#include <gtest/gtest.h>

#include "config/relay_table.h"
#include "configfile/difference.h"
#include "configfile/value_texts.h"
#include "sim_client.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::ReadBlockCopy;
using test::ReadStateFile;
using test::SimProcess;

constexpr int kNet = 7;

void attach(Link& link, const SimProcess& sim) {
    link.Device = sim.linkPath();
    link.NetNumber = kNet;
    link.ReplyTimeout = std::chrono::milliseconds(150);
}

// Changes data bytes of a block straight in the simulator, the way another program would.
void changeInSimulator(const SimProcess& sim, int block, const std::vector<uint8_t>& data) {
    test::SimClient client(sim.linkPath(), 9600, kNet);
    ASSERT_TRUE(client.opened);
    ASSERT_TRUE(test::WriteBlockImage(client, block, data));
}

class ConfigurationFileOnTheLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.started()) << sim.error();
        attach(link, sim);
        ASSERT_EQ(ReadConfiguration(link, image, {}, &record), Outcome::Done) << link.LinkStatus;
        path =
            dir.path() + "/" + DefaultConfigurationFileName(image, record.NetNumber, "2026-12-07");
        std::string error;
        ASSERT_TRUE(SaveConfigurationFile(path, image, record, error)) << error;
        before = ReadStateFile(sim.stateFile(kNet));
        ASSERT_FALSE(before.empty());
    }

    // Another sensor type and a spare byte on channel 1, set point 1 of channel 3 at 30,
    // one relay cell, the password and a spare byte of block 20.
    void changeMemory() {
        std::vector<uint8_t> main1 = record.Raw[3];
        oldType = main1[0];
        main1[0] = static_cast<uint8_t>(oldType == 13 ? 12 : 13);
        main1[34] ^= 0x5A;
        changeInSimulator(sim, 3, main1);
        std::vector<uint8_t> points3 = record.Raw[13];
        points3[0] = 0x85;  // 30
        points3[1] = 0x70;
        points3[2] = points3[3] = 0;
        changeInSimulator(sim, 13, points3);
        std::vector<uint8_t> relays = record.Raw[2];
        RelayTableBytes table{};
        std::copy_n(relays.begin(), table.size(), table.begin());
        oldCode = RelayCode(table, 3, 3);
        SetRelayCode(table, 3, 3, (oldCode + 1) % 4);
        std::copy(table.begin(), table.end(), relays.begin());
        changeInSimulator(sim, 2, relays);
        std::vector<uint8_t> password = ReadBlockCopy(sim.stateFile(kNet), 20, false);
        password.erase(password.begin());
        password.resize(5);
        password[0] = 0x99;
        password[1] = 0x99;
        password[2] ^= 0xFF;
        changeInSimulator(sim, 20, password);
    }

    SimProcess sim{{std::to_string(kNet) + ",password=1234"}};
    test::TempDir dir;
    Link link;
    ConfigImage image;
    InstrumentRecord record;
    std::string path;
    std::vector<uint8_t> before;
    int oldType = 0;
    int oldCode = 0;
};

TEST_F(ConfigurationFileOnTheLine, OpenedFileWritesTheMemoryBackByteForByteButThePassword) {
    changeMemory();
    ASSERT_NE(ReadStateFile(sim.stateFile(kNet)), before);
    ConfigurationFile file;
    const LoadResult loaded = LoadConfigurationFile(path, file);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    ASSERT_EQ(WriteConfiguration(link, file.Image, {}, &file.Instrument.Raw), Outcome::Done)
        << link.LinkStatus;

    const std::vector<uint8_t> after = ReadStateFile(sim.stateFile(kNet));
    std::vector<uint8_t> expected = before;
    // Only the two password bytes (and the copies' CRCs) keep the instrument's new value.
    for (bool backup : {false, true}) {
        const test::BlockRow& info = test::kBlocks[20];
        const size_t base = backup ? info.backup : info.primary;
        for (size_t k : {size_t{1}, size_t{2}, size_t{info.length}, size_t{info.length + 1u}})
            expected[base + k] = after[base + k];
        EXPECT_EQ(after[base + 1], 0x99);
        EXPECT_EQ(after[base + 2], 0x99);
        EXPECT_TRUE(test::BlockCopyValid(ReadBlockCopy(sim.stateFile(kNet), 20, backup), 20));
    }
    EXPECT_EQ(after, expected);
}

TEST_F(ConfigurationFileOnTheLine, CompareFindsExactlyTheChangedFields) {
    changeMemory();
    ConfigurationFile file;
    ASSERT_TRUE(LoadConfigurationFile(path, file).ok);
    ConfigImage now;
    ASSERT_EQ(ReadConfiguration(link, now, {}), Outcome::Done);
    const std::vector<FieldDifference> d = CompareConfigurations(file.Image, now);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].channel, 1);
    EXPECT_EQ(d[0].field, "Тип  датчика");
    EXPECT_EQ(d[0].left, SensorTypeText(oldType));
    EXPECT_EQ(d[0].right, SensorTypeText(oldType == 13 ? 12 : 13));
    EXPECT_EQ(d[1].channel, 3);
    EXPECT_EQ(d[1].field, "Уставка 1");
    EXPECT_EQ(d[1].right, "30");
    EXPECT_EQ(d[2].channel, 2);
    EXPECT_EQ(d[2].field, "Реле4: Уставка 1");
    EXPECT_EQ(d[2].left, RelayCodeText(3, oldCode));
    EXPECT_EQ(d[2].right, RelayCodeText(3, (oldCode + 1) % 4));
}

TEST(ConfigurationFileIdentity, FileOfAnRV7408MeetsAnRV7406) {
    SimProcess sim({std::to_string(kNet) + ",model=RV7406"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Link link;
    attach(link, sim);
    InstrumentIdentity target;
    ASSERT_EQ(ReadIdentity(link, target), Outcome::Done) << link.LinkStatus;
    EXPECT_EQ(target.Family, "17");
    EXPECT_EQ(target.ChannelsFitted, 0x3F);
    EXPECT_EQ(target.RelayMask, 0x3F);
    const InstrumentIdentity file{"17", 0xFF, 0xFF};
    EXPECT_EQ(IdentityDifferences(file, target),
              (std::vector<std::string>{
                  "Модель: в файле RV7408 (каналы 00FF), прибор RV7406 (каналы 003F)",
                  "Маска реле: в файле 00FF, в приборе 003F"}));
}

}  // namespace
}  // namespace rv
