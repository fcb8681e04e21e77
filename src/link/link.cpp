#include "link/link.h"

#include "link/status.h"

namespace rv {

void LineSettings::applySpeedIndex(int index) {
    BaudRate = BaudOfSpeedIndex(index);
    ReplyTimeout = ReplyTimeoutOfSpeedIndex(index);
}

bool Link::OpenPort() {
    LinkDetail.clear();
    const SerialPort::OpenResult result = port.open(Device, BaudRate);
    if (result != SerialPort::OpenResult::Ok)
        LinkDetail = PortOpenDetail(Device, port.lastOpenError());
    switch (result) {
        case SerialPort::OpenResult::Ok:
            return true;
        case SerialPort::OpenResult::CannotOpen:
            LinkStatus = status::kPortOpen;
            break;
        case SerialPort::OpenResult::NotCharDevice:
            LinkStatus = status::kNoSuchPort;
            break;
        case SerialPort::OpenResult::SetupFailed:
            LinkStatus = status::kPortSetup;
            break;
    }
    return false;
}

void Link::ClosePort() { port.close(); }

}  // namespace rv
