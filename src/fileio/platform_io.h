#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// What the layers below the ports need of the C library and the system where the platforms
// differ. One implementation per platform (platform_io_posix.cpp, platform_io_windows.cpp).
namespace rv {

// Opens a text file for writing, replacing it; nullptr when that fails. Not inherited by
// programs this one starts.
std::FILE* OpenForWriting(const std::string& path);

// Reads a decimal number as strtold does, with a decimal point whatever the program's locale,
// rounded in the current rounding mode.
long double ReadLongDoubleC(const char* text);

// Converts text between encodings; nullopt when it holds a character the target lacks or
// bytes the source does not define.
enum class TextEncoding { Utf8, Cp1251 };
std::optional<std::string> ConvertText(TextEncoding from, TextEncoding to, const std::string& in);

// Paths are UTF-8 in the program; the system's own form only at the system call.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace rv
