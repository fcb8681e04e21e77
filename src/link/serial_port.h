#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace rv {

class CancelSignal;

// The operating system's serial device, opened exclusively in raw 8N1 without flow control.
// One implementation per platform (termios, kernel32); nothing else knows either.
class SerialPort {
  public:
    enum class OpenResult { Ok, CannotOpen, NotCharDevice, SetupFailed };
    // What ended a wait.
    enum class Wake { Timeout, Line, Cancel };

    // Why the last open failed, in terms that do not depend on the operating system.
    enum class OpenFailure { None, NotFound, NoPermission, HeldByAnother, Other };
    struct OpenError {
        OpenFailure cause = OpenFailure::None;
        int systemCode = 0;  // the system's own error number, for Other
        std::string holder;  // the program holding the port, when the system tells it
    };

    SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // Opens and configures the device; on any failure no device is held and lastOpenError()
    // says why.
    OpenResult open(const std::string& path, uint32_t baud);
    const OpenError& lastOpenError() const { return openError_; }
    // Safe on a closed port.
    void close();
    bool isOpen() const { return handle_ != kNoHandle; }
    // The POSIX descriptor; meaningless elsewhere.
    int fd() const { return static_cast<int>(handle_); }

    // Drops whatever was received and not yet read.
    void discardInput();
    // Writes all bytes and waits until they have left, within 50 ms per byte plus 100 ms.
    bool writeAll(const uint8_t* data, size_t size);
    // Reads what has arrived, at most max bytes, never waiting: the count, or -1 on error.
    long readAvailable(uint8_t* buffer, size_t max);
    // Sleeps until bytes can be read or the time has passed; true when a read has something
    // to tell: bytes are waiting, or the line has hung up.
    bool waitReadable(std::chrono::microseconds atMost);
    // Sleeps until `until`, or until the line has something to tell (when `watchLine`), or
    // `cancel` is requested. Costs no processor time while it sleeps.
    Wake wait(std::chrono::steady_clock::time_point until, bool watchLine,
              const CancelSignal& cancel);

    // Whether the device is a pseudo-terminal (which has no modem lines).
    static bool isPseudoTerminal(int fd);

  private:
    static constexpr intptr_t kNoHandle = -1;
    struct Native;  // the platform's own state, e.g. the overlapped I/O of a wait

    OpenResult fail(intptr_t handle, OpenResult result, int systemCode, const std::string& path);

    intptr_t handle_ = kNoHandle;  // a descriptor or a HANDLE
    uint32_t baud_ = 0;
    std::unique_ptr<Native> native_;
    OpenError openError_;
};

}  // namespace rv
