#include "link/serial_port.h"

#include "lineaddr/line_address.h"
#include "link/cancel_signal.h"
#include "link/device_port.h"
#include "link/line_transport.h"

// The port's calls, passed on to the transport the line's name chose.

namespace rv {

const SerialPort::OpenError& LineTransport::fault() const {
    static const SerialPort::OpenError kNone;
    return kNone;
}

std::unique_ptr<LineTransport> OpenDevicePort(const std::string& path, uint32_t baud,
                                              SerialPort::OpenResult& result,
                                              SerialPort::OpenError& error) {
    auto port = std::make_unique<DevicePort>();
    result = port->open(path, baud);
    error = port->lastOpenError();
    if (result != SerialPort::OpenResult::Ok) return nullptr;
    return port;
}

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { close(); }

SerialPort::OpenResult SerialPort::open(const std::string& path, uint32_t baud,
                                        const CancelSignal* cancel) {
    close();
    openError_ = {};
    OpenResult result = OpenResult::Ok;
    if (!IsNetworkLineName(path)) {
        transport_ = OpenDevicePort(path, baud, result, openError_);
        return result;
    }
    std::string problem;
    const std::optional<NetworkAddress> address = ParseNetworkAddress(path, problem);
    if (!address) {
        openError_.cause = OpenFailure::BadAddress;
        openError_.text = problem;
        return OpenResult::CannotOpen;
    }
    transport_ = address->scheme == NetworkScheme::Rfc2217
                     ? OpenRfc2217Line(*address, baud, cancel, result, openError_)
                     : OpenRawTcpLine(*address, baud, cancel, result, openError_);
    return result;
}

const SerialPort::OpenError& SerialPort::lastFault() const {
    static const OpenError kNone;
    return transport_ ? transport_->fault() : kNone;
}

void SerialPort::close() { transport_.reset(); }

int SerialPort::fd() const { return transport_ ? transport_->descriptor() : -1; }

void SerialPort::discardInput() {
    if (transport_) transport_->discardInput();
}

bool SerialPort::writeAll(const uint8_t* data, size_t size) {
    return transport_ && transport_->writeAll(data, size);
}

long SerialPort::readAvailable(uint8_t* buffer, size_t max) {
    return transport_ ? transport_->readAvailable(buffer, max) : -1;
}

bool SerialPort::waitReadable(std::chrono::microseconds atMost) {
    return transport_ && transport_->waitReadable(atMost);
}

SerialPort::Wake SerialPort::wait(std::chrono::steady_clock::time_point until, bool watchLine,
                                  const CancelSignal& cancel) {
    if (transport_) return transport_->wait(until, watchLine, cancel);
    return cancel.requested() ? Wake::Cancel : Wake::Timeout;
}

std::chrono::microseconds SerialPort::replyDelay() const {
    return transport_ ? transport_->replyDelay() : std::chrono::microseconds{};
}

size_t SerialPort::piecedBytes() const { return transport_ ? transport_->piecedBytes() : 0; }

bool SerialPort::SetsSpeed(const std::string& path) {
    std::string problem;
    const std::optional<NetworkAddress> address =
        IsNetworkLineName(path) ? ParseNetworkAddress(path, problem) : std::nullopt;
    return !address || address->scheme != NetworkScheme::RawTcp;
}

}  // namespace rv
