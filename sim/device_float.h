#pragma once

#include <array>
#include <cstdint>

namespace rv::sim {

// The instrument's 4-byte real: exponent byte biased by 129, then the sign on top of the
// 23-bit fraction, most significant fraction byte first. Exponent byte 0 is zero.
using DeviceFloat = std::array<uint8_t, 4>;

// Rounds to the nearest representable value, halves away from zero; magnitudes beyond the
// format's range saturate, magnitudes below it become zero.
DeviceFloat encodeDeviceFloat(double value);
double decodeDeviceFloat(const uint8_t* bytes);

}  // namespace rv::sim
