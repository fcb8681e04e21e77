#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/cancel_signal.h"

namespace rv {

// The operating system's serial device, opened exclusively in raw 8N1 without flow control.
// One file per platform implements it (serial_port_posix.cpp with termios and ppoll).
class SerialPort {
  public:
    enum class OpenResult { Ok, CannotOpen, NotCharDevice, SetupFailed };
    // What ended a wait.
    enum class Wake { Timeout, Line, Cancel };

    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() { close(); }

    // Opens and configures the device; on any failure no device is held.
    OpenResult open(const std::string& path, uint32_t baud);
    // Safe on a closed port.
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Drops whatever was received and not yet read.
    void discardInput();
    // Writes all bytes and waits until they have left, within 50 ms per byte plus 100 ms.
    bool writeAll(const uint8_t* data, size_t size);
    // Reads what has arrived, at most max bytes, never waiting: the count, or -1 on error.
    long readAvailable(uint8_t* buffer, size_t max);
    // Sleeps until bytes can be read or the time has passed; true when a read has something
    // to tell: bytes are waiting, or the line has hung up.
    bool waitReadable(std::chrono::microseconds atMost);
    // Sleeps until `until`, or until the line has something to tell (bytes or a hang-up; only
    // when `watchLine`), or `cancel` is requested, whichever comes first. Costs nothing while
    // it sleeps.
    Wake wait(std::chrono::steady_clock::time_point until, bool watchLine,
              const CancelSignal& cancel);

    // Whether the device is a pseudo-terminal (which has no modem lines).
    static bool isPseudoTerminal(int fd);

  private:
    int fd_ = -1;
    uint32_t baud_ = 0;
};

}  // namespace rv
