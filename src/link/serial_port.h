#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace rv {

class CancelSignal;
class LineTransport;

// The line's port: the operating system's serial device, opened exclusively in raw 8N1
// without flow control, or a connection to a serial device server on the network
// ("rfc2217://HOST:PORT", "tcp://HOST:PORT"). Each transport has its own files behind
// LineTransport; nothing above this class knows which one a line uses.
class SerialPort {
  public:
    enum class OpenResult { Ok, CannotOpen, NotCharDevice, SetupFailed };
    // What ended a wait.
    enum class Wake { Timeout, Line, Cancel };

    // Why the last open failed, or why the line failed midway, in terms that do not depend on
    // the operating system.
    enum class OpenFailure {
        None,
        NotFound,
        NoPermission,
        HeldByAnother,
        Other,
        // A network line:
        BadAddress,         // the name is not a well-formed address; `text` says what is wrong
        HostNotFound,       // the host name does not resolve
        Refused,            // nothing accepts connections at that port
        NoAnswer,           // no answer to the connection, or the host cannot be reached
        ClosedByGateway,    // the gateway closed the connection
        GatewayBusy,        // the gateway turned the connection away: it serves another client
        NotComPortControl,  // the gateway did not agree to COM-PORT-OPTION (RFC 2217)
        SpeedRefused,       // the gateway answered the speed `baud` with another one
        SpeedUnconfirmed,   // the gateway did not confirm the speed `baud` in time
        Cancelled,          // the cancel request came while connecting
        NetworkError,       // any other failure of the network; systemCode says which
    };
    struct OpenError {
        OpenFailure cause = OpenFailure::None;
        int systemCode = 0;  // the system's own error number, for Other and NetworkError
        std::string holder;  // the program holding the port, when the system tells it
        std::string text;    // what is wrong with a malformed address
        uint32_t baud = 0;   // the speed the gateway refused
    };

    SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // Opens and configures the device, or connects to the gateway and sets its port up; on
    // any failure nothing is held and lastOpenError() says why. A cancel request, when one is
    // given, ends a connection's waits.
    OpenResult open(const std::string& path, uint32_t baud, const CancelSignal* cancel = nullptr);
    const OpenError& lastOpenError() const { return openError_; }
    // Why the last write or read failed, when the line can tell more than that it failed (a
    // network line's lost connection); cause None otherwise.
    const OpenError& lastFault() const;
    // Safe on a closed port.
    void close();
    bool isOpen() const { return transport_ != nullptr; }
    // The POSIX descriptor of a local device; meaningless elsewhere.
    int fd() const;

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
    // How much longer than over a local port a reply may take on this line: a network line's
    // round trip to the gateway (measured when connecting, updated from the replies) and the
    // time the gateway needs to put the last request on its own wire, which a local port's
    // write waits out itself. Zero for a local port.
    std::chrono::microseconds replyDelay() const;
    // How many of the line's bytes a read may bring at once beyond what the line's rate allows
    // since the last read: a gateway passes them on in pieces. Zero for a local port.
    size_t piecedBytes() const;
    // Whether the line's speed follows the speed asked for: false for a raw network line,
    // whose speed is fixed in the gateway's own settings.
    static bool SetsSpeed(const std::string& path);

    // Whether the device is a pseudo-terminal (which has no modem lines).
    static bool isPseudoTerminal(int fd);

  private:
    std::unique_ptr<LineTransport> transport_;
    OpenError openError_;
};

}  // namespace rv
