#pragma once

// The instrument as its description gives it, written down once for the tests: the block
// map, the CRC and where each field sits in a block. Tests build and check bytes with these,
// never with the configurator's own tables, so a mistake in the code cannot be repeated by
// the test that should catch it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rv::test {

struct BlockRow {
    unsigned primary;
    unsigned backup;
    unsigned length;  // identifier and data; a stored copy is length + 2 bytes
    unsigned id;
};

inline constexpr int kBlockRows = 31;

inline constexpr std::array<BlockRow, kBlockRows> kBlocks{{
    /*  0 */ {41219, 41902, 21, 3},
    /*  1 */ {42854, 43955, 4, 7},
    /*  2 */ {42862, 43963, 51, 12},
    /*  3 */ {42917, 44018, 36, 18},
    /*  4 */ {42957, 44314, 36, 25},
    /*  5 */ {42997, 44354, 36, 33},
    /*  6 */ {43293, 44394, 36, 42},
    /*  7 */ {43333, 44434, 36, 52},
    /*  8 */ {43373, 44474, 36, 63},
    /*  9 */ {43413, 44514, 36, 65},
    /* 10 */ {43453, 44810, 36, 68},
    /* 11 */ {43493, 44850, 17, 75},
    /* 12 */ {43514, 44871, 17, 88},
    /* 13 */ {43791, 44892, 17, 102},
    /* 14 */ {43812, 44913, 17, 117},
    /* 15 */ {43833, 44934, 17, 133},
    /* 16 */ {43854, 44955, 17, 150},
    /* 17 */ {43875, 44976, 17, 153},
    /* 18 */ {43896, 44997, 17, 156},
    /* 19 */ {43917, 45018, 9, 168},
    /* 20 */ {43930, 45031, 6, 175},
    /* 21 */ {43940, 45041, 11, 181},
    /* 22 */ {41244, 41927, 45, 187},
    /* 23 */ {41292, 41976, 45, 207},
    /* 24 */ {41340, 42281, 45, 218},
    /* 25 */ {41388, 42330, 45, 228},
    /* 26 */ {41436, 42379, 45, 237},
    /* 27 */ {41740, 42428, 45, 240},
    /* 28 */ {41788, 42477, 45, 243},
    /* 29 */ {41836, 42782, 45, 248},
    /* 30 */ {41885, 42831, 13, 253},
}};

// CRC-16, reflected polynomial 0xA001, no final XOR; frames start at 0xFFFF, blocks at 0xA55A.
inline uint16_t CheckCrc(const uint8_t* data, size_t size, uint16_t crc) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}
inline uint16_t FrameCrc(std::string_view text) {
    return CheckCrc(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0xFFFF);
}
inline uint16_t BlockCrc(const uint8_t* data, size_t size) { return CheckCrc(data, size, 0xA55A); }

// A whole number as the instrument's 4-byte real: exponent byte 129 + e for a magnitude in
// [2^e, 2^(e+1)), then the sign bit over the 23 fraction bits below the hidden leading one.
inline std::array<uint8_t, 4> DeviceBytes(long value) {
    if (value == 0) return {0, 0, 0, 0};
    const unsigned long magnitude = static_cast<unsigned long>(value < 0 ? -value : value);
    int e = 0;
    while ((magnitude >> (e + 1)) != 0) ++e;
    const unsigned long fraction = (magnitude - (1ul << e)) << (23 - e);  // exact below 2^24
    return {static_cast<uint8_t>(129 + e),
            static_cast<uint8_t>(((fraction >> 16) & 0x7F) | (value < 0 ? 0x80 : 0)),
            static_cast<uint8_t>(fraction >> 8), static_cast<uint8_t>(fraction)};
}

// Offsets of the named fields, counted from the identifier byte of the block.
namespace at {
// Block 0, the instrument's description.
inline constexpr size_t ChannelsFitted = 10;  // 16-bit
inline constexpr size_t RelayMask = 12;       // 16-bit
inline constexpr size_t LoadedId = 18;        // 24-bit
// Block 1, network settings.
inline constexpr size_t NetNumber = 1;   // 16-bit
inline constexpr size_t SpeedIndex = 3;  // byte
// Block 2.
inline constexpr size_t RelayTable = 1;     // 48 bytes
inline constexpr size_t UsedChannels = 49;  // 16-bit
// Blocks 3 to 10, main settings of a channel.
inline constexpr size_t SensorType = 1;    // byte
inline constexpr size_t Rt0 = 2;           // device float
inline constexpr size_t RLine = 6;         // device float
inline constexpr size_t Delta = 10;        // device float
inline constexpr size_t Scheme = 14;       // byte
inline constexpr size_t Frac = 15;         // byte
inline constexpr size_t Diap1 = 16;        // device float
inline constexpr size_t Diap2 = 20;        // device float
inline constexpr size_t Usred = 24;        // 16-bit
inline constexpr size_t Flags = 26;        // byte
inline constexpr size_t AlarmLow = 27;     // device float
inline constexpr size_t AlarmHigh = 31;    // device float
inline constexpr size_t ChannelKept = 35;  // byte the configurator never changes
// Blocks 11 to 18, set points of a channel.
inline constexpr size_t Ustav1 = 1;
inline constexpr size_t Gist1 = 5;
inline constexpr size_t Ustav2 = 9;
inline constexpr size_t Gist2 = 13;
// Block 20.
inline constexpr size_t Password = 1;       // 16-bit
inline constexpr size_t PasswordKept = 3;   // 2 bytes the configurator never changes
inline constexpr size_t DisplayPeriod = 5;  // byte
}  // namespace at

}  // namespace rv::test
