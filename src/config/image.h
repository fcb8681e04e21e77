#pragma once

#include <array>
#include <cstdint>

#include "config/device_float.h"
#include "devmem/block_table.h"

namespace rv {

inline constexpr int kChannelCount = 8;
inline constexpr int kRelayTableSize = 48;

// One measuring channel's settings.
struct ChannelConfig {
    uint8_t SensorType = 6;  // Pt100
    WorkingReal Rt0;
    WorkingReal RLine;
    WorkingReal Delta;
    uint8_t Scheme = 0;  // 0 three-wire, 1 two-wire
    uint8_t Frac = 1;
    WorkingReal Diap1;
    WorkingReal Diap2;
    WorkingReal Gist1;
    WorkingReal Gist2;
    uint16_t Usred = 1;
    WorkingReal Ustav1;
    WorkingReal Ustav2;
    uint8_t Flags = 0;  // bit 0: square root; the other bits are the instrument's
    WorkingReal AlarmLow;
    WorkingReal AlarmHigh;

    // The values of a channel never read from an instrument.
    static ChannelConfig StartupValues();

    friend bool operator==(const ChannelConfig&, const ChannelConfig&) = default;
};

// The configuration of one instrument while it is edited.
struct ConfigImage {
    std::array<ChannelConfig, kChannelCount> Channels;
    uint16_t ChannelsFitted = 0;
    uint16_t RelayMask = 0;
    uint32_t LoadedId = 0;  // not 0 exactly while a complete configuration is loaded
    uint16_t DialogNetNumber = 1;
    uint8_t DialogSpeedIndex = 5;
    std::array<uint8_t, kRelayTableSize> RelayTable{};
    uint16_t UsedChannels = 0xFF;
    uint16_t Password = 0;
    uint8_t DisplayPeriodByte = 11;

    ConfigImage() { SetStartupValues(); }
    void SetStartupValues();

    // Stores the fields of block `index` from a checked block image. Blocks without fields
    // of the image (19, 21..30) change nothing.
    void DecodeBlock(int index, const BlockBuffer& buffer);
    // Overwrites, in a block image just read, the bytes the configuration write owns
    // (blocks 2, 3..10, 11..18 and offset 5 of block 20); every other byte stays as read.
    void EncodeBlock(int index, BlockBuffer& buffer) const;
    // Block 1 for the network dialog: the network number (two bytes) and speed index.
    void EncodeNetworkBlock(BlockBuffer& buffer) const;
    // Block 20 for the password dialog: the password only.
    void EncodePasswordBlock(BlockBuffer& buffer) const;

    friend bool operator==(const ConfigImage&, const ConfigImage&) = default;
};

// Whether DecodeBlock(index) sets UsedChannels, and DisplayPeriodByte: a window shows each
// as soon as its block has come.
bool BlockHoldsUsedChannels(int index);
bool BlockHoldsDisplayPeriod(int index);

// Display period: code from seconds ((S * 900 + 255) / 256, low byte) and back.
uint8_t DisplayCodeFromSeconds(long seconds);
int SecondsFromDisplayCode(uint8_t code);

// The used-channel mask after a box with the given channel bit changed state.
uint16_t UpdateUsedChannels(uint16_t mask, uint16_t bit, bool checked);

}  // namespace rv
