// The configurator's operations through a real serial device server: Debian's ser2net in front
// of rv740x-sim's pseudo-terminal, by Telnet with COM-PORT-OPTION and raw. Each must end as the
// same operation over the pseudo-terminal itself does.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/calibration.h"
#include "channel/sensor_watch.h"
#include "channel/sensors.h"
#include "config/dialog_writes.h"
#include "config/transfer.h"
#include "gateway_harness.h"
#include "ops/search.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::Gateway;
using test::ReadBlockCopy;
using test::ReadStateFile;
using test::SimProcess;

constexpr int kNet = 12;

struct Line {
    const char* name;
    Gateway::Kind kind;
};

class ThroughGateway : public testing::TestWithParam<Line> {
  protected:
    // Two simulators that start alike: one behind the gateway, one on its own terminal.
    void SetUp() override {
        const std::string setup = std::to_string(kNet) + ",model=RV7406,id=0x0A0B0C,r=2:123.45";
        behind_ = std::make_unique<SimProcess>(std::vector<std::string>{setup});
        direct_ = std::make_unique<SimProcess>(std::vector<std::string>{setup});
        ASSERT_TRUE(behind_->started()) << behind_->error();
        ASSERT_TRUE(direct_->started()) << direct_->error();
        gateway_ = std::make_unique<Gateway>(behind_->linkPath(), GetParam().kind);
        ASSERT_TRUE(gateway_->started()) << gateway_->error();
        for (Link* link : {&network_, &terminal_}) link->NetNumber = kNet;
        network_.Device = gateway_->address();
        terminal_.Device = direct_->linkPath();
    }

    std::unique_ptr<SimProcess> behind_;
    std::unique_ptr<SimProcess> direct_;
    std::unique_ptr<Gateway> gateway_;
    Link network_;
    Link terminal_;
};

TEST_P(ThroughGateway, ReadAndWriteLeaveTheMemoryAsThePseudoTerminalDoes) {
    ConfigImage overNetwork;
    ConfigImage overTerminal;
    ASSERT_EQ(ReadConfiguration(network_, overNetwork, {}), Outcome::Done)
        << network_.LinkStatus << " " << network_.LinkDetail;
    ASSERT_EQ(ReadConfiguration(terminal_, overTerminal, {}), Outcome::Done);
    EXPECT_EQ(overNetwork, overTerminal);
    EXPECT_EQ(overNetwork.LoadedId, 0x0A0B0Cu);

    // A set point, an averaging count and the display period changed on several channels.
    ConfigImage edited = overTerminal;
    edited.Channels[0].Ustav1 = MakeWorkingReal(-12.5L);
    edited.Channels[3].Usred = 7;
    edited.Channels[5].Ustav2 = MakeWorkingReal(1234.75L);
    edited.DisplayPeriodByte = 4;
    const std::vector<uint8_t> before = ReadStateFile(behind_->stateFile(kNet));
    ASSERT_EQ(WriteConfiguration(network_, edited, {}), Outcome::Done)
        << network_.LinkStatus << " " << network_.LinkDetail;
    ASSERT_EQ(WriteConfiguration(terminal_, edited, {}), Outcome::Done);
    const std::vector<uint8_t> after = ReadStateFile(behind_->stateFile(kNet));
    ASSERT_EQ(after.size(), 65536u);
    EXPECT_NE(after, before);
    EXPECT_TRUE(after == ReadStateFile(direct_->stateFile(kNet)))
        << "the memory differs from the one written over the pseudo-terminal";
}

TEST_P(ThroughGateway, CalibrationAndSensorWatchMeasureAsOverThePseudoTerminal) {
    const auto subRange = CalibrationSubRange(6);
    ASSERT_TRUE(subRange.has_value());
    const MeasurementResult a = MeasureResistance(network_, 1, *subRange, {});
    const MeasurementResult b = MeasureResistance(terminal_, 1, *subRange, {});
    ASSERT_EQ(a.end, MeasurementEnd::Measured) << network_.LinkStatus << network_.LinkDetail;
    ASSERT_EQ(b.end, MeasurementEnd::Measured);
    EXPECT_EQ(a.resistance, b.resistance);
    EXPECT_NEAR(static_cast<double>(a.resistance), 123.45, 0.05);

    WatchSetup setup;
    setup.channelIndex = 1;
    std::vector<double> readings[2];
    for (int i = 0; i < 2; ++i) {
        Link& link = i == 0 ? network_ : terminal_;
        const Outcome outcome = WatchSensor(
            link, setup,
            [&](const WatchAnswer& answer) { readings[i].push_back(answer.point.resistance); },
            [&] { return readings[i].size() < 15; });
        ASSERT_EQ(outcome, Outcome::Done) << link.LinkStatus << " " << link.LinkDetail;
    }
    EXPECT_EQ(readings[0], readings[1]);
    EXPECT_NEAR(readings[0].back(), 123.45, 0.05);
}

// Password FFFF puts 0xFF in both of its bytes: written and read back through the gateway.
TEST_P(ThroughGateway, PasswordWhoseBytesAreFFRoundTrips) {
    ConfigImage image;
    ASSERT_EQ(ReadConfiguration(network_, image, {}), Outcome::Done) << network_.LinkDetail;
    image.Password = 0xFFFF;
    ASSERT_EQ(WritePassword(network_, image, {}), Outcome::Done)
        << network_.LinkStatus << " " << network_.LinkDetail;
    const std::vector<uint8_t> copy = ReadBlockCopy(behind_->stateFile(kNet), 20, false);
    ASSERT_GE(copy.size(), 3u);
    EXPECT_EQ(copy[1], 0xFF);
    EXPECT_EQ(copy[2], 0xFF);
    ConfigImage back;
    ASSERT_EQ(ReadConfiguration(network_, back, {}), Outcome::Done);
    EXPECT_EQ(back.Password, 0xFFFF);
}

INSTANTIATE_TEST_SUITE_P(Ser2net, ThroughGateway,
                         testing::Values(Line{"rfc2217", Gateway::Kind::Rfc2217},
                                         Line{"raw", Gateway::Kind::RawTcp}),
                         [](const auto& info) { return std::string(info.param.name); });

// One instrument at each of four speeds: the gateway's port follows each speed the search
// sets, and each speed finds its instrument alone.
TEST(GatewaySearch, EachOfFourSpeedsFindsItsInstrument) {
    SimProcess sim({"1,speed=2400", "2,speed=4800", "3,speed=9600", "4,speed=19200"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Gateway gateway(sim.linkPath(), Gateway::Kind::Rfc2217);
    ASSERT_TRUE(gateway.started()) << gateway.error();
    Link link;
    link.Device = gateway.address();
    const std::vector<std::pair<int, unsigned>> expected{{3, 1}, {4, 2}, {5, 3}, {6, 4}};
    for (const auto& [speedIndex, net] : expected) {
        link.applySpeedIndex(speedIndex);
        std::vector<unsigned> found;
        SearchObserver observer;
        observer.found = [&](unsigned n) { found.push_back(n); };
        ASSERT_EQ(SearchLine(link, SearchTimeoutOfSpeedIndex(speedIndex), observer, {1, 4}),
                  Outcome::Done)
            << link.LinkStatus << " " << link.LinkDetail;
        EXPECT_EQ(found, std::vector<unsigned>{net}) << link.BaudRate << " baud";
    }
}

}  // namespace
}  // namespace rv
