#include "config/image.h"

namespace rv {

namespace {

constexpr int kFirstChannelBlock = 3;
constexpr int kFirstSetPointBlock = 11;
constexpr int kNetworkBlock = 1;
constexpr int kRelayBlock = 2;
constexpr int kPasswordBlock = 20;

uint16_t get16(const BlockBuffer& b, size_t offset) {
    return static_cast<uint16_t>(b[offset] | (b[offset + 1] << 8));
}

void put16(BlockBuffer& b, size_t offset, uint16_t value) {
    b[offset] = static_cast<uint8_t>(value);
    b[offset + 1] = static_cast<uint8_t>(value >> 8);
}

WorkingReal getReal(const BlockBuffer& b, size_t offset) { return FromDeviceFloat(&b[offset]); }

void putReal(BlockBuffer& b, size_t offset, const WorkingReal& value) {
    const DeviceFloat bytes = ToDeviceFloat(value);
    for (size_t i = 0; i < bytes.size(); ++i) b[offset + i] = bytes[i];
}

// Byte offsets of the fields in a channel's main-settings block.
namespace main_block {
constexpr size_t SensorType = 1, Rt0 = 2, RLine = 6, Delta = 10, Scheme = 14, Frac = 15, Diap1 = 16,
                 Diap2 = 20, Usred = 24, Flags = 26, AlarmLow = 27, AlarmHigh = 31;
}

// Byte offsets of the fields in a channel's set-point block.
namespace set_point_block {
constexpr size_t Ustav1 = 1, Gist1 = 5, Ustav2 = 9, Gist2 = 13;
}

void decodeMainSettings(ChannelConfig& c, const BlockBuffer& b) {
    using namespace main_block;
    c.SensorType = b[SensorType];
    c.Rt0 = getReal(b, Rt0);
    c.RLine = getReal(b, RLine);
    c.Delta = getReal(b, Delta);
    c.Scheme = b[Scheme];
    c.Frac = b[Frac];
    c.Diap1 = getReal(b, Diap1);
    c.Diap2 = getReal(b, Diap2);
    c.Usred = get16(b, Usred);
    c.Flags = b[Flags];
    c.AlarmLow = getReal(b, AlarmLow);
    c.AlarmHigh = getReal(b, AlarmHigh);
}

void encodeMainSettings(const ChannelConfig& c, BlockBuffer& b) {
    using namespace main_block;
    b[SensorType] = c.SensorType;
    putReal(b, Rt0, c.Rt0);
    putReal(b, RLine, c.RLine);
    putReal(b, Delta, c.Delta);
    b[Scheme] = c.Scheme;
    b[Frac] = c.Frac;
    putReal(b, Diap1, c.Diap1);
    putReal(b, Diap2, c.Diap2);
    put16(b, Usred, c.Usred);
    b[Flags] = c.Flags;
    putReal(b, AlarmLow, c.AlarmLow);
    putReal(b, AlarmHigh, c.AlarmHigh);
}

void decodeSetPoints(ChannelConfig& c, const BlockBuffer& b) {
    using namespace set_point_block;
    c.Ustav1 = getReal(b, Ustav1);
    c.Gist1 = getReal(b, Gist1);
    c.Ustav2 = getReal(b, Ustav2);
    c.Gist2 = getReal(b, Gist2);
}

void encodeSetPoints(const ChannelConfig& c, BlockBuffer& b) {
    using namespace set_point_block;
    putReal(b, Ustav1, c.Ustav1);
    putReal(b, Gist1, c.Gist1);
    putReal(b, Ustav2, c.Ustav2);
    putReal(b, Gist2, c.Gist2);
}

bool isChannelBlock(int index) {
    return index >= kFirstChannelBlock && index < kFirstChannelBlock + kChannelCount;
}

bool isSetPointBlock(int index) {
    return index >= kFirstSetPointBlock && index < kFirstSetPointBlock + kChannelCount;
}

}  // namespace

ChannelConfig ChannelConfig::StartupValues() {
    ChannelConfig c;
    c.SensorType = 6;
    c.Rt0 = MakeWorkingReal(100.0L);
    c.RLine = MakeWorkingReal(0.0L);
    c.Delta = MakeWorkingReal(0.0L);
    c.Scheme = 0;
    c.Frac = 1;
    c.Diap1 = MakeWorkingReal(0.0L);
    c.Diap2 = MakeWorkingReal(100.0L);
    c.Gist1 = MakeWorkingReal(0.1L);
    c.Gist2 = MakeWorkingReal(0.1L);
    c.Usred = 1;
    c.Ustav1 = MakeWorkingReal(25.0L);
    c.Ustav2 = MakeWorkingReal(50.0L);
    c.Flags = 0;
    c.AlarmLow = MakeWorkingReal(-10000.0L);
    c.AlarmHigh = MakeWorkingReal(10000.0L);
    return c;
}

void ConfigImage::SetStartupValues() {
    Channels.fill(ChannelConfig::StartupValues());
    ChannelsFitted = 0;
    RelayMask = 0;
    LoadedId = 0;
    DialogNetNumber = 1;
    DialogSpeedIndex = 5;
    RelayTable.fill(0);
    UsedChannels = 0xFF;
    Password = 0;
    DisplayPeriodByte = DisplayCodeFromSeconds(3);
}

void ConfigImage::DecodeBlock(int index, const BlockBuffer& b) {
    if (index == 0) {
        ChannelsFitted = get16(b, 10);
        RelayMask = get16(b, 12);
        LoadedId = static_cast<uint32_t>(b[18] | (b[19] << 8) | (b[20] << 16));
    } else if (index == kNetworkBlock) {
        // The high byte of the stored number is not taken over here.
        DialogNetNumber = b[1];
        DialogSpeedIndex = b[3];
    } else if (index == kRelayBlock) {
        for (size_t k = 0; k < RelayTable.size(); ++k) RelayTable[k] = b[k + 1];
        UsedChannels = get16(b, 49);
    } else if (isChannelBlock(index)) {
        decodeMainSettings(Channels[static_cast<size_t>(index - kFirstChannelBlock)], b);
    } else if (isSetPointBlock(index)) {
        decodeSetPoints(Channels[static_cast<size_t>(index - kFirstSetPointBlock)], b);
    } else if (index == kPasswordBlock) {
        Password = get16(b, 1);
        DisplayPeriodByte = b[5];
    }
}

void ConfigImage::EncodeBlock(int index, BlockBuffer& b) const {
    if (index == kRelayBlock) {
        for (size_t k = 0; k < RelayTable.size(); ++k) b[k + 1] = RelayTable[k];
        put16(b, 49, UsedChannels);
    } else if (isChannelBlock(index)) {
        encodeMainSettings(Channels[static_cast<size_t>(index - kFirstChannelBlock)], b);
    } else if (isSetPointBlock(index)) {
        encodeSetPoints(Channels[static_cast<size_t>(index - kFirstSetPointBlock)], b);
    } else if (index == kPasswordBlock) {
        b[5] = DisplayPeriodByte;
    }
}

void ConfigImage::EncodeNetworkBlock(BlockBuffer& b) const {
    put16(b, 1, DialogNetNumber);
    b[3] = DialogSpeedIndex;
}

// Only the password: the display period (byte 5) stays as the instrument holds it, since the
// image's value may be a start-up default or belong to another instrument.
void ConfigImage::EncodePasswordBlock(BlockBuffer& b) const { put16(b, 1, Password); }

uint8_t DisplayCodeFromSeconds(long seconds) {
    return static_cast<uint8_t>((seconds * 900 + 255) / 256);
}

int SecondsFromDisplayCode(uint8_t code) { return (code * 256 + 255) / 900; }

bool BlockHoldsUsedChannels(int index) { return index == kRelayBlock; }

bool BlockHoldsDisplayPeriod(int index) { return index == kPasswordBlock; }

uint16_t UpdateUsedChannels(uint16_t mask, uint16_t bit, bool checked) {
    return checked ? static_cast<uint16_t>(mask | bit) : static_cast<uint16_t>(mask & ~bit);
}

}  // namespace rv
