#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "link/serial_port.h"

namespace rv::cli {

namespace {

// Serial devices the kernel knows: every tty with a device behind it (a UART, a USB adapter),
// as /dev paths, plus the stable /dev/serial/by-id links.
std::vector<std::string> serialDevices() {
    namespace fs = std::filesystem;
    std::vector<std::string> devices;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        if (!fs::exists(entry.path() / "device", ec)) continue;
        devices.push_back("/dev/" + entry.path().filename().string());
    }
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
        const fs::path target = fs::canonical(entry.path(), ec);
        devices.push_back(entry.path().string() + (ec ? "" : " -> " + target.string()));
    }
    std::sort(devices.begin(), devices.end());
    return devices;
}

}  // namespace

int RunPorts() {
    std::printf("COM-порты:\n");
    for (int i = 0; i < 4; ++i) {
        std::printf("  COM%d  %s\n", i + 1, DefaultPortDevice(i).c_str());
    }
    const std::vector<std::string> devices = serialDevices();
    std::printf("Последовательные устройства:\n");
    if (devices.empty()) std::printf("  не найдены\n");
    for (const std::string& device : devices) std::printf("  %s\n", device.c_str());
    return kExitDone;
}

}  // namespace rv::cli
