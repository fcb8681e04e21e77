#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "lineaddr/line_address.h"
#include "link/serial_port.h"

namespace rv {

// One way of carrying the line's bytes, open for as long as it lives: the local serial
// device, or a connection to a gateway. SerialPort holds one and passes each call on; the
// calls mean what SerialPort's say.
class LineTransport {
  public:
    using Clock = std::chrono::steady_clock;

    LineTransport() = default;
    LineTransport(const LineTransport&) = delete;
    LineTransport& operator=(const LineTransport&) = delete;
    virtual ~LineTransport() = default;

    virtual void discardInput() = 0;
    virtual bool writeAll(const uint8_t* data, size_t size) = 0;
    virtual long readAvailable(uint8_t* buffer, size_t max) = 0;
    virtual bool waitReadable(std::chrono::microseconds atMost) = 0;
    virtual SerialPort::Wake wait(Clock::time_point until, bool watchLine,
                                  const CancelSignal& cancel) = 0;
    virtual std::chrono::microseconds replyDelay() const { return {}; }
    virtual size_t piecedBytes() const { return 0; }
    virtual const SerialPort::OpenError& fault() const;
    virtual int descriptor() const { return -1; }
};

// Each opens its transport, or returns null with `result` and `error` saying why. The local
// device (device_port.h) is one file per platform (serial_port_posix.cpp,
// serial_port_windows.cpp); the network lines are rfc2217_line.cpp and tcp_line.cpp.
std::unique_ptr<LineTransport> OpenDevicePort(const std::string& path, uint32_t baud,
                                              SerialPort::OpenResult& result,
                                              SerialPort::OpenError& error);
std::unique_ptr<LineTransport> OpenRfc2217Line(const NetworkAddress& address, uint32_t baud,
                                               const CancelSignal* cancel,
                                               SerialPort::OpenResult& result,
                                               SerialPort::OpenError& error);
std::unique_ptr<LineTransport> OpenRawTcpLine(const NetworkAddress& address, uint32_t baud,
                                              const CancelSignal* cancel,
                                              SerialPort::OpenResult& result,
                                              SerialPort::OpenError& error);

}  // namespace rv
