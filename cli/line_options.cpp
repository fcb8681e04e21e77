#include "line_options.h"

#include <cstdio>
#include <utility>

#include "exit_codes.h"
#include "interrupt.h"
#include "lineaddr/line_address.h"
#include "link/status.h"
#include "link/timeouts.h"
#include "ports/platform.h"
#include "ports/port_map.h"

namespace rv::cli {

int SetUpLine(const LineOptions& options, OpenedLine& line) {
    LineSettings& settings = line.settings;
    const int portIndex = PortIndexOf(options.port);
    if (portIndex >= 0) {
        // COM1..COM4 mean what they mean to the window: environment, settings file, default.
        const PortSetup setup({}, SettingsFilePath());
        for (const std::string& w : setup.warnings()) std::fprintf(stderr, "%s\n", w.c_str());
        settings.Device = setup.map()[static_cast<size_t>(portIndex)].device;
        line.portName = "COM" + std::to_string(portIndex + 1);
    } else if (IsNetworkLineName(options.port) ||
               (!options.port.empty() && options.port[0] == '/')) {
        settings.Device = options.port;
    } else if (std::string device = DeviceFromUserText(options.port); IsDevicePath(device)) {
        // On Windows: \\.\COM12, or COM7 and any other of the system's own COM names.
        settings.Device = std::move(device);
    } else {
        std::fprintf(stderr,
                     "Порт «%s» не задан: укажите %s, путь к устройству или сетевой адрес "
                     "rfc2217://УЗЕЛ:ПОРТ, tcp://УЗЕЛ:ПОРТ\n",
                     options.port.c_str(), ComNamesHint().c_str());
        return kExitUsage;
    }
    // A malformed network address, wherever it came from, is refused before anything is sent.
    if (std::string problem;
        IsNetworkLineName(settings.Device) && !ParseNetworkAddress(settings.Device, problem)) {
        std::fprintf(stderr, "rv740x: %s\n",
                     MalformedAddressMessage(settings.Device, problem).c_str());
        return kExitUsage;
    }
    const int speedIndex = options.baud ? SpeedIndexOfBaud(*options.baud) : kDefaultSpeedIndex;
    if (speedIndex < 0) {
        std::fprintf(stderr,
                     "Скорость %u бод не поддерживается: 300, 600, 1200, 2400, 4800, 9600 "
                     "или 19200\n",
                     *options.baud);
        return kExitUsage;
    }
    settings.applySpeedIndex(speedIndex);
    if (!options.tracePath.empty()) {
        line.trace = TraceFile::Open(options.tracePath);
        if (!line.trace) {
            std::fprintf(stderr, "Не удаётся открыть файл трассировки «%s»\n",
                         options.tracePath.c_str());
            return kExitFile;
        }
    }
    Link& link = line.session.emplace(settings);
    link.trace = line.trace.get();
    WatchInterrupts(link);
    return kExitDone;
}

void PrintLineFailure(int32_t status, const OpenedLine& line) {
    PrintLineFailure(status, line.session ? line.session->LinkDetail : std::string(), line);
}

void PrintLineFailure(int32_t status, const std::string& detail, const OpenedLine& line) {
    std::fprintf(stderr, "%s\n", StatusText(static_cast<uint32_t>(status)).c_str());
    if (!line.portName.empty()) std::fprintf(stderr, "Порт: %s\n", line.portName.c_str());
    // Why the port did not open starts with its device; any other failure names it here.
    if (!detail.empty()) {
        std::fprintf(stderr, "%s\n", detail.c_str());
    } else {
        std::fprintf(stderr, "Устройство: %s\n", line.settings.Device.c_str());
    }
}

}  // namespace rv::cli
