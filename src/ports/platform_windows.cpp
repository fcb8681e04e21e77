// windows.h before the headers that need its types.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <lmcons.h>
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

#include "fileio/windows_text.h"
#include "ports/platform.h"
#include "ports/port_map.h"

namespace rv {

namespace {

void (*interruptHandler)() = nullptr;

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT || interruptHandler == nullptr) return FALSE;
    interruptHandler();
    return TRUE;
}

}  // namespace

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

std::string SystemComDevice(std::string_view name) {
    const int number = ComNumberOf(name);
    return number == 0 ? std::string{} : DefaultDevice(number - 1);
}

std::string ComNamesHint() { return "COM1..COM" + std::to_string(kHighestComNumber); }

std::string SettingsFileHint() { return "%APPDATA%\\rv740x\\ports.conf"; }

std::string ExampleDevice() { return "\\\\.\\COM7"; }

std::string SettingsFilePath() {
    // %APPDATA%, read in UTF-16: a user name may hold any letters.
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') return {};
    return Utf8FromWide(appData) + "\\rv740x\\ports.conf";
}

std::string UserDataDirectory() {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') return {};
    return Utf8FromWide(appData) + "\\rv740x";
}

std::string AccountName() {
    std::array<wchar_t, UNLEN + 1> name{};
    auto size = static_cast<DWORD>(name.size());
    if (!GetUserNameW(name.data(), &size) || size <= 1) return "?";
    return Utf8FromWide(std::wstring_view(name.data(), size - 1));
}

std::string SettingsPathMissingReason() { return "не задана переменная APPDATA"; }

std::string SettingsPathMissingBrief() { return "нет APPDATA"; }

std::string LastSystemErrorText() { return SystemErrorText(GetLastError()); }

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
    int count = 0;
    wchar_t** wideArgs = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wideArgs == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    args.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) args.push_back(Utf8FromWide(wideArgs[i]));
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
