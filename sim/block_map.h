#pragma once

// Where the instrument keeps its configuration blocks and how it checks them. The simulated
// instrument has its own copy of this map, so that a mistake in the configurator's copy
// shows as a failed exchange instead of being repeated on both ends of the line.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rv::sim {

// One block: both copies hold the identifier, length - 1 data bytes and the block CRC
// (low byte first).
struct BlockPlace {
    uint16_t primary;
    uint16_t backup;
    uint16_t length;
    uint8_t id;
};

// The instrument's 31 blocks, by block number.
inline constexpr std::array<BlockPlace, 31> kBlockMap{{
    {0xA103, 0xA3AE, 21, 3},   {0xA766, 0xABB3, 4, 7},    {0xA76E, 0xABBB, 51, 12},
    {0xA7A5, 0xABF2, 36, 18},  {0xA7CD, 0xAD1A, 36, 25},  {0xA7F5, 0xAD42, 36, 33},
    {0xA91D, 0xAD6A, 36, 42},  {0xA945, 0xAD92, 36, 52},  {0xA96D, 0xADBA, 36, 63},
    {0xA995, 0xADE2, 36, 65},  {0xA9BD, 0xAF0A, 36, 68},  {0xA9E5, 0xAF32, 17, 75},
    {0xA9FA, 0xAF47, 17, 88},  {0xAB0F, 0xAF5C, 17, 102}, {0xAB24, 0xAF71, 17, 117},
    {0xAB39, 0xAF86, 17, 133}, {0xAB4E, 0xAF9B, 17, 150}, {0xAB63, 0xAFB0, 17, 153},
    {0xAB78, 0xAFC5, 17, 156}, {0xAB8D, 0xAFDA, 9, 168},  {0xAB9A, 0xAFE7, 6, 175},
    {0xABA4, 0xAFF1, 11, 181}, {0xA11C, 0xA3C7, 45, 187}, {0xA14C, 0xA3F8, 45, 207},
    {0xA17C, 0xA529, 45, 218}, {0xA1AC, 0xA55A, 45, 228}, {0xA1DC, 0xA58B, 45, 237},
    {0xA30C, 0xA5BC, 45, 240}, {0xA33C, 0xA5ED, 45, 243}, {0xA36C, 0xA71E, 45, 248},
    {0xA39D, 0xA74F, 13, 253},
}};

// CRC-16 with the reflected polynomial 0xA001 and no final XOR, by a 256-entry table.
class Crc16Table {
  public:
    constexpr Crc16Table() {
        for (unsigned n = 0; n < 256; ++n) {
            unsigned r = n;
            for (int k = 0; k < 8; ++k) r = (r >> 1) ^ ((r & 1u) ? 0xA001u : 0u);
            table_[n] = static_cast<uint16_t>(r);
        }
    }
    constexpr uint16_t over(const uint8_t* data, size_t size, uint16_t crc) const {
        for (size_t i = 0; i < size; ++i)
            crc = static_cast<uint16_t>((crc >> 8) ^ table_[(crc ^ data[i]) & 0xFFu]);
        return crc;
    }

  private:
    std::array<uint16_t, 256> table_{};
};

inline constexpr Crc16Table kCrc16;

// Frames start the CRC at 0xFFFF, stored blocks at 0xA55A.
inline uint16_t FrameCrc(std::string_view text) {
    return kCrc16.over(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0xFFFF);
}
inline constexpr uint16_t BlockCrc(const uint8_t* data, size_t size) {
    return kCrc16.over(data, size, 0xA55A);
}

}  // namespace rv::sim
