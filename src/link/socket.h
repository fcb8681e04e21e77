#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/serial_port.h"

namespace rv {

struct SystemSocket;  // the platform's socket and what its waits sleep on

// A TCP connection to a gateway, without blocking calls: every wait sleeps on the socket and
// the cancel signal together, until a deadline. The connection's steps are the same on every
// platform (socket.cpp); the system calls under them are the platform's (socket_system.h).
class TcpSocket {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Failure { None, HostNotFound, Refused, NoAnswer, Closed, Cancelled, Other };

    TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    ~TcpSocket();

    // Resolves the host and connects to the first of its addresses that answers, by
    // `deadline`; a cancel request, when one is given, ends the wait. False with failure()
    // saying why.
    bool connect(const std::string& host, uint16_t port, Clock::time_point deadline,
                 const CancelSignal* cancel);
    void close();
    bool isOpen() const;

    // Sends all bytes by `deadline`; false when the connection fails.
    bool sendAll(const uint8_t* data, size_t size, Clock::time_point deadline);
    // What has arrived, at most `max` bytes, never waiting: the count, 0 for nothing yet, -1
    // once the connection has ended (failure() Closed when the other end closed it).
    long receive(uint8_t* buffer, size_t max);
    // Sleeps until `until`, until bytes or the end of the connection can be received (when
    // `watchSocket`), or until `cancel` (when given) is requested.
    SerialPort::Wake wait(Clock::time_point until, bool watchSocket, const CancelSignal* cancel);

    Failure failure() const { return failure_; }
    // The system's own error number of an Other failure.
    int systemCode() const { return systemCode_; }

  private:
    bool fail(Failure failure, int systemCode);

    std::unique_ptr<SystemSocket> system_;
    Failure failure_ = Failure::None;
    int systemCode_ = 0;
};

}  // namespace rv
