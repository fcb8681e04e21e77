// Feeds arbitrary texts to the parsers of typed values. The first byte picks the parser:
// a real field, an integer field or a network number; the rest is the text. Each accepted
// text is checked against the C library's own reading of it, each refused one must leave
// the value alone, and what the field shows must read back as the value it shows.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "channel/fields.h"

namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string_view withoutBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

// The integer as std::from_chars reads it: optional sign, then digits of `base` only, and
// the magnitude within 64 bits' positive range. Nothing when the text is not such a number.
bool referenceInteger(std::string_view text, int base, bool signAllowed, std::int64_t& value) {
    bool negative = false;
    if (signAllowed && !text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    for (char c : text)
        if (base == 16 ? !isHex(c) : (c < '0' || c > '9')) return false;
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

void checkInteger(std::string_view text) {
    constexpr std::int64_t kUntouched = 0x5A5A5A5A;
    std::int64_t value = kUntouched;
    const bool ok = rv::ParseIntegerField(text, value);
    std::int64_t expected = 0;
    const bool expectedOk = referenceInteger(withoutBlanks(text), 10, true, expected);
    if (ok != expectedOk) abort();
    if (!ok) {
        if (value != kUntouched) abort();
        return;
    }
    if (value != expected) abort();
    std::int64_t shown = kUntouched;
    if (!rv::ParseIntegerField(rv::FormatIntegerField(value), shown) || shown != value) abort();
}

void checkNetworkNumber(std::string_view text) {
    constexpr std::int64_t kUntouched = 0x5A5A5A5A;
    std::int64_t value = kUntouched;
    const bool ok = rv::ParseNetworkNumber(text, value);
    std::string_view rest = withoutBlanks(text);
    int base = 10;
    if (rest.starts_with("$") || rest.starts_with("x") || rest.starts_with("X")) {
        rest.remove_prefix(1);
        base = 16;
    } else if (rest.starts_with("0x") || rest.starts_with("0X")) {
        rest.remove_prefix(2);
        base = 16;
    }
    std::int64_t expected = 0;
    const bool expectedOk = referenceInteger(rest, base, base == 10, expected);
    if (ok != expectedOk) abort();
    if (!ok && value != kUntouched) abort();
    if (ok && value != expected) abort();
}

void checkReal(std::string_view text) {
    const rv::WorkingReal untouched = rv::MakeWorkingReal(-7.25L);
    rv::WorkingReal value = untouched;
    const rv::RealText result = rv::ParseRealField(text, value);
    if (result != rv::RealText::Valid) {
        if (!(value == untouched)) abort();
        return;
    }
    if (value.fraction > rv::WorkingReal::kFractionMask) abort();

    // Where the C library reads the whole text as a decimal number, the working real is
    // that number to 40 significant bits (zero below the smallest working real).
    const std::string rest(withoutBlanks(text));
    char* end = nullptr;
    const long double reference = std::strtold(rest.c_str(), &end);
    if (!rest.empty() && end == rest.c_str() + rest.size() && std::isfinite(reference) &&
        rest.find_first_of("xXnNiI") == std::string::npos) {
        const long double magnitude = std::fabs(reference);
        const long double error = std::fabs(static_cast<long double>(value.toDouble()) - reference);
        if (magnitude >= std::ldexp(1.0L, -127) && error > magnitude * std::ldexp(1.0L, -39))
            abort();
        if (magnitude < std::ldexp(1.0L, -130) && !value.isZero()) abort();
    }

    // What the field shows reads back as a valid number (a shown value may round up past
    // the largest working real only in the exponent form).
    for (int decimals : {0, 3, 5}) {
        const std::string shown = rv::FormatRealField(value, decimals);
        rv::WorkingReal reread = untouched;
        if (rv::ParseRealField(shown, reread) == rv::RealText::Invalid) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
        case 0:
            checkReal(text);
            break;
        case 1:
            checkInteger(text);
            break;
        default:
            checkNetworkNumber(text);
            break;
    }
    return 0;
}
