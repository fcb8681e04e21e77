// windows.h before the headers that need its types.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "ports/platform.h"

namespace rv {

namespace {

void (*interruptHandler)() = nullptr;

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT || interruptHandler == nullptr) return FALSE;
    interruptHandler();
    return TRUE;
}

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

std::string errorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) return "ошибка " + std::to_string(code);
    return narrow(text);
}

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

std::string PlatformName() { return "Windows x64"; }

std::string DefaultDevice(int index) { return "\\\\.\\COM" + std::to_string(index + 1); }

bool IsDevicePath(std::string_view text) {
    // \\.\COM12, \\?\... or a drive path; no blanks.
    const bool device = text.size() > 4 && text.substr(0, 2) == "\\\\" &&
                        (text[2] == '.' || text[2] == '?') && text[3] == '\\';
    const bool drive = text.size() > 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/');
    if (!device && !drive) return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7f) return false;
    }
    return true;
}

std::string SettingsFilePath() {
    // %APPDATA%, read in UTF-16: a user name may hold any letters.
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') return {};
    return narrow(appData) + "\\rv740x\\ports.conf";
}

std::string SettingsPathMissingReason() { return "не задана переменная APPDATA"; }

std::string SettingsPathMissingBrief() { return "нет APPDATA"; }

std::FILE* OpenForWriting(const std::string& path) { return _wfopen(wide(path).c_str(), L"w"); }

std::string LastSystemErrorText() { return errorText(GetLastError()); }

ReplaceResult ReplaceFileAtomically(const std::string& path, std::string_view contents,
                                    bool makeDirectory, std::string& reason) {
    const std::filesystem::path target = PathFromUtf8(path);
    if (makeDirectory) {
        std::error_code code;
        std::filesystem::create_directories(target.parent_path(), code);
        if (code) {
            reason = code.message();
            return ReplaceResult::DirectoryFailed;
        }
    }
    // A temporary name of this process beside the target, on the same volume, so the move is
    // a rename.
    const std::wstring final = wide(path);
    const std::wstring temporary = final + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount64()) + L".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = errorText(GetLastError());
        return ReplaceResult::TemporaryFailed;
    }
    bool written = true;
    for (size_t done = 0; written && done < contents.size();) {
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min<size_t>(contents.size() - done, 1 << 20));
        written = WriteFile(file, contents.data() + done, chunk, &n, nullptr) && n > 0;
        done += n;
    }
    written = written && FlushFileBuffers(file);
    DWORD failure = written ? 0 : GetLastError();
    written = CloseHandle(file) && written;
    if (written && !MoveFileExW(temporary.c_str(), final.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        failure = GetLastError();
    }
    if (!written) {
        reason = errorText(failure);
        DeleteFileW(temporary.c_str());
        return ReplaceResult::WriteFailed;
    }
    return ReplaceResult::Done;
}

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
    int count = 0;
    wchar_t** wideArgs = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wideArgs == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    args.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) args.push_back(narrow(wideArgs[i]));
    LocalFree(wideArgs);
    return args;
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

void OnConsoleInterrupt(void (*handler)()) {
    interruptHandler = handler;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

}  // namespace rv
