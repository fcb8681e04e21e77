#include "line_options.h"

#include <cstdio>

#include "exit_codes.h"
#include "interrupt.h"
#include "link/status.h"
#include "link/timeouts.h"
#include "ports/port_map.h"

namespace rv::cli {

int SpeedIndexOfBaud(unsigned baud) {
    for (int i = 0; i < kSpeedCount; ++i) {
        if (BaudOfSpeedIndex(i) == baud) return i;
    }
    return -1;
}

int SetUpLine(const LineOptions& options, OpenedLine& line) {
    LineSettings& settings = line.settings;
    const int portIndex = PortIndexOf(options.port);
    if (portIndex >= 0) {
        // COM1..COM4 mean what they mean to the window: environment, settings file, default.
        const PortSetup setup({}, SettingsFilePath());
        for (const std::string& w : setup.warnings()) std::fprintf(stderr, "%s\n", w.c_str());
        settings.Device = setup.map()[static_cast<size_t>(portIndex)].device;
    } else if (!options.port.empty() && options.port[0] == '/') {
        settings.Device = options.port;
    } else {
        std::fprintf(stderr, "Порт «%s» не задан: укажите COM1..COM4 или путь к устройству\n",
                     options.port.c_str());
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

void PrintLineFailure(int32_t status, const Link& link) {
    std::fprintf(stderr, "%s\n", StatusText(static_cast<uint32_t>(status)).c_str());
    if (!link.LinkDetail.empty()) std::fprintf(stderr, "%s\n", link.LinkDetail.c_str());
}

}  // namespace rv::cli
