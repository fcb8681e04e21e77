#include "config/image.h"

#include <gtest/gtest.h>

#include <set>

namespace rv {
namespace {

DeviceFloat deviceBytes(const BlockBuffer& b, size_t offset) {
    return {b[offset], b[offset + 1], b[offset + 2], b[offset + 3]};
}

// Deterministic bytes that differ from block to block.
BlockBuffer patterned(int seed) {
    BlockBuffer b{};
    uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(seed + 1);
    for (uint8_t& byte : b) {
        x = x * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(x >> 24);
    }
    return b;
}

TEST(ConfigImage, StartupValues) {
    const ConfigImage image;
    for (const ChannelConfig& c : image.Channels) {
        EXPECT_EQ(c.SensorType, 6);
        EXPECT_EQ(c.Scheme, 0);
        EXPECT_EQ(c.Frac, 1);
        EXPECT_EQ(c.Usred, 1);
        EXPECT_EQ(c.Flags, 0);
        const std::pair<const WorkingReal*, DeviceFloat> reals[] = {
            {&c.Rt0, {0x87, 0x48, 0x00, 0x00}},
            {&c.RLine, {0, 0, 0, 0}},
            {&c.Delta, {0, 0, 0, 0}},
            {&c.Diap1, {0, 0, 0, 0}},
            {&c.Diap2, {0x87, 0x48, 0x00, 0x00}},
            {&c.Gist1, {0x7D, 0x4C, 0xCC, 0xCD}},
            {&c.Gist2, {0x7D, 0x4C, 0xCC, 0xCD}},
            {&c.Ustav1, {0x85, 0x48, 0x00, 0x00}},
            {&c.Ustav2, {0x86, 0x48, 0x00, 0x00}},
            {&c.AlarmLow, {0x8E, 0x9C, 0x40, 0x00}},
            {&c.AlarmHigh, {0x8E, 0x1C, 0x40, 0x00}},
        };
        for (const auto& [field, bytes] : reals) EXPECT_EQ(ToDeviceFloat(*field), bytes);
        EXPECT_EQ(c.Gist1, (WorkingReal{0x7D, false, 0x4CCCCCCCCD}));
    }
    EXPECT_EQ(image.ChannelsFitted, 0);
    EXPECT_EQ(image.RelayMask, 0);
    EXPECT_EQ(image.LoadedId, 0u);
    EXPECT_EQ(image.DialogNetNumber, 1);
    EXPECT_EQ(image.DialogSpeedIndex, 5);
    EXPECT_EQ(image.UsedChannels, 0xFF);
    EXPECT_EQ(image.Password, 0);
    EXPECT_EQ(image.DisplayPeriodByte, 11);
}

TEST(ConfigImage, DecodeThenEncodeGivesEveryByteBack) {
    // Read-modify-write of an unedited image must send back exactly what was read.
    const int writable[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20};
    for (int index : writable) {
        const BlockBuffer read = patterned(index);
        ConfigImage image;
        image.DecodeBlock(index, read);
        BlockBuffer written = read;
        image.EncodeBlock(index, written);
        EXPECT_EQ(written, read) << "block " << index;
    }
}

TEST(ConfigImage, EncodeReplacesOnlyTheBytesTheImageOwns) {
    ConfigImage image;
    for (ChannelConfig& c : image.Channels) {
        c.SensorType = 0xEE;
        c.Scheme = 0xEE;
        c.Frac = 0xEE;
        c.Usred = 0xEEEE;
        c.Flags = 0xEE;
        for (WorkingReal* r : {&c.Rt0, &c.RLine, &c.Delta, &c.Diap1, &c.Diap2, &c.Gist1, &c.Gist2,
                               &c.Ustav1, &c.Ustav2, &c.AlarmLow, &c.AlarmHigh}) {
            *r = FromDeviceFloat(DeviceFloat{0xEE, 0xEE, 0xEE, 0xEE}.data());
        }
    }
    image.RelayTable.fill(0xEE);
    image.UsedChannels = 0xEEEE;
    image.Password = 0xEEEE;
    image.DisplayPeriodByte = 0xEE;
    image.DialogNetNumber = 0xEEEE;
    image.DialogSpeedIndex = 0xEE;

    auto range = [](size_t from, size_t to) {
        std::set<size_t> s;
        for (size_t i = from; i <= to; ++i) s.insert(i);
        return s;
    };
    struct Case {
        const char* name;
        int block;
        std::set<size_t> owned;
        void (*encode)(const ConfigImage&, int, BlockBuffer&);
    };
    auto encodeBlock = [](const ConfigImage& im, int block, BlockBuffer& b) {
        im.EncodeBlock(block, b);
    };
    auto encodeNetwork = [](const ConfigImage& im, int, BlockBuffer& b) {
        im.EncodeNetworkBlock(b);
    };
    auto encodePassword = [](const ConfigImage& im, int, BlockBuffer& b) {
        im.EncodePasswordBlock(b);
    };
    const Case cases[] = {
        {"relays", 2, range(1, 50), encodeBlock},
        {"channel 1", 3, range(1, 34), encodeBlock},
        {"channel 8", 10, range(1, 34), encodeBlock},
        {"set points 3", 13, range(1, 16), encodeBlock},
        {"display period", 20, {5}, encodeBlock},
        {"not written", 1, {}, encodeBlock},
        {"calibration", 22, {}, encodeBlock},
        {"network dialog", 1, {1, 2, 3}, encodeNetwork},
        {"password dialog", 20, {1, 2}, encodePassword},
    };
    for (const Case& c : cases) {
        BlockBuffer b{};
        b.fill(0x11);
        c.encode(image, c.block, b);
        for (size_t i = 0; i < b.size(); ++i) {
            EXPECT_EQ(b[i], c.owned.count(i) ? 0xEE : 0x11) << c.name << " offset " << i;
        }
    }
}

TEST(ConfigImage, FieldPlacesInTheBlocks) {
    ConfigImage image;
    BlockBuffer b{};
    b[10] = 0x0F;
    b[11] = 0x00;  // channels fitted
    b[12] = 0x34;
    b[13] = 0x12;  // relays
    b[18] = 0x56;
    b[19] = 0x34;
    b[20] = 0x12;
    image.DecodeBlock(0, b);
    EXPECT_EQ(image.ChannelsFitted, 0x000F);
    EXPECT_EQ(image.RelayMask, 0x1234);
    EXPECT_EQ(image.LoadedId, 0x123456u);

    b = BlockBuffer{};
    b[1] = 0x2A;
    b[2] = 0x01;
    b[3] = 6;
    image.DecodeBlock(1, b);
    EXPECT_EQ(image.DialogNetNumber, 0x2A) << "the read takes the low byte alone";
    EXPECT_EQ(image.DialogSpeedIndex, 6);

    b = BlockBuffer{};
    b[2] = 0x87;
    b[3] = 0x48;  // Rt0 100
    b[24] = 0x0F;
    b[25] = 0x27;
    b[26] = 0x81;
    image.DecodeBlock(5, b);
    const ChannelConfig& ch3 = image.Channels[2];
    EXPECT_EQ(ch3.Rt0.toDouble(), 100.0);
    EXPECT_EQ(ch3.Usred, 9999);
    EXPECT_EQ(image.Channels[1].Usred, 1) << "channel 2 untouched";
    image.Channels[2].Flags &= static_cast<uint8_t>(~1u);
    image.EncodeBlock(5, b);
    EXPECT_EQ(b[26], 0x80);
    EXPECT_EQ(b[24], 0x0F);
    EXPECT_EQ(b[25], 0x27);

    image.Channels[2].Ustav1 = MakeWorkingReal(-59.825L);
    b = BlockBuffer{};
    image.EncodeBlock(13, b);
    EXPECT_EQ(deviceBytes(b, 1), (DeviceFloat{0x86, 0xEF, 0x4C, 0xCD}));
    EXPECT_EQ(deviceBytes(b, 5), (DeviceFloat{0x7D, 0x4C, 0xCC, 0xCD}));
    EXPECT_EQ(deviceBytes(b, 9), (DeviceFloat{0x86, 0x48, 0x00, 0x00}));

    b = BlockBuffer{};
    b[1] = 0x34;
    b[2] = 0x12;
    b[5] = 12;
    image.DecodeBlock(20, b);
    EXPECT_EQ(image.Password, 0x1234);
    EXPECT_EQ(image.DisplayPeriodByte, 12);

    b = BlockBuffer{};
    for (size_t k = 0; k < 48; ++k) b[k + 1] = static_cast<uint8_t>(k + 100);
    b[49] = 0x0F;
    b[50] = 0x01;
    image.DecodeBlock(2, b);
    EXPECT_EQ(image.RelayTable[0], 100);
    EXPECT_EQ(image.RelayTable[47], 147);
    EXPECT_EQ(image.UsedChannels, 0x010F);
}

TEST(ConfigImage, BlocksWithoutImageFieldsDecodeToNothing) {
    for (int index : {19, 21, 22, 25, 29, 30}) {
        ConfigImage image;
        const ConfigImage before = image;
        image.DecodeBlock(index, patterned(index));
        EXPECT_EQ(image.Channels[0].Rt0, before.Channels[0].Rt0) << index;
        EXPECT_EQ(image.Password, before.Password) << index;
        EXPECT_EQ(image.DisplayPeriodByte, before.DisplayPeriodByte) << index;
        EXPECT_EQ(image.LoadedId, before.LoadedId) << index;
        EXPECT_EQ(image.UsedChannels, before.UsedChannels) << index;
    }
}

TEST(DisplayPeriod, SecondsAndCodes) {
    const std::pair<long, uint8_t> table[] = {{1, 4}, {2, 8}, {3, 11}, {10, 36}, {70, 247}};
    for (const auto& [seconds, code] : table) EXPECT_EQ(DisplayCodeFromSeconds(seconds), code);
    for (long s = 1; s <= 70; ++s) {
        EXPECT_EQ(SecondsFromDisplayCode(DisplayCodeFromSeconds(s)), s);
    }
    const std::pair<uint8_t, int> back[] = {{0, 0},    {2, 0},    {3, 1},    {12, 3},
                                            {247, 70}, {248, 70}, {249, 71}, {255, 72}};
    for (const auto& [code, seconds] : back)
        EXPECT_EQ(SecondsFromDisplayCode(code), seconds) << int(code);
}

TEST(UsedChannels, BitFollowsTheBox) {
    struct Case {
        uint16_t mask, bit;
        bool checked;
        uint16_t result;
    };
    const Case cases[] = {
        {0x00, 0x01, true, 0x01},  {0x01, 0x01, true, 0x01}, {0xFF, 0x10, false, 0xEF},
        {0xEF, 0x10, false, 0xEF}, {0x0F, 0x80, true, 0x8F}, {0x8F, 0x80, false, 0x0F},
    };
    for (const Case& c : cases) EXPECT_EQ(UpdateUsedChannels(c.mask, c.bit, c.checked), c.result);
}

}  // namespace
}  // namespace rv
