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

    // Why the last open failed, in terms that do not depend on the operating system.
    enum class OpenFailure { None, NotFound, NoPermission, HeldByAnother, Other };
    struct OpenError {
        OpenFailure cause = OpenFailure::None;
        int systemCode = 0;  // the system's own error number, for Other
        std::string holder;  // the program holding the port, when the system tells it
    };

    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() { close(); }

    // Opens and configures the device; on any failure no device is held and lastOpenError()
    // says why.
    OpenResult open(const std::string& path, uint32_t baud);
    const OpenError& lastOpenError() const { return openError_; }
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
    OpenResult fail(int fd, OpenResult result, int systemCode, const std::string& path);

    int fd_ = -1;
    uint32_t baud_ = 0;
    OpenError openError_;
};

}  // namespace rv
