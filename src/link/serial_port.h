#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace rv {

// The operating system's serial device, opened exclusively in raw 8N1 without flow control.
// This is the only place that knows termios.
class SerialPort {
  public:
    enum class OpenResult { Ok, CannotOpen, NotCharDevice, SetupFailed };

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

    // Whether the device is a pseudo-terminal (which has no modem lines).
    static bool isPseudoTerminal(int fd);

  private:
    int fd_ = -1;
    uint32_t baud_ = 0;
};

}  // namespace rv
