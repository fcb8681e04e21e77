#include "link/link.h"

#include "link/status.h"

namespace rv {

void LineSettings::applySpeedIndex(int index) {
    BaudRate = BaudOfSpeedIndex(index);
    ReplyTimeout = ReplyTimeoutOfSpeedIndex(index);
}

bool Link::OpenPort() {
    LinkDetail.clear();
    const SerialPort::OpenResult result = port.open(Device, BaudRate, &CancelFlag);
    if (result == SerialPort::OpenResult::Ok) return true;
    LinkDetail = PortOpenDetail(Device, port.lastOpenError());
    LinkStatus = StatusOfOpen(result);
    return false;
}

void Link::ClosePort() { port.close(); }

}  // namespace rv
