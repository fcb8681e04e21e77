#include "channel/fixed_text.h"

#include <cstdio>

namespace rv {

std::string FixedText(double value, int decimals, bool plus) {
    char text[64];
    std::snprintf(text, sizeof text, plus ? "%+.*f" : "%.*f", decimals, value);
    std::string out = text;
    if (out.empty() || (out[0] != '-' && out[0] != '+')) return out;
    // Only a sign, zeros and the point: the value rounds to zero.
    if (out.find_first_not_of("+-0.") == std::string::npos) out.erase(0, 1);
    return out;
}

}  // namespace rv
