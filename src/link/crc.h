#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rv {

inline constexpr uint16_t kFrameCrcStart = 0xFFFF;
inline constexpr uint16_t kBlockCrcStart = 0xA55A;

// One step of the reflected CRC-16 with polynomial 0xA001.
constexpr void Crc16Update(uint16_t& crc, uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        crc = (crc & 1u) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001u)
                         : static_cast<uint16_t>(crc >> 1);
    }
}

constexpr uint16_t Crc16(const uint8_t* data, size_t size, uint16_t start) {
    uint16_t crc = start;
    for (size_t i = 0; i < size; ++i) Crc16Update(crc, data[i]);
    return crc;
}

constexpr uint16_t Crc16(std::string_view text, uint16_t start) {
    uint16_t crc = start;
    for (char c : text) Crc16Update(crc, static_cast<uint8_t>(c));
    return crc;
}

}  // namespace rv
