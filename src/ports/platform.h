#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the program needs of the operating system beyond the serial port: where things live,
// how a file is replaced safely, the console and the command line. One implementation per
// platform (platform_posix.cpp, platform_windows.cpp); nothing above knows which.
namespace rv {

// The platform's name as the user is told it, e.g. "Linux x86_64" or "Windows x64".
std::string PlatformName();

// DefaultDevice and SettingsFilePath (ports/port_map.h) are the platform's too.

// Whether text names a device as the platform writes one (an absolute path on Linux,
// \\.\NAME on Windows), free of blanks.
bool IsDevicePath(std::string_view text);

// Why SettingsFilePath found no place, in full ("не заданы XDG_CONFIG_HOME и HOME") and in
// brief ("нет HOME").
std::string SettingsPathMissingReason();
std::string SettingsPathMissingBrief();

// Replaces the file at `path` with `contents` so that it holds either the old or the new text
// whatever happens: a temporary file beside it, flushed to the disk, then moved over it. The
// directory is made when missing when `makeDirectory`. On failure the old file is untouched;
// the result tells the step that failed and `reason` the system's words.
enum class ReplaceResult { Done, DirectoryFailed, TemporaryFailed, WriteFailed };
ReplaceResult ReplaceFileAtomically(const std::string& path, std::string_view contents,
                                    bool makeDirectory, std::string& reason);

// Opens a text file for writing, replacing it; nullptr when that fails. Not inherited by
// programs this one starts.
std::FILE* OpenForWriting(const std::string& path);

// The text of the last system error of the calling thread, in the system's language.
std::string LastSystemErrorText();

// The program's arguments in UTF-8, whatever the system passed.
std::vector<std::string> CommandLineUtf8(int argc, char** argv);
// Makes the console show UTF-8 text (a no-op where it always does).
void PrepareConsole();
// Calls `handler` on each Ctrl+C (from a signal handler or a console thread: it may only
// touch atomics). Waits in progress end early on platforms where a signal interrupts them.
void OnConsoleInterrupt(void (*handler)());

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
