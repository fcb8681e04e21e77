#pragma once

#include <array>
#include <cstdint>

namespace rv {

// The program's working real: sign, exponent byte E biased by 129 (0 meaning zero) and a
// 39-bit fraction; value (-1)^S * (1 + F / 2^39) * 2^(E - 129). The bits of a zero read from
// the instrument are kept, so an unchanged value goes back byte for byte.
struct WorkingReal {
    uint8_t exponent = 0;
    bool negative = false;
    uint64_t fraction = 0;  // low 39 bits used

    static constexpr int kFractionBits = 39;
    static constexpr uint64_t kFractionMask = (uint64_t{1} << kFractionBits) - 1;

    bool isZero() const { return exponent == 0; }
    // The exact value (40 significant bits fit a double).
    double toDouble() const;

    friend bool operator==(const WorkingReal&, const WorkingReal&) = default;
};

enum class RealConversion { Ok, Overflow };

// A wider number enters a working real by keeping 39 fraction bits and adding one unit in the
// last place when the first dropped bit is 1; too small a magnitude becomes zero. A magnitude
// of 2^127 or more has no working real: Overflow, and `out` is left alone.
RealConversion ToWorkingReal(long double value, WorkingReal& out);
// The same for callers that know the value is in range; an overflow gives the largest value.
WorkingReal MakeWorkingReal(long double value);

using DeviceFloat = std::array<uint8_t, 4>;

// Drops the 16 low fraction bits, rounding the magnitude up when the first of them is 1.
// A value that would round up to 2^127 or more gives the largest device float instead.
DeviceFloat ToDeviceFloat(const WorkingReal& value);
// Exact; a zero exponent byte keeps the other bits, which ToDeviceFloat gives back.
WorkingReal FromDeviceFloat(const uint8_t* bytes);

}  // namespace rv
