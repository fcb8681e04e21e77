#include <iconv.h>
#include <locale.h>

#include <cstdlib>
#include <vector>

#include "fileio/platform_io.h"

namespace rv {

namespace {

std::optional<std::string> convert(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    // iconv_open's documented failure value is the integer -1 as a handle.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::vector<char> input(in.begin(), in.end());
    std::vector<char> output(4 * in.size() + 4);
    char* inPtr = input.data();
    size_t inLeft = input.size();
    char* outPtr = output.data();
    size_t outLeft = output.size();
    const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1)) return std::nullopt;
    return std::string(output.data(), output.size() - outLeft);
}

}  // namespace

std::optional<std::string> ConvertText(TextEncoding from, TextEncoding to, const std::string& in) {
    const auto name = [](TextEncoding encoding) {
        return encoding == TextEncoding::Utf8 ? "UTF-8" : "CP1251";
    };
    return convert(name(to), name(from), in);
}

long double ReadLongDoubleC(const char* text) {
    // The program's own locale may use a decimal comma; the fields always use a point.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtold_l(text, nullptr, cLocale);
}

std::FILE* OpenForWriting(const std::string& path) { return std::fopen(path.c_str(), "we"); }

}  // namespace rv
