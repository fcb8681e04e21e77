#include "configfile/code_page.h"

#include "fileio/platform_io.h"

namespace rv {

std::optional<std::string> InstrumentTextToUtf8(const std::string& bytes) {
    return ConvertText(TextEncoding::Cp1251, TextEncoding::Utf8, bytes);
}

std::optional<std::string> Utf8ToInstrumentText(const std::string& text) {
    return ConvertText(TextEncoding::Utf8, TextEncoding::Cp1251, text);
}

}  // namespace rv
