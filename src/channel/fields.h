#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/device_float.h"

namespace rv {

enum class RealText { Valid, Invalid, Overflow };

// A real field: blanks*, sign?, digits with at most one point, optional exponent (E or e,
// sign?, digits); nothing after it. "5.", ".5", "." and "E2" are valid. A valid number whose
// magnitude is beyond the working real gives Overflow and leaves `value` alone.
RealText ParseRealField(std::string_view text, WorkingReal& value);

// A real field as a person types it: a decimal comma reads as the point ("27,5" is 27.5),
// otherwise as ParseRealField. Texts from the instrument and from files keep the point only.
RealText ParseTypedRealField(std::string_view text, WorkingReal& value);

// Two blanks, then fixed-point with `decimals` digits (ties half away from zero).
std::string FormatRealField(const WorkingReal& value, int decimals);

// An integer field: blanks*, sign?, decimal digits; nothing after them.
bool ParseIntegerField(std::string_view text, std::int64_t& value);
// Two blanks, then the decimal value.
std::string FormatIntegerField(std::int64_t value);

// A network number as typed: blanks*, then sign? decimal digits, or "$", "x" or "0x" and
// hexadecimal digits.
bool ParseNetworkNumber(std::string_view text, std::int64_t& value);

}  // namespace rv
