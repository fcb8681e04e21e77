#include "config/device_float.h"

#include <cmath>

namespace rv {

namespace {

constexpr int kExponentBias = 129;
constexpr uint32_t kDeviceFractionBits = 23;
constexpr int kDroppedBits = WorkingReal::kFractionBits - kDeviceFractionBits;
constexpr uint32_t kDeviceFractionMask = (uint32_t{1} << kDeviceFractionBits) - 1;

WorkingReal largestWorkingReal(bool negative) {
    WorkingReal r;
    r.exponent = 255;
    r.negative = negative;
    r.fraction = WorkingReal::kFractionMask;
    return r;
}

}  // namespace

double WorkingReal::toDouble() const {
    if (isZero()) return 0.0;
    const double significand =
        1.0 + std::ldexp(static_cast<double>(fraction & kFractionMask), -kFractionBits);
    const double magnitude = std::ldexp(significand, exponent - kExponentBias);
    return negative ? -magnitude : magnitude;
}

RealConversion ToWorkingReal(long double value, WorkingReal& out) {
    if (std::isnan(value) || std::isinf(value)) return RealConversion::Overflow;
    if (value == 0.0L) {
        out = WorkingReal{};
        return RealConversion::Ok;
    }
    const bool negative = std::signbit(value);
    int binaryExponent = 0;
    // frexp gives m in [0.5, 1): the 40-bit significand (hidden bit included) is m * 2^40,
    // exact in a long double, so its fractional part is exactly the dropped bits.
    const long double m = std::frexp(std::fabs(value), &binaryExponent);
    const long double scaled = std::ldexp(m, WorkingReal::kFractionBits + 1);
    const long double kept = std::floor(scaled);
    uint64_t significand = static_cast<uint64_t>(kept);
    int exponent = binaryExponent - 1 + kExponentBias;
    if (scaled - kept >= 0.5L) ++significand;
    if (significand >> (WorkingReal::kFractionBits + 1)) {
        significand >>= 1;
        ++exponent;
    }
    if (exponent > 255) return RealConversion::Overflow;
    if (exponent <= 0) {
        out = WorkingReal{};
        return RealConversion::Ok;
    }
    out.exponent = static_cast<uint8_t>(exponent);
    out.negative = negative;
    out.fraction = significand & WorkingReal::kFractionMask;
    return RealConversion::Ok;
}

WorkingReal MakeWorkingReal(long double value) {
    WorkingReal r;
    if (ToWorkingReal(value, r) == RealConversion::Overflow) {
        return largestWorkingReal(!std::isnan(value) && std::signbit(value));
    }
    return r;
}

DeviceFloat ToDeviceFloat(const WorkingReal& value) {
    uint32_t exponent = value.exponent;
    uint32_t kept =
        static_cast<uint32_t>((value.fraction & WorkingReal::kFractionMask) >> kDroppedBits);
    const bool roundUp = value.exponent != 0 && ((value.fraction >> (kDroppedBits - 1)) & 1u);
    if (roundUp) {
        uint32_t significand = (uint32_t{1} << kDeviceFractionBits) | kept;
        ++significand;
        if (significand >> (kDeviceFractionBits + 1)) {
            if (exponent == 255) {
                // No device float reaches 2^127: the largest one stands in for it.
                significand -= 1;
            } else {
                significand >>= 1;
                ++exponent;
            }
        }
        kept = significand & kDeviceFractionMask;
    }
    return DeviceFloat{static_cast<uint8_t>(exponent),
                       static_cast<uint8_t>((value.negative ? 0x80u : 0u) | (kept >> 16)),
                       static_cast<uint8_t>(kept >> 8), static_cast<uint8_t>(kept)};
}

WorkingReal FromDeviceFloat(const uint8_t* bytes) {
    WorkingReal r;
    r.exponent = bytes[0];
    r.negative = (bytes[1] & 0x80u) != 0;
    const uint64_t kept = (uint64_t{bytes[1] & 0x7Fu} << 16) | (uint64_t{bytes[2]} << 8) | bytes[3];
    r.fraction = kept << kDroppedBits;
    return r;
}

}  // namespace rv
