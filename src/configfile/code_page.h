#pragma once

#include <optional>
#include <string>

namespace rv {

// The instrument's texts are in the Windows Cyrillic code page; files hold UTF-8.
std::optional<std::string> InstrumentTextToUtf8(const std::string& bytes);
std::optional<std::string> Utf8ToInstrumentText(const std::string& text);

}  // namespace rv
