// The configurator's tables and field places against the instrument's description, written
// down independently in instrument_map.h and here.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/sensors.h"
#include "config/image.h"
#include "devmem/block_table.h"
#include "instrument_map.h"
#include "link/crc.h"
#include "link/link.h"
#include "link/status.h"
#include "link/timeouts.h"

namespace rv {
namespace {

TEST(InstrumentPins, EveryRowOfTheBlockTable) {
    ASSERT_EQ(BlockTable.size(), static_cast<size_t>(test::kBlockRows));
    for (int i = 0; i < test::kBlockRows; ++i) {
        const BlockInfo& got = BlockTable[static_cast<size_t>(i)];
        const test::BlockRow& want = test::kBlocks[static_cast<size_t>(i)];
        EXPECT_EQ(got.primary, want.primary) << "block " << i;
        EXPECT_EQ(got.backup, want.backup) << "block " << i;
        EXPECT_EQ(got.length, want.length) << "block " << i;
        EXPECT_EQ(got.id, want.id) << "block " << i;
    }
    EXPECT_EQ(kBlockReadBytes, 53) << "the largest copy: length 51 + 2 CRC bytes";
}

TEST(InstrumentPins, BlockCrcWorkedExample) {
    // Block 1 holding 07 01 00 05 carries the CRC 0x4C92.
    const uint8_t block1[] = {0x07, 0x01, 0x00, 0x05};
    EXPECT_EQ(Crc16(block1, sizeof block1, kBlockCrcStart), 0x4C92);
    EXPECT_EQ(test::BlockCrc(block1, sizeof block1), 0x4C92);
}

// The sensor-type list item by item, as the instrument's catalogue writes it (Latin M in the
// copper types, Cyrillic П in the platinum ones, Latin O in "Oм"), with the calibration
// sub-range of each type (-1: refused).
TEST(InstrumentPins, SensorCatalogue) {
    const std::pair<std::string, int> catalogue[] = {
        {"  50M    (W=1.428)", 1},
        {"  50M    (W=1.426)", 1},
        {"  100M  (W=1.428)", 0},
        {"  100M  (W=1.426)", 0},
        {"  50П    (W=1.391)", 1},
        {"  100П  (W=1.391)", 0},
        {"  Pt100  (W=1.385)", 0},
        {"  ХромельАлюмель", -1},
        {"  ХромельКапель", -1},
        {"  ПлатинаПлатина(S)", -1},
        {"  ВольфрамРений(A)-1", -1},
        {"  ЖелезоКонстантан", -1},
        {"  Ток     0...+5 мА", -1},
        {"  Ток     0...+20 мА", -1},
        {"  Ток  +4...+20 мА", -1},
        {"  Напряжение       0...+100 мВ", -1},
        {"  Напряжение       0...+75 мВ", -1},
        {"  Сопротивление 0...320 Oм", 0},
    };
    ASSERT_EQ(kSensorTypes.size(), std::size(catalogue));
    for (size_t code = 0; code < kSensorTypes.size(); ++code) {
        EXPECT_EQ(kSensorTypes[code].text, catalogue[code].first) << "type " << code;
        EXPECT_EQ(CalibrationSubRange(static_cast<int>(code)).value_or(-1), catalogue[code].second)
            << "type " << code;
    }
}

// The outcome codes by their numbers in the instrument's failure table: tests elsewhere name
// them by constant, so a constant with a wrong number would pass there unnoticed.
TEST(InstrumentPins, StatusCodeNumbers) {
    const std::pair<int32_t, int32_t> codes[] = {
        {status::kOk, 0},
        {status::kPortOpen, 5},
        {status::kPortSetup, 6},
        {status::kExchange, 7},
        {status::kMemoryWrite, 8},
        {status::kNoReply, 9},
        {status::kUnknownDevice, 10},
        {status::kReplyLength, 15},
        {status::kPortWrite, 16},
        {status::kDataCorrupt, 17},
        {status::kPortRead, 18},
        {status::kRequestLimit, 19},
        {status::kNoSuchPort, 21},
        {status::kMemoryData, 30},
        {status::kNotRv740x, 31},
        {status::kOtherDevice, 32},
        {status::kCalibrationPoints, 35},
    };
    for (const auto& [constant, number] : codes) EXPECT_EQ(constant, number);
}

// A day fraction written as decimal text, in microseconds, exactly.
long long Microseconds(const std::string& days) {
    const size_t point = days.find('.');
    const std::string digits = days.substr(0, point) + days.substr(point + 1);
    long long scale = 1;
    for (size_t i = point + 1; i < days.size(); ++i) scale *= 10;
    const long long product = std::stoll(digits) * 86'400'000'000LL;
    EXPECT_EQ(product % scale, 0) << days << " day is not a whole number of microseconds";
    return product / scale;
}

TEST(InstrumentPins, SpeedAndTimeOutTables) {
    struct Case {
        int index;
        uint32_t baud;
        const char* replyDays;
        const char* searchDays;
    };
    const Case cases[] = {
        {0, 300, "0.000161", "0.0000161"},     {1, 600, "0.000092", "0.00000805"},
        {2, 1200, "0.00005175", "0.00000805"}, {3, 2400, "0.00002875", "0.00000805"},
        {4, 4800, "0.00001725", "0.0000069"},  {5, 9600, "0.0000115", "0.00000575"},
        {6, 19200, "0.0000115", "0.00000575"}, {-1, 9600, "0.0000115", "0.00000575"},
        {7, 9600, "0.0000115", "0.00000575"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BaudOfSpeedIndex(c.index), c.baud) << c.index;
        EXPECT_EQ(ReplyTimeoutOfSpeedIndex(c.index).count(), Microseconds(c.replyDays)) << c.index;
        EXPECT_EQ(SearchTimeoutOfSpeedIndex(c.index).count(), Microseconds(c.searchDays))
            << c.index;
        Link link;
        link.applySpeedIndex(c.index);
        EXPECT_EQ(link.BaudRate, c.baud) << c.index;
        EXPECT_EQ(link.ReplyTimeout.count(), Microseconds(c.replyDays)) << c.index;
    }
    EXPECT_EQ(kInitialReplyTimeout.count(), Microseconds("0.0000046"));
    EXPECT_EQ(kMeasurementExtraTimeout.count(), Microseconds("0.000115"));
}

void Put(BlockBuffer& b, size_t at, const std::array<uint8_t, 4>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) b[at + i] = bytes[i];
}

// Every named field of every block gets its own value from hand-made bytes; a field read
// from the wrong place, the wrong block or in the wrong byte order shows.
TEST(InstrumentPins, GoldenDecodeOfEveryField) {
    ConfigImage image;
    BlockBuffer b{};
    b.fill(0xEE);
    b[test::at::ChannelsFitted] = 0x3F;
    b[test::at::ChannelsFitted + 1] = 0x01;
    b[test::at::RelayMask] = 0x0F;
    b[test::at::RelayMask + 1] = 0x02;
    b[test::at::LoadedId] = 0x56;
    b[test::at::LoadedId + 1] = 0x34;
    b[test::at::LoadedId + 2] = 0x12;
    image.DecodeBlock(0, b);
    EXPECT_EQ(image.ChannelsFitted, 0x013F);
    EXPECT_EQ(image.RelayMask, 0x020F);
    EXPECT_EQ(image.LoadedId, 0x123456u);

    b.fill(0xEE);
    b[test::at::NetNumber] = 0x2A;
    b[test::at::NetNumber + 1] = 0x01;
    b[test::at::SpeedIndex] = 6;
    image.DecodeBlock(1, b);
    EXPECT_EQ(image.DialogNetNumber, 0x2A) << "the read takes the low byte alone";
    EXPECT_EQ(image.DialogSpeedIndex, 6);

    b.fill(0xEE);
    for (size_t k = 0; k < 48; ++k) b[test::at::RelayTable + k] = static_cast<uint8_t>(k + 100);
    b[test::at::UsedChannels] = 0x0F;
    b[test::at::UsedChannels + 1] = 0x01;
    image.DecodeBlock(2, b);
    for (size_t k = 0; k < 48; ++k) EXPECT_EQ(image.RelayTable[k], k + 100) << "relay byte " << k;
    EXPECT_EQ(image.UsedChannels, 0x010F);

    b.fill(0xEE);
    b[test::at::Password] = 0x34;
    b[test::at::Password + 1] = 0x12;
    b[test::at::DisplayPeriod] = 12;
    image.DecodeBlock(20, b);
    EXPECT_EQ(image.Password, 0x1234);
    EXPECT_EQ(image.DisplayPeriodByte, 12);

    // Channel n's main settings are block 2 + n, its set points block 10 + n; channel n's
    // reals are 100 n + 1 .. 100 n + 11, its bytes n + 16, n + 32, ...
    for (int n = 1; n <= 8; ++n) {
        const long base = 100L * n;
        b.fill(0xEE);
        b[test::at::SensorType] = static_cast<uint8_t>(n + 16);
        Put(b, test::at::Rt0, test::DeviceBytes(base + 1));
        Put(b, test::at::RLine, test::DeviceBytes(base + 2));
        Put(b, test::at::Delta, test::DeviceBytes(-(base + 3)));
        b[test::at::Scheme] = static_cast<uint8_t>(n + 32);
        b[test::at::Frac] = static_cast<uint8_t>(n + 48);
        Put(b, test::at::Diap1, test::DeviceBytes(base + 4));
        Put(b, test::at::Diap2, test::DeviceBytes(base + 5));
        b[test::at::Usred] = static_cast<uint8_t>(n);
        b[test::at::Usred + 1] = 0x27;
        b[test::at::Flags] = static_cast<uint8_t>(0x80 + n);
        Put(b, test::at::AlarmLow, test::DeviceBytes(-(base + 6)));
        Put(b, test::at::AlarmHigh, test::DeviceBytes(base + 7));
        image.DecodeBlock(2 + n, b);

        b.fill(0xEE);
        Put(b, test::at::Ustav1, test::DeviceBytes(base + 8));
        Put(b, test::at::Gist1, test::DeviceBytes(base + 9));
        Put(b, test::at::Ustav2, test::DeviceBytes(base + 10));
        Put(b, test::at::Gist2, test::DeviceBytes(base + 11));
        image.DecodeBlock(10 + n, b);
    }
    for (int n = 1; n <= 8; ++n) {
        const ChannelConfig& c = image.Channels[static_cast<size_t>(n - 1)];
        const double base = 100.0 * n;
        SCOPED_TRACE("channel " + std::to_string(n));
        EXPECT_EQ(c.SensorType, n + 16);
        EXPECT_EQ(c.Rt0.toDouble(), base + 1);
        EXPECT_EQ(c.RLine.toDouble(), base + 2);
        EXPECT_EQ(c.Delta.toDouble(), -(base + 3));
        EXPECT_EQ(c.Scheme, n + 32);
        EXPECT_EQ(c.Frac, n + 48);
        EXPECT_EQ(c.Diap1.toDouble(), base + 4);
        EXPECT_EQ(c.Diap2.toDouble(), base + 5);
        EXPECT_EQ(c.Usred, 0x2700 + n);
        EXPECT_EQ(c.Flags, 0x80 + n);
        EXPECT_EQ(c.AlarmLow.toDouble(), -(base + 6));
        EXPECT_EQ(c.AlarmHigh.toDouble(), base + 7);
        EXPECT_EQ(c.Ustav1.toDouble(), base + 8);
        EXPECT_EQ(c.Gist1.toDouble(), base + 9);
        EXPECT_EQ(c.Ustav2.toDouble(), base + 10);
        EXPECT_EQ(c.Gist2.toDouble(), base + 11);
    }
}

TEST(InstrumentPins, TheTestsOwnRealsMatchTheDescriptionsExamples) {
    EXPECT_EQ(test::DeviceBytes(100), (std::array<uint8_t, 4>{0x87, 0x48, 0x00, 0x00}));
    EXPECT_EQ(test::DeviceBytes(-10000), (std::array<uint8_t, 4>{0x8E, 0x9C, 0x40, 0x00}));
}

}  // namespace
}  // namespace rv
