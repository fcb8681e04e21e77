#include "link/link.h"

#include "link/status.h"

namespace rv {

void Link::applySpeedIndex(int index) {
    BaudRate = BaudOfSpeedIndex(index);
    ReplyTimeout = ReplyTimeoutOfSpeedIndex(index);
}

bool Link::OpenPort() {
    const std::string& device =
        portDevices[static_cast<size_t>(PortIndex >= 0 && PortIndex < 4 ? PortIndex : 0)];
    LinkDetail.clear();
    const SerialPort::OpenResult result = port.open(device, BaudRate);
    if (result != SerialPort::OpenResult::Ok) {
        LinkDetail = PortOpenDetail(device, port.lastOpenError());
    }
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
