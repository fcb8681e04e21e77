// Every named field, end to end: an instrument whose memory holds a distinct value in every
// field is read, and the image must show each value; the image is then changed field by
// field, written, and the instrument's memory must hold each new value at its place. Bytes
// are laid out with the tests' own block map, never the configurator's.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "instrument_map.h"
#include "sim_harness.h"

namespace rv {
namespace {

using test::SimOptions;
using test::SimProcess;
using test::TempDir;
namespace at = test::at;

constexpr int kNet = 9;

using Block = std::vector<uint8_t>;  // identifier, data: `length` bytes

Block EmptyBlock(int index) {
    Block b(test::kBlocks[static_cast<size_t>(index)].length, 0);
    b[0] = static_cast<uint8_t>(test::kBlocks[static_cast<size_t>(index)].id);
    return b;
}

void PutReal(Block& b, size_t offset, long value) {
    const auto bytes = test::DeviceBytes(value);
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(offset));
}

void Put16(Block& b, size_t offset, unsigned value) {
    b[offset] = static_cast<uint8_t>(value & 0xFF);
    b[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// Both copies of the block, with its CRC, into a memory image.
void Store(std::vector<uint8_t>& memory, int index, const Block& b) {
    const test::BlockRow& row = test::kBlocks[static_cast<size_t>(index)];
    const uint16_t crc = test::BlockCrc(b.data(), b.size());
    for (unsigned base : {row.primary, row.backup}) {
        std::copy(b.begin(), b.end(), memory.begin() + base);
        memory[base + row.length] = static_cast<uint8_t>(crc & 0xFF);
        memory[base + row.length + 1] = static_cast<uint8_t>(crc >> 8);
    }
}

// Channel n's reals are 1000 n + k for field k, its bytes 16 k + n.
long RealOf(int n, int k) { return 1000L * n + k; }
uint8_t ByteOf(int n, int k) { return static_cast<uint8_t>(16 * k + n); }

std::vector<uint8_t> DistinctMemory() {
    std::vector<uint8_t> memory(65536, 0);
    for (int index = 0; index < test::kBlockRows; ++index) Store(memory, index, EmptyBlock(index));

    Block b0 = EmptyBlock(0);
    Put16(b0, at::ChannelsFitted, 0xFF);
    Put16(b0, at::RelayMask, 0x5A);
    b0[at::LoadedId] = 0x33;
    b0[at::LoadedId + 1] = 0x22;
    b0[at::LoadedId + 2] = 0x11;
    Store(memory, 0, b0);

    Block b1 = EmptyBlock(1);
    Put16(b1, at::NetNumber, kNet);
    b1[at::SpeedIndex] = 5;
    Store(memory, 1, b1);

    Block b2 = EmptyBlock(2);
    for (size_t k = 0; k < 48; ++k) b2[at::RelayTable + k] = static_cast<uint8_t>(200 - k);
    Put16(b2, at::UsedChannels, 0xA5);
    Store(memory, 2, b2);

    for (int n = 1; n <= 8; ++n) {
        Block m = EmptyBlock(2 + n);
        m[at::SensorType] = ByteOf(n, 1);
        PutReal(m, at::Rt0, RealOf(n, 1));
        PutReal(m, at::RLine, RealOf(n, 2));
        PutReal(m, at::Delta, -RealOf(n, 3));
        m[at::Scheme] = ByteOf(n, 2);
        m[at::Frac] = ByteOf(n, 3);
        PutReal(m, at::Diap1, -RealOf(n, 4));
        PutReal(m, at::Diap2, RealOf(n, 5));
        Put16(m, at::Usred, 0x100 * n + 0x21);
        m[at::Flags] = ByteOf(n, 4);
        PutReal(m, at::AlarmLow, -RealOf(n, 6));
        PutReal(m, at::AlarmHigh, RealOf(n, 7));
        m[at::ChannelKept] = ByteOf(n, 5);
        Store(memory, 2 + n, m);

        Block s = EmptyBlock(10 + n);
        PutReal(s, at::Ustav1, RealOf(n, 8));
        PutReal(s, at::Gist1, RealOf(n, 9));
        PutReal(s, at::Ustav2, RealOf(n, 10));
        PutReal(s, at::Gist2, RealOf(n, 11));
        Store(memory, 10 + n, s);
    }

    Block b20 = EmptyBlock(20);
    Put16(b20, at::Password, 0xBEEF);
    b20[at::PasswordKept] = 0x44;
    b20[at::PasswordKept + 1] = 0x55;
    b20[at::DisplayPeriod] = 36;
    Store(memory, 20, b20);
    return memory;
}

double RealAt(const std::vector<uint8_t>& memory, unsigned address) {
    // The instrument's real read straight from its definition.
    const uint8_t* p = &memory[address];
    if (p[0] == 0) return 0.0;
    const double fraction = ((p[1] & 0x7F) * 65536.0 + p[2] * 256.0 + p[3]) / 8388608.0;
    const double v = std::ldexp(1.0 + fraction, p[0] - 129);
    return (p[1] & 0x80) ? -v : v;
}

unsigned U16At(const std::vector<uint8_t>& memory, unsigned address) {
    return memory[address] | (memory[address + 1] << 8);
}

class GoldenFields : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(state_.path().empty());
        const std::vector<uint8_t> memory = DistinctMemory();
        std::ofstream out(state_.path() + "/" + std::to_string(kNet) + ".mem", std::ios::binary);
        out.write(reinterpret_cast<const char*>(memory.data()), static_cast<long>(memory.size()));
        out.close();
        ASSERT_TRUE(out);
        SimOptions options;
        options.instruments = {std::to_string(kNet)};
        options.stateDir = state_.path();
        sim_ = std::make_unique<SimProcess>(options);
        ASSERT_TRUE(sim_->started()) << sim_->error();
        link_.Device = sim_->linkPath();
        link_.NetNumber = kNet;
        link_.ReplyTimeout = std::chrono::milliseconds(300);
    }

    TempDir state_;
    std::unique_ptr<SimProcess> sim_;
    Link link_;
};

TEST_F(GoldenFields, ReadShowsEveryFieldAsStored) {
    ConfigImage image;
    ASSERT_EQ(ReadConfiguration(link_, image, {}), Outcome::Done) << link_.LinkStatus;
    EXPECT_EQ(image.ChannelsFitted, 0xFF);
    EXPECT_EQ(image.RelayMask, 0x5A);
    EXPECT_EQ(image.LoadedId, 0x112233u);
    EXPECT_EQ(image.DialogNetNumber, kNet);
    EXPECT_EQ(image.DialogSpeedIndex, 5);
    for (size_t k = 0; k < 48; ++k) EXPECT_EQ(image.RelayTable[k], 200 - k) << "relay byte " << k;
    EXPECT_EQ(image.UsedChannels, 0xA5);
    EXPECT_EQ(image.Password, 0xBEEF);
    EXPECT_EQ(image.DisplayPeriodByte, 36);
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE("channel " + std::to_string(n));
        const ChannelConfig& c = image.Channels[static_cast<size_t>(n - 1)];
        EXPECT_EQ(c.SensorType, ByteOf(n, 1));
        EXPECT_EQ(c.Rt0.toDouble(), RealOf(n, 1));
        EXPECT_EQ(c.RLine.toDouble(), RealOf(n, 2));
        EXPECT_EQ(c.Delta.toDouble(), -RealOf(n, 3));
        EXPECT_EQ(c.Scheme, ByteOf(n, 2));
        EXPECT_EQ(c.Frac, ByteOf(n, 3));
        EXPECT_EQ(c.Diap1.toDouble(), -RealOf(n, 4));
        EXPECT_EQ(c.Diap2.toDouble(), RealOf(n, 5));
        EXPECT_EQ(c.Usred, 0x100 * n + 0x21);
        EXPECT_EQ(c.Flags, ByteOf(n, 4));
        EXPECT_EQ(c.AlarmLow.toDouble(), -RealOf(n, 6));
        EXPECT_EQ(c.AlarmHigh.toDouble(), RealOf(n, 7));
        EXPECT_EQ(c.Ustav1.toDouble(), RealOf(n, 8));
        EXPECT_EQ(c.Gist1.toDouble(), RealOf(n, 9));
        EXPECT_EQ(c.Ustav2.toDouble(), RealOf(n, 10));
        EXPECT_EQ(c.Gist2.toDouble(), RealOf(n, 11));
    }
}

TEST_F(GoldenFields, WritePutsEveryFieldInItsPlace) {
    ConfigImage image;
    ASSERT_EQ(ReadConfiguration(link_, image, {}), Outcome::Done) << link_.LinkStatus;
    // New values: channel n's reals 500 n + k, its bytes 0x80 + 8 k + n.
    auto real = [](int n, int k) { return 500L * n + k; };
    auto byte = [](int n, int k) { return static_cast<uint8_t>(0x80 + 8 * k + n); };
    for (int n = 1; n <= 8; ++n) {
        ChannelConfig& c = image.Channels[static_cast<size_t>(n - 1)];
        c.SensorType = byte(n, 1);
        c.Scheme = byte(n, 2);
        c.Frac = byte(n, 3);
        c.Flags = byte(n, 4);
        c.Usred = static_cast<uint16_t>(0x300 * n + 7);
        WorkingReal* reals[] = {&c.Rt0,       &c.RLine,  &c.Delta, &c.Diap1,  &c.Diap2, &c.AlarmLow,
                                &c.AlarmHigh, &c.Ustav1, &c.Gist1, &c.Ustav2, &c.Gist2};
        for (int k = 0; k < 11; ++k)
            *reals[k] = MakeWorkingReal(static_cast<long double>(real(n, k + 1)));
    }
    for (size_t k = 0; k < 48; ++k) image.RelayTable[k] = static_cast<uint8_t>(k + 3);
    image.UsedChannels = 0x3C;
    image.DisplayPeriodByte = 247;
    ASSERT_EQ(WriteConfiguration(link_, image, {}), Outcome::Done) << link_.LinkStatus;

    const std::vector<uint8_t> memory = test::ReadStateFile(sim_->stateFile(kNet));
    ASSERT_FALSE(memory.empty());
    for (const bool backup : {false, true}) {
        SCOPED_TRACE(backup ? "backup copy" : "primary copy");
        auto base = [&](int index) {
            const test::BlockRow& row = test::kBlocks[static_cast<size_t>(index)];
            return backup ? row.backup : row.primary;
        };
        for (size_t k = 0; k < 48; ++k) EXPECT_EQ(memory[base(2) + at::RelayTable + k], k + 3);
        EXPECT_EQ(U16At(memory, base(2) + at::UsedChannels), 0x3Cu);
        EXPECT_EQ(memory[base(20) + at::DisplayPeriod], 247);
        EXPECT_EQ(U16At(memory, base(20) + at::Password), 0xBEEFu);
        EXPECT_EQ(memory[base(20) + at::PasswordKept], 0x44);
        EXPECT_EQ(memory[base(20) + at::PasswordKept + 1], 0x55);
        for (int n = 1; n <= 8; ++n) {
            SCOPED_TRACE("channel " + std::to_string(n));
            const unsigned m = base(2 + n);
            const unsigned s = base(10 + n);
            EXPECT_EQ(memory[m + at::SensorType], byte(n, 1));
            EXPECT_EQ(memory[m + at::Scheme], byte(n, 2));
            EXPECT_EQ(memory[m + at::Frac], byte(n, 3));
            EXPECT_EQ(memory[m + at::Flags], byte(n, 4));
            EXPECT_EQ(U16At(memory, m + at::Usred), 0x300u * n + 7);
            EXPECT_EQ(memory[m + at::ChannelKept], ByteOf(n, 5)) << "kept as read";
            const std::pair<unsigned, int> places[] = {
                {m + at::Rt0, 1},       {m + at::RLine, 2},  {m + at::Delta, 3},
                {m + at::Diap1, 4},     {m + at::Diap2, 5},  {m + at::AlarmLow, 6},
                {m + at::AlarmHigh, 7}, {s + at::Ustav1, 8}, {s + at::Gist1, 9},
                {s + at::Ustav2, 10},   {s + at::Gist2, 11},
            };
            for (const auto& [address, k] : places)
                EXPECT_EQ(RealAt(memory, address), real(n, k)) << "field " << k;
        }
    }
}

}  // namespace
}  // namespace rv
