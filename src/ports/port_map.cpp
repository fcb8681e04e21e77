#include "ports/port_map.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "fileio/atomic_file.h"
#include "fileio/platform_io.h"
#include "lineaddr/line_address.h"
#include "ports/platform.h"

namespace rv {

namespace {

constexpr std::size_t kMaxSettingsBytes = std::size_t{64} * 1024;
constexpr const char* kLineExpected = "ожидается COM1..COM4=устройство или сетевой адрес";

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Why `device` cannot name a line, as a sentence; empty when it can: a device path or a
// well-formed network address. `portName` names the COM the device is meant for, if any.
std::string deviceProblem(std::string_view device, const std::string& portName = {}) {
    if (IsNetworkLineName(device)) {
        std::string problem;
        if (ParseNetworkAddress(device, problem)) return {};
        return (portName.empty() ? "" : portName + ": ") + MalformedAddressMessage(device, problem);
    }
    if (IsDevicePath(device)) return {};
    return "устройство \"" + std::string(device) + "\"" +
           (portName.empty() ? "" : " для " + portName) +
           " должно быть полным путём без пробелов или сетевым адресом rfc2217://УЗЕЛ:ПОРТ, "
           "tcp://УЗЕЛ:ПОРТ";
}

std::string lineWarning(const std::string& fileName, std::size_t line, const std::string& text) {
    return fileName + ":" + std::to_string(line) + ": " + text;
}

// One line of the settings file: the COM index and device, or -1 with a reason.
struct ParsedLine {
    int index = -1;
    std::string device;
    std::string problem;  // empty for a blank line or a comment
};

ParsedLine parseLine(std::string_view raw) {
    ParsedLine parsed;
    const std::string_view line = trimmed(raw);
    if (line.empty() || line.front() == '#') return parsed;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        parsed.problem = "нет знака \"=\", строка пропущена (" + std::string(kLineExpected) + ")";
        return parsed;
    }
    const std::string_view name = trimmed(line.substr(0, equals));
    const std::string_view device = trimmed(line.substr(equals + 1));
    const int index = PortIndexOf(name);
    if (index < 0) {
        parsed.problem = "неизвестное имя порта \"" + std::string(name) + "\", строка пропущена (" +
                         kLineExpected + ")";
        return parsed;
    }
    parsed.device = DeviceFromUserText(device);
    if (const std::string problem = deviceProblem(parsed.device, PortName(index));
        !problem.empty()) {
        parsed.problem = problem + ", строка пропущена";
        return parsed;
    }
    parsed.index = index;
    return parsed;
}

bool readWhole(const std::string& path, std::string& text, bool& missing, std::string& error) {
    missing = false;
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) {
        if (errno == ENOENT) {
            missing = true;
            return true;
        }
        error = path + ": не удалось прочитать файл: " + std::strerror(errno);
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    if (in.bad()) {
        error = path + ": не удалось прочитать файл";
        return false;
    }
    return true;
}

}  // namespace

int ComNumberOf(std::string_view name) {
    if (name.size() < 4 || name.size() > 6 || name[3] == '0') return 0;
    int number = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i < 3) {
            if ((c | 0x20) != "com"[i]) return 0;
        } else if (c < '0' || c > '9') {
            return 0;
        } else {
            number = number * 10 + (c - '0');
        }
    }
    return number <= kHighestComNumber ? number : 0;
}

int PortIndexOf(std::string_view name) {
    const int number = ComNumberOf(name);
    return number >= 1 && number <= kPortCount ? number - 1 : -1;
}

std::string DeviceFromUserText(std::string_view text) {
    std::string device = SystemComDevice(text);
    return device.empty() ? std::string(text) : device;
}

std::string PortName(int index) { return "COM" + std::to_string(index + 1); }

std::string PortSourceText(PortSource source, int index) {
    switch (source) {
        case PortSource::CommandLine:
            return "параметр --com" + std::to_string(index + 1);
        case PortSource::Environment:
            return "переменная RV740X_COM" + std::to_string(index + 1);
        case PortSource::SettingsFile:
            return "файл настроек";
        case PortSource::Default:
            break;
    }
    return "по умолчанию";
}

PortMap ResolvePorts(const PortDevices& commandLine, const PortDevices& environment,
                     const PortDevices& settingsFile) {
    PortMap map;
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (!commandLine[i].empty()) {
            map[i] = {commandLine[i], PortSource::CommandLine};
        } else if (!environment[i].empty()) {
            map[i] = {environment[i], PortSource::Environment};
        } else if (!settingsFile[i].empty()) {
            map[i] = {settingsFile[i], PortSource::SettingsFile};
        } else {
            map[i] = {DefaultDevice(static_cast<int>(i)), PortSource::Default};
        }
    }
    return map;
}

PortDevices EnvironmentPorts() {
    PortDevices devices;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string variable = "RV740X_COM" + std::to_string(i + 1);
        if (const char* value = std::getenv(variable.c_str()); value != nullptr) {
            devices[i] = DeviceFromUserText(value);
        }
    }
    return devices;
}

PortSettings ParsePortSettings(std::string_view text, const std::string& fileName) {
    PortSettings settings;
    std::array<std::size_t, kPortCount> setAtLine{};
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        const ParsedLine parsed = parseLine(raw);
        if (!parsed.problem.empty()) {
            settings.warnings.push_back(lineWarning(fileName, lineNumber, parsed.problem));
            continue;
        }
        if (parsed.index < 0) continue;
        const auto index = static_cast<std::size_t>(parsed.index);
        if (setAtLine[index] != 0) {
            settings.warnings.push_back(
                lineWarning(fileName, lineNumber,
                            PortName(parsed.index) + " уже задан в строке " +
                                std::to_string(setAtLine[index]) + ", строка пропущена"));
            continue;
        }
        setAtLine[index] = lineNumber;
        settings.devices[index] = parsed.device;
    }
    return settings;
}

PortSettings ReadPortSettings(const std::string& path) {
    PortSettings settings;
    if (path.empty()) return settings;
    std::string text;
    bool missing = false;
    std::string error;
    if (!readWhole(path, text, missing, error)) {
        settings.warnings.push_back(error);
        return settings;
    }
    if (missing) return settings;
    if (text.size() > kMaxSettingsBytes) {
        settings.warnings.push_back(path + ": файл больше " +
                                    std::to_string(kMaxSettingsBytes / 1024) +
                                    " КиБ, настройки из него не взяты");
        return settings;
    }
    return ParsePortSettings(text, path);
}

bool SavePortSetting(const std::string& path, int index, const std::string& device,
                     std::string& error) {
    if (path.empty()) {
        error = "не найден каталог настроек: " + SettingsPathMissingReason();
        return false;
    }
    if (index < 0 || index >= kPortCount) {
        error = "нет такого COM-порта";
        return false;
    }
    const std::string stored = DeviceFromUserText(device);
    if (!stored.empty()) {
        error = deviceProblem(stored);
        if (!error.empty()) return false;
    }
    std::string old;
    bool missing = false;
    if (!readWhole(path, old, missing, error)) return false;

    // Every line stays as it was, except the one that set this COM name (or the new line).
    const std::string newLine = stored.empty() ? "" : PortName(index) + "=" + stored;
    std::string text;
    bool replaced = false;
    std::string_view rest = old;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view raw = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (parseLine(raw).index == index) {
            if (!replaced && !newLine.empty()) text += newLine + "\n";
            replaced = true;
            continue;
        }
        text.append(raw);
        text += '\n';
    }
    if (!replaced && !newLine.empty()) text += newLine + "\n";

    const std::filesystem::path target = PathFromUtf8(path);
    std::error_code code;
    std::filesystem::create_directories(target.parent_path(), code);
    if (code) {
        error =
            Utf8FromPath(target.parent_path()) + ": не удалось создать каталог: " + code.message();
        return false;
    }
    AtomicWriteError failure;
    if (!WriteFileAtomically(path, text, failure)) {
        error = path +
                (failure.step == AtomicWriteError::Step::CreateTemporary
                     ? ": не удалось создать временный файл: "
                     : ": не удалось записать файл: ") +
                failure.reason;
        return false;
    }
    return true;
}

std::string LineNameProblem(std::string_view name) { return deviceProblem(name); }

std::string StableDevicePath(const std::string& device, const std::string& byIdDirectory) {
    namespace fs = std::filesystem;
    std::error_code code;
    if (IsNetworkLineName(device)) return device;
    if (fs::path(device).parent_path() == fs::path(byIdDirectory)) return device;
    const fs::path real = fs::canonical(device, code);
    if (code) return device;
    fs::directory_iterator it(byIdDirectory, code);
    if (code) return device;
    std::string best;
    for (const fs::directory_entry& entry : it) {
        const fs::path target = fs::canonical(entry.path(), code);
        if (code || target != real) continue;
        // The same device under two names: take the first by name, so the choice is stable.
        if (best.empty() || entry.path().string() < best) best = entry.path().string();
    }
    return best.empty() ? device : best;
}

PortSetup::PortSetup(PortDevices commandLine, std::string settingsPath)
    : commandLine_(std::move(commandLine)),
      environment_(EnvironmentPorts()),
      settingsPath_(std::move(settingsPath)) {
    resolve();
}

void PortSetup::resolve() {
    PortSettings settings = ReadPortSettings(settingsPath_);
    warnings_ = std::move(settings.warnings);
    map_ = ResolvePorts(commandLine_, environment_, settings.devices);
}

bool PortSetup::changeable(int index) const {
    if (index < 0 || index >= kPortCount) return false;
    const PortSource source = map_[static_cast<std::size_t>(index)].source;
    return source == PortSource::SettingsFile || source == PortSource::Default;
}

bool PortSetup::assign(int index, const std::string& device, std::string& error) {
    if (index < 0 || index >= kPortCount) {
        error = "нет такого COM-порта";
        return false;
    }
    if (!changeable(index)) {
        error = PortName(index) +
                " задан: " + PortSourceText(map_[static_cast<std::size_t>(index)].source, index) +
                "; здесь его не изменить";
        return false;
    }
    if (!SavePortSetting(settingsPath_, index, device, error)) return false;
    resolve();
    return true;
}

}  // namespace rv
