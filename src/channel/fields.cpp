#include "channel/fields.h"

#include <locale.h>

#include <algorithm>
#include <cfenv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "fileio/platform_io.h"

namespace rv {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

size_t skipBlanks(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return i;
}

// Reads a decimal number cut toward zero to the 64 bits of a long double. The bits it keeps
// are then exactly the text's own leading bits, so the working real, which looks at nothing
// below its first dropped bit, is rounded once from the text itself; read to nearest, a text
// just below a tie could land on the tie and be rounded up a second time.
long double readTowardZero(const std::string& number) {
    const int savedRounding = std::fegetround();
    std::fesetround(FE_TOWARDZERO);
    const long double value = ReadLongDoubleC(number.c_str());
    std::fesetround(savedRounding);
    return value;
}

// Reads the digits of `text` from `i` on in the given base; false when there are none or
// the value does not fit 64 bits. The limit is checked before each step, so however many
// digits follow, the value never wraps.
bool accumulate(std::string_view text, size_t& i, int base, std::int64_t& out) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const size_t start = i;
    std::int64_t value = 0;
    bool tooLarge = false;
    for (; i < text.size(); ++i) {
        const int digit =
            base == 16 ? hexDigitValue(text[i]) : (isDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0) break;
        if (tooLarge) continue;
        if (value > (kMax - digit) / base) {
            tooLarge = true;
        } else {
            value = value * base + digit;
        }
    }
    if (i == start || tooLarge) return false;
    out = value;
    return true;
}

}  // namespace

RealText ParseRealField(std::string_view text, WorkingReal& value) {
    size_t i = skipBlanks(text);
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];

    bool mantissaDigits = false;
    bool point = false;
    std::string mantissa;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            mantissaDigits = true;
            mantissa += c;
        } else if (c == '.' && !point) {
            point = true;
            mantissa += c;
        } else {
            break;
        }
    }

    std::string exponent;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        exponent += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent += text[i++];
        const size_t digitsStart = i;
        while (i < text.size() && isDigit(text[i])) exponent += text[i++];
        if (i == digitsStart) return RealText::Invalid;
    }
    if (i != text.size()) return RealText::Invalid;
    if (!mantissaDigits && !point && exponent.empty()) return RealText::Invalid;

    // A mantissa without digits (".", ".e5", "E2") reads as zero.
    number += mantissaDigits ? mantissa : std::string("0");
    number += exponent;

    const long double parsed = readTowardZero(number);
    WorkingReal converted;
    if (ToWorkingReal(parsed, converted) == RealConversion::Overflow) return RealText::Overflow;
    value = converted;
    return RealText::Valid;
}

RealText ParseTypedRealField(std::string_view text, WorkingReal& value) {
    std::string pointed(text);
    std::replace(pointed.begin(), pointed.end(), ',', '.');
    return ParseRealField(pointed, value);
}

std::string FormatRealField(const WorkingReal& value, int decimals) {
    const double magnitude = std::abs(value.toDouble());
    if (magnitude >= 1e36) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "  %s%.*E", value.negative ? "-" : "", decimals,
                      magnitude);
        return buffer;
    }

    // Below 1e36 a working real has at most 36 integer digits and, its lowest bit being no
    // smaller than 2^-168, at most 168 fraction digits: this expansion is exact, so the
    // first dropped digit alone decides the rounding, ties going away from zero.
    char exact[256];
    std::snprintf(exact, sizeof exact, "%.170f", magnitude);
    std::string digits(exact);
    const size_t pointAt = digits.find('.');
    std::string kept = digits.substr(0, pointAt) + digits.substr(pointAt + 1, decimals);
    if (digits[pointAt + 1 + decimals] >= '5') {
        size_t k = kept.size();
        while (k > 0 && kept[k - 1] == '9') kept[--k] = '0';
        if (k == 0) {
            kept.insert(kept.begin(), '1');
        } else {
            ++kept[k - 1];
        }
    }
    const size_t integerDigits = kept.size() - decimals;
    std::string shown = kept.substr(0, integerDigits);
    if (decimals > 0) shown += '.' + kept.substr(integerDigits);

    const bool allZero = kept.find_first_not_of('0') == std::string::npos;
    return std::string("  ") + (value.negative && !allZero ? "-" : "") + shown;
}

bool ParseIntegerField(std::string_view text, std::int64_t& value) {
    size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t magnitude = 0;
    if (!accumulate(text, i, 10, magnitude) || i != text.size()) return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

std::string FormatIntegerField(std::int64_t value) { return "  " + std::to_string(value); }

bool ParseNetworkNumber(std::string_view text, std::int64_t& value) {
    size_t i = skipBlanks(text);
    const std::string_view rest = text.substr(i);
    size_t hexStart = 0;
    if (rest.substr(0, 1) == "$" || rest.substr(0, 1) == "x" || rest.substr(0, 1) == "X") {
        hexStart = 1;
    } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        hexStart = 2;
    }
    if (hexStart == 0) return ParseIntegerField(text, value);

    i += hexStart;
    std::int64_t parsed = 0;
    if (!accumulate(text, i, 16, parsed) || i != text.size()) return false;
    value = parsed;
    return true;
}

}  // namespace rv
