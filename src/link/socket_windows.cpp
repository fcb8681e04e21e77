// The gateway's connection on Windows: Winsock, the socket's events tied to one event object,
// so that a wait sleeps on it and the cancel event together.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "link/cancel_signal.h"
#include "link/socket_system.h"

namespace rv {

namespace {

using Clock = TcpSocket::Clock;

// Whole milliseconds until `until`, rounded up, so a wait never ends early.
DWORD millisecondsUntil(Clock::time_point until) {
    const auto left = until - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

bool winsockReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        WSADATA data{};
        ready = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return ready;
}

}  // namespace

// The socket and the event its network events set. Taking the events off the socket's record
// resets the event, so what they told is kept here until a wait reports it: the other end's
// bytes or close (which may come with the connection's outcome), and the outcome itself.
struct SystemSocket {
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT;
    bool readable = false;         // bytes or the close arrived, and no wait has reported them yet
    bool closed = false;           // the other end closed: every wait for the socket ends at once
    std::optional<int> connected;  // the connection's outcome: 0 or the error

    void takeEvents() {
        WSANETWORKEVENTS events{};
        if (WSAEnumNetworkEvents(socket, event, &events) != 0) return;
        if ((events.lNetworkEvents & FD_CONNECT) != 0)
            connected = events.iErrorCode[FD_CONNECT_BIT];
        if ((events.lNetworkEvents & FD_CLOSE) != 0) closed = true;
        if ((events.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0) readable = true;
    }

    // Sleeps until the socket's event (when watched), the cancel event (when given) or
    // `until`; Line for the socket's event, which is left for takeEvents().
    SerialPort::Wake sleep(Clock::time_point until, bool watchSocket, const CancelSignal* cancel) {
        std::array<HANDLE, 2> handles{};
        DWORD count = 0;
        if (watchSocket) handles[count++] = event;
        const DWORD cancelAt = count;
        if (cancel != nullptr) handles[count++] = reinterpret_cast<HANDLE>(cancel->waitHandle());
        if (count == 0) {
            Sleep(millisecondsUntil(until));
            return SerialPort::Wake::Timeout;
        }
        const DWORD woke =
            WaitForMultipleObjects(count, handles.data(), FALSE, millisecondsUntil(until));
        if (cancel != nullptr && (woke == WAIT_OBJECT_0 + cancelAt || cancel->requested()))
            return SerialPort::Wake::Cancel;
        if (woke == WAIT_TIMEOUT) return SerialPort::Wake::Timeout;
        // A wait that failed is for the reader to find out.
        if (woke != WAIT_OBJECT_0) readable = true;
        return SerialPort::Wake::Line;
    }
};

const SocketErrors kSocketErrors{
    .connectPending = WSAEWOULDBLOCK,
    .wouldBlock = WSAEWOULDBLOCK,
    .refused = WSAECONNREFUSED,
    .noAnswer = {WSAETIMEDOUT, WSAEHOSTUNREACH, WSAENETUNREACH, WSAEHOSTDOWN},
    .closed = {WSAECONNRESET, WSAECONNABORTED},
    .notConnected = WSAENOTCONN};

TcpSocket::TcpSocket() : system_(std::make_unique<SystemSocket>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::isOpen() const { return system_->socket != INVALID_SOCKET; }

void TcpSocket::close() {
    SystemSocket& s = *system_;
    if (s.socket != INVALID_SOCKET) closesocket(s.socket);
    if (s.event != WSA_INVALID_EVENT) WSACloseEvent(s.event);
    s = SystemSocket{};
}

ResolvedHost resolveHost(const std::string& host, uint16_t port) {
    if (!winsockReady()) return {{}, TcpSocket::Failure::Other, WSASYSNOTREADY};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (code != 0) {
        const bool unknown = code == WSAHOST_NOT_FOUND || code == WSATRY_AGAIN ||
                             code == WSANO_RECOVERY || code == WSANO_DATA;
        return {{}, unknown ? TcpSocket::Failure::HostNotFound : TcpSocket::Failure::Other, code};
    }
    ResolvedHost resolved{addressesOf(found)};
    freeaddrinfo(found);
    return resolved;
}

// The socket's connect, bytes and close set its event; a connect on it does not block.
bool openSocket(SystemSocket& s, int family, int& code) {
    s.socket = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    s.event = WSACreateEvent();
    if (s.socket != INVALID_SOCKET && s.event != WSA_INVALID_EVENT &&
        WSAEventSelect(s.socket, s.event, FD_CONNECT | FD_READ | FD_CLOSE) == 0)
        return true;
    code = WSAGetLastError();
    return false;
}

int startConnect(SystemSocket& s, const SocketAddress& address) {
    sockaddr_storage storage{};
    std::memcpy(&storage, address.bytes.data(), std::min(address.size, sizeof storage));
    const auto size = static_cast<int>(address.size);
    return ::connect(s.socket, reinterpret_cast<const sockaddr*>(&storage), size) == 0
               ? 0
               : WSAGetLastError();
}

int connectOutcome(SystemSocket& s) { return s.connected.value_or(0); }

void sendAtOnce(SystemSocket& s) {
    const BOOL one = TRUE;
    setsockopt(s.socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

// Winsock has no request for a single acknowledgement; its own timing is kept.
void acknowledgeAtOnce(SystemSocket& /*socket*/) {}

long sendSome(SystemSocket& s, const uint8_t* data, size_t size, int& code) {
    const int chunk = static_cast<int>(std::min<size_t>(size, 0x10000));
    const int n = ::send(s.socket, reinterpret_cast<const char*>(data), chunk, 0);
    if (n > 0) return n;
    code = WSAGetLastError();
    return -1;
}

long receiveSome(SystemSocket& s, uint8_t* buffer, size_t max, int& code) {
    const int want = static_cast<int>(std::min<size_t>(max, 0x10000));
    const int n = ::recv(s.socket, reinterpret_cast<char*>(buffer), want, 0);
    if (n >= 0) return n;
    code = WSAGetLastError();
    return -1;
}

SerialPort::Wake sleepOn(SystemSocket& s, SocketEvent event, Clock::time_point until,
                         const CancelSignal* cancel) {
    using Wake = SerialPort::Wake;
    const bool watchSocket = event != SocketEvent::None && s.socket != INVALID_SOCKET;
    for (;;) {
        if (cancel != nullptr && cancel->requested()) return Wake::Cancel;
        if (event == SocketEvent::Connected && s.connected) return Wake::Line;
        if (event == SocketEvent::Readable && watchSocket && (s.readable || s.closed)) {
            s.readable = false;
            return Wake::Line;
        }
        const Wake woke = s.sleep(until, watchSocket, cancel);
        if (woke != Wake::Line) return woke;
        // Events the waiter has no use for (none are asked for but the connection's) are
        // slept through.
        s.takeEvents();
    }
}

bool waitWritable(SystemSocket& s, Clock::time_point until) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(s.socket, &writable);
    const DWORD ms = millisecondsUntil(until);
    timeval timeout{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
    return select(0, nullptr, &writable, nullptr, &timeout) > 0;
}

}  // namespace rv
