#include "link/line_check.h"

#include "lineaddr/line_address.h"
#include "link/serial_port.h"
#include "link/status.h"

namespace rv {

LineCheck CheckLine(const std::string& name, uint32_t baud, const CancelSignal& cancel) {
    LineCheck check;
    check.network = IsNetworkLineName(name);
    SerialPort port;
    const SerialPort::OpenResult result = port.open(name, baud, &cancel);
    check.opened = result == SerialPort::OpenResult::Ok;
    if (check.opened) {
        check.roundTrip = port.replyDelay();
    } else {
        check.status = StatusOfOpen(result);
        check.detail = PortOpenDetail(name, port.lastOpenError());
    }
    return check;
}

std::string LineCheckText(const LineCheck& check) {
    if (!check.opened) {
        const std::string status = StatusText(static_cast<uint32_t>(check.status));
        return check.detail.empty() ? status : status + "\n" + check.detail;
    }
    if (!check.network) return "Порт открывается";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(check.roundTrip).count();
    return "Соединение установлено, время отклика " +
           (ms < 1 ? std::string("меньше 1 мс") : std::to_string(ms) + " мс");
}

}  // namespace rv
