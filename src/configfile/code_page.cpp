#include "configfile/code_page.h"

#include <iconv.h>

#include <vector>

namespace rv {

namespace {

std::optional<std::string> convert(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
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

std::optional<std::string> InstrumentTextToUtf8(const std::string& bytes) {
    return convert("UTF-8", "CP1251", bytes);
}

std::optional<std::string> Utf8ToInstrumentText(const std::string& text) {
    return convert("CP1251", "UTF-8", text);
}

}  // namespace rv
