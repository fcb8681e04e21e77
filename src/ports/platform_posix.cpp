#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "ports/platform.h"

namespace rv {

namespace {

void (*interruptHandler)() = nullptr;

void onSignal(int) {
    if (interruptHandler != nullptr) interruptHandler();
}

}  // namespace

std::string PlatformName() {
    utsname name{};
    if (uname(&name) != 0) return "Linux";
    return std::string(name.sysname) + " " + name.machine;
}

std::string DefaultDevice(int index) { return "/dev/ttyS" + std::to_string(index); }

bool IsDevicePath(std::string_view text) {
    if (text.empty() || text.front() != '/') return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7f) return false;
    }
    return true;
}

// COM names are only this program's four; the system names its serial devices by path.
std::string SystemComDevice(std::string_view /*name*/) { return {}; }

std::string ComNamesHint() { return "COM1..COM4"; }

std::string SettingsFileHint() { return "$XDG_CONFIG_HOME/rv740x/ports.conf"; }

std::string ExampleDevice() { return "/dev/ttyUSB0"; }

std::string SettingsFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    return base + "/rv740x/ports.conf";
}

std::string UserDataDirectory() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return std::string(data) + "/rv740x";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/rv740x";
    return {};
}

std::string AccountName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_name != nullptr && found->pw_name[0] != '\0') {
        return found->pw_name;
    }
    // An account the password database does not know (a container, say): what the session says.
    for (const char* name : {"USER", "LOGNAME"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return "?";
}

std::string SettingsPathMissingReason() { return "не заданы XDG_CONFIG_HOME и HOME"; }

std::string SettingsPathMissingBrief() { return "нет HOME"; }

std::string LastSystemErrorText() { return std::strerror(errno); }

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

void OnConsoleInterrupt(void (*handler)()) {
    interruptHandler = handler;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a waiting poll or sleep returns at once
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace rv
