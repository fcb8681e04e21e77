#include <stdlib.h>
#include <windows.h>

#include <array>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "fileio/platform_io.h"
#include "fileio/windows_text.h"

namespace rv {

namespace {

UINT codePage(TextEncoding encoding) { return encoding == TextEncoding::Utf8 ? CP_UTF8 : 1251; }

}  // namespace

std::optional<std::string> ConvertText(TextEncoding from, TextEncoding to, const std::string& in) {
    if (in.empty()) return std::string();
    const int size = static_cast<int>(in.size());
    const int wideSize =
        MultiByteToWideChar(codePage(from), MB_ERR_INVALID_CHARS, in.data(), size, nullptr, 0);
    if (wideSize <= 0) return std::nullopt;
    std::wstring text(static_cast<size_t>(wideSize), L'\0');
    MultiByteToWideChar(codePage(from), MB_ERR_INVALID_CHARS, in.data(), size, text.data(),
                        wideSize);
    // No replacement characters and no nearest look-alikes: a character the target lacks is
    // a failure, as the instrument would show something else.
    BOOL lossy = FALSE;
    const bool utf8 = to == TextEncoding::Utf8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* lossyFlag = utf8 ? nullptr : &lossy;
    const int outSize = WideCharToMultiByte(codePage(to), flags, text.data(), wideSize, nullptr, 0,
                                            nullptr, lossyFlag);
    if (outSize <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<size_t>(outSize), '\0');
    WideCharToMultiByte(codePage(to), flags, text.data(), wideSize, out.data(), outSize, nullptr,
                        lossyFlag);
    return out;
}

// mingw's C library reads numbers with gdtoa, whose strtold always rounds to nearest. Its
// general reader takes the rounding as a parameter: asked for the current mode, it gives the
// 64-bit significand and binary exponent, which make the x87 extended value.
extern "C" {
struct GdtoaFormat {
    int nbits;
    int emin;
    int emax;
    int rounding;
    int suddenUnderflow;
};
int __strtodg(const char* text, char** end, GdtoaFormat* format, long* exponent,
              unsigned long* bits);
}

long double ReadLongDoubleC(const char* text) {
    enum { kZero = 0, kNormal = 1, kDenormal = 2, kInfinite = 3, kMask = 7, kNegative = 8 };
    int rounding = 1;
    switch (std::fegetround()) {
        case FE_TOWARDZERO:
            rounding = 0;
            break;
        case FE_UPWARD:
            rounding = 2;
            break;
        case FE_DOWNWARD:
            rounding = 3;
            break;
        default:
            break;
    }
    GdtoaFormat format{64, 1 - 16383 - 64 + 1, 32766 - 16383 - 64 + 1, rounding, 0};
    long exponent = 0;
    std::array<unsigned long, 2> bits{};
    const int kind = __strtodg(text, nullptr, &format, &exponent, bits.data());
    const uint64_t significand = (static_cast<uint64_t>(bits[1]) << 32) | bits[0];
    long double value = 0;
    switch (kind & kMask) {
        case kNormal:
        case kDenormal:
            value = std::ldexp(static_cast<long double>(significand), static_cast<int>(exponent));
            break;
        case kInfinite:
            value = std::numeric_limits<long double>::infinity();
            break;
        case kZero:
            break;
        default:
            return __mingw_strtold(text, nullptr);
    }
    return (kind & kNegative) != 0 ? -value : value;
}

std::FILE* OpenForWriting(const std::string& path) {
    return _wfopen(WideFromUtf8(path).c_str(), L"w");
}

}  // namespace rv
