#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "ports/port_map.h"
#include "ports/serial_devices.h"

namespace rv::cli {

int RunPorts() {
    const PortSetup setup({}, SettingsFilePath());
    for (const std::string& warning : setup.warnings())
        std::fprintf(stderr, "%s\n", warning.c_str());
    std::printf("COM-порты:\n");
    for (int i = 0; i < kPortCount; ++i) {
        const PortMapping& mapping = setup.map()[static_cast<size_t>(i)];
        std::printf("  %s  %s  (%s)\n", PortName(i).c_str(), mapping.device.c_str(),
                    PortSourceText(mapping.source, i).c_str());
    }
    const std::vector<SerialDevice> devices = ListSerialDevices();
    std::printf("Последовательные устройства:\n");
    if (devices.empty()) std::printf("  не найдены\n");
    for (const SerialDevice& device : devices) {
        std::string line = "  " + device.node;
        if (device.stablePath != device.node) line += "  " + device.stablePath;
        for (const std::string* part : {&device.vendor, &device.model, &device.serial}) {
            if (!part->empty()) line += "  " + *part;
        }
        if (!device.accessible) line += "  (нет доступа)";
        std::printf("%s\n", line.c_str());
    }
    return kExitDone;
}

}  // namespace rv::cli
