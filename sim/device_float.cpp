#include "device_float.h"

#include <cmath>

namespace rv::sim {

DeviceFloat encodeDeviceFloat(double value) {
    if (value == 0.0 || !std::isfinite(value)) return {0, 0, 0, 0};
    const bool negative = value < 0.0;
    int exponent = 0;
    const double mantissa = std::frexp(std::fabs(value), &exponent);  // 0.5 <= m < 1
    // The 24-bit significand with its hidden leading one.
    auto significand = static_cast<uint32_t>(std::llround(std::ldexp(mantissa, 24)));
    int biased = exponent + 128;
    if (significand >= (1u << 24)) {
        significand >>= 1;
        ++biased;
    }
    if (biased <= 0) return {0, 0, 0, 0};
    if (biased > 255) {
        biased = 255;
        significand = (1u << 24) - 1;
    }
    const uint32_t fraction = significand & 0x7FFFFFu;
    return {static_cast<uint8_t>(biased),
            static_cast<uint8_t>((negative ? 0x80u : 0u) | (fraction >> 16)),
            static_cast<uint8_t>(fraction >> 8), static_cast<uint8_t>(fraction)};
}

double decodeDeviceFloat(const uint8_t* bytes) {
    if (bytes[0] == 0) return 0.0;
    const uint32_t fraction = (static_cast<uint32_t>(bytes[1] & 0x7F) << 16) |
                              (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
    const double magnitude =
        std::ldexp(1.0 + std::ldexp(static_cast<double>(fraction), -23), bytes[0] - 129);
    return (bytes[1] & 0x80) ? -magnitude : magnitude;
}

}  // namespace rv::sim
