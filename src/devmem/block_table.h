#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace rv {

// One configuration block of the instrument's memory. A stored copy is the identifier,
// length - 1 data bytes and the block CRC (low byte first): length + 2 bytes in all.
struct BlockInfo {
    uint16_t primary;
    uint16_t backup;
    uint16_t length;
    uint16_t id;
};

inline constexpr int kBlockCount = 31;
inline constexpr int kBlockReadBytes = 53;  // every read asks for the largest copy
inline constexpr size_t kBlockBufferSize = 258;

inline constexpr std::array<BlockInfo, kBlockCount> BlockTable{{
    {41219, 41902, 21, 3},   {42854, 43955, 4, 7},    {42862, 43963, 51, 12},
    {42917, 44018, 36, 18},  {42957, 44314, 36, 25},  {42997, 44354, 36, 33},
    {43293, 44394, 36, 42},  {43333, 44434, 36, 52},  {43373, 44474, 36, 63},
    {43413, 44514, 36, 65},  {43453, 44810, 36, 68},  {43493, 44850, 17, 75},
    {43514, 44871, 17, 88},  {43791, 44892, 17, 102}, {43812, 44913, 17, 117},
    {43833, 44934, 17, 133}, {43854, 44955, 17, 150}, {43875, 44976, 17, 153},
    {43896, 44997, 17, 156}, {43917, 45018, 9, 168},  {43930, 45031, 6, 175},
    {43940, 45041, 11, 181}, {41244, 41927, 45, 187}, {41292, 41976, 45, 207},
    {41340, 42281, 45, 218}, {41388, 42330, 45, 228}, {41436, 42379, 45, 237},
    {41740, 42428, 45, 240}, {41788, 42477, 45, 243}, {41836, 42782, 45, 248},
    {41885, 42831, 13, 253},
}};

using BlockBuffer = std::array<uint8_t, kBlockBufferSize>;

}  // namespace rv
