#include "configfile/exact_real.h"

#include <cstdio>
#include <cstdlib>

#include "channel/fields.h"

namespace rv {

namespace {

bool sameNumber(const DeviceFloat& a, const DeviceFloat& b) {
    if (a[0] == 0 || b[0] == 0) return a[0] == b[0];
    return a == b;
}

bool convertsBack(const std::string& text, const DeviceFloat& value) {
    WorkingReal parsed;
    if (ParseRealField(text, parsed) != RealText::Valid) return false;
    return sameNumber(ToDeviceFloat(parsed), value);
}

// `digits` significant digits of `value`, in plain notation unless the exponent is far
// from zero ("1e-07", "1.7014118e+38").
std::string decimalText(double value, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, value);
    const std::string scientific = buffer;
    const size_t e = scientific.find('e');
    const int exponent = std::atoi(scientific.c_str() + e + 1);
    const bool negative = scientific[0] == '-';
    std::string mantissa;  // the significant digits alone
    for (size_t i = negative ? 1 : 0; i < e; ++i)
        if (scientific[i] != '.') mantissa += scientific[i];
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    const int count = static_cast<int>(mantissa.size());

    std::string text;
    if (exponent < -6 || exponent > 15) {
        text = mantissa.substr(0, 1);
        if (count > 1) text += "." + mantissa.substr(1);
        std::snprintf(buffer, sizeof buffer, "e%+03d", exponent);
        text += buffer;
    } else if (exponent < 0) {
        text = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
    } else if (exponent >= count - 1) {
        text = mantissa + std::string(static_cast<size_t>(exponent - count + 1), '0');
    } else {
        text = mantissa.substr(0, static_cast<size_t>(exponent) + 1) + "." +
               mantissa.substr(static_cast<size_t>(exponent) + 1);
    }
    return negative ? "-" + text : text;
}

}  // namespace

std::string ShortestRealText(const DeviceFloat& value) {
    const double exact = FromDeviceFloat(value.data()).toDouble();
    if (exact == 0.0) return "0";
    for (int digits = 1; digits < 17; ++digits) {
        const std::string text = decimalText(exact, digits);
        if (convertsBack(text, value)) return text;
    }
    return decimalText(exact, 17);
}

}  // namespace rv
