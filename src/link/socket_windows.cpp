// The gateway's connection on Windows: Winsock, the socket's events tied to one event object,
// so that a wait sleeps on it and the cancel event together.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>

#include "link/cancel_signal.h"
#include "link/socket.h"

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

TcpSocket::Failure failureOfConnect(int code) {
    switch (code) {
        case WSAECONNREFUSED:
            return TcpSocket::Failure::Refused;
        case WSAETIMEDOUT:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAEHOSTDOWN:
            return TcpSocket::Failure::NoAnswer;
        default:
            return TcpSocket::Failure::Other;
    }
}

}  // namespace

// The socket and the event its network events set. Taking the events off the socket's record
// resets the event, so what they told is kept here until a wait reports it: the other end's
// bytes or close (which may come with the connection's outcome), and the outcome itself.
struct TcpSocket::Native {
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

TcpSocket::TcpSocket() : native_(std::make_unique<Native>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::isOpen() const { return native_->socket != INVALID_SOCKET; }

void TcpSocket::close() {
    Native& n = *native_;
    if (n.socket != INVALID_SOCKET) closesocket(n.socket);
    if (n.event != WSA_INVALID_EVENT) WSACloseEvent(n.event);
    n = Native{};
}

bool TcpSocket::fail(Failure failure, int systemCode) {
    failure_ = failure;
    systemCode_ = systemCode;
    return false;
}

bool TcpSocket::connect(const std::string& host, uint16_t port, Clock::time_point deadline,
                        const CancelSignal* cancel) {
    close();
    failure_ = Failure::None;
    systemCode_ = 0;
    if (!winsockReady()) return fail(Failure::Other, WSASYSNOTREADY);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        const bool unknown = resolved == WSAHOST_NOT_FOUND || resolved == WSATRY_AGAIN ||
                             resolved == WSANO_RECOVERY || resolved == WSANO_DATA;
        return fail(unknown ? Failure::HostNotFound : Failure::Other, resolved);
    }
    // Each address in turn; a refusal moves on to the next, a time-out or a cancel ends it.
    failure_ = Failure::Other;
    Native& n = *native_;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        n.socket = ::socket(a->ai_family, SOCK_STREAM, IPPROTO_TCP);
        n.event = WSACreateEvent();
        if (n.socket == INVALID_SOCKET || n.event == WSA_INVALID_EVENT ||
            WSAEventSelect(n.socket, n.event, FD_CONNECT | FD_READ | FD_CLOSE) != 0) {
            fail(Failure::Other, WSAGetLastError());
            close();
            continue;
        }
        int code = 0;
        if (::connect(n.socket, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            code = WSAGetLastError();
        }
        if (code == WSAEWOULDBLOCK) {
            SerialPort::Wake woke = SerialPort::Wake::Line;
            while (!n.connected && woke == SerialPort::Wake::Line) {
                woke = n.sleep(deadline, true, cancel);
                if (woke == SerialPort::Wake::Line) n.takeEvents();
            }
            if (!n.connected) {
                close();
                fail(woke == SerialPort::Wake::Cancel ? Failure::Cancelled : Failure::NoAnswer, 0);
                break;
            }
            code = *n.connected;
        }
        if (code != 0) {
            close();
            fail(failureOfConnect(code), code);
            continue;
        }
        // Requests are small and each waits for its reply: none may wait for another.
        const BOOL one = TRUE;
        setsockopt(n.socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                   sizeof one);
        failure_ = Failure::None;
        systemCode_ = 0;
        break;
    }
    freeaddrinfo(found);
    return isOpen();
}

bool TcpSocket::sendAll(const uint8_t* data, size_t size, Clock::time_point deadline) {
    if (!isOpen()) return fail(Failure::Closed, 0);
    const SOCKET s = native_->socket;
    size_t done = 0;
    while (done < size) {
        const int chunk = static_cast<int>(std::min<size_t>(size - done, 0x10000));
        const int n = ::send(s, reinterpret_cast<const char*>(data + done), chunk, 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK) {
            // The socket's buffer is full: sleep until it takes more or the time is up.
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(s, &writable);
            const DWORD ms = millisecondsUntil(deadline);
            timeval timeout{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
            if (select(0, nullptr, &writable, nullptr, &timeout) <= 0)
                return fail(Failure::NoAnswer, 0);
            continue;
        }
        const bool closed = code == WSAECONNRESET || code == WSAECONNABORTED || code == WSAENOTCONN;
        return fail(closed ? Failure::Closed : Failure::Other, code);
    }
    return true;
}

long TcpSocket::receive(uint8_t* buffer, size_t max) {
    if (!isOpen()) return -1;
    const int want = static_cast<int>(std::min<size_t>(max, 0x10000));
    const int n = ::recv(native_->socket, reinterpret_cast<char*>(buffer), want, 0);
    if (n > 0) return n;
    if (n == 0) {
        fail(Failure::Closed, 0);
        return -1;
    }
    const int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK) return 0;
    fail(code == WSAECONNRESET || code == WSAECONNABORTED ? Failure::Closed : Failure::Other, code);
    return -1;
}

SerialPort::Wake TcpSocket::wait(Clock::time_point until, bool watchSocket,
                                 const CancelSignal* cancel) {
    using Wake = SerialPort::Wake;
    Native& n = *native_;
    watchSocket = watchSocket && isOpen();
    for (;;) {
        if (cancel != nullptr && cancel->requested()) return Wake::Cancel;
        if (watchSocket && (n.readable || n.closed)) {
            n.readable = false;
            return Wake::Line;
        }
        const Wake woke = n.sleep(until, watchSocket, cancel);
        if (woke != Wake::Line) return woke;
        n.takeEvents();
        // Events the reader has no use for (none are asked for but the connection's) are
        // slept through.
        if (!n.readable && !n.closed) continue;
    }
}

}  // namespace rv
