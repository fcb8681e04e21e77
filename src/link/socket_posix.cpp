// The gateway's connection on POSIX systems: a non-blocking socket, each wait a ppoll on it and
// the cancel signal's eventfd together.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "link/cancel_signal.h"
#include "link/socket_system.h"

namespace rv {

namespace {

using Clock = TcpSocket::Clock;

timespec timeLeft(Clock::time_point until) {
    const auto left = std::max(Clock::duration::zero(), until - Clock::now());
    const auto nanoseconds = std::chrono::ceil<std::chrono::nanoseconds>(left).count();
    return {static_cast<time_t>(nanoseconds / 1'000'000'000),
            static_cast<long>(nanoseconds % 1'000'000'000)};
}

// Sleeps on the socket (for `events`; not when `fd` is -1) and the cancel signal until
// `until`. Which of them woke it, or Timeout.
SerialPort::Wake sleepOnDescriptor(int fd, short events, Clock::time_point until,
                                   const CancelSignal* cancel) {
    if (cancel != nullptr && cancel->requested()) return SerialPort::Wake::Cancel;
    std::array<pollfd, 2> fds{};
    fds[0] = {fd, events, 0};
    fds[1] = {cancel != nullptr ? static_cast<int>(cancel->waitHandle()) : -1, POLLIN, 0};
    const timespec timeout = timeLeft(until);
    if (ppoll(fds.data(), fds.size(), &timeout, nullptr) <= 0) {
        return cancel != nullptr && cancel->requested() ? SerialPort::Wake::Cancel
                                                        : SerialPort::Wake::Timeout;
    }
    if (fds[1].revents != 0 || (cancel != nullptr && cancel->requested()))
        return SerialPort::Wake::Cancel;
    return fds[0].revents != 0 ? SerialPort::Wake::Line : SerialPort::Wake::Timeout;
}

}  // namespace

struct SystemSocket {
    int fd = -1;
};

static_assert(EAGAIN == EWOULDBLOCK, "one number for a socket that cannot go on at once");
const SocketErrors kSocketErrors{.connectPending = EINPROGRESS,
                                 .wouldBlock = EWOULDBLOCK,
                                 .refused = ECONNREFUSED,
                                 .noAnswer = {ETIMEDOUT, EHOSTUNREACH, ENETUNREACH, EHOSTDOWN},
                                 .closed = {ECONNRESET, EPIPE},
                                 .notConnected = ENOTCONN};

TcpSocket::TcpSocket() : system_(std::make_unique<SystemSocket>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::isOpen() const { return system_->fd >= 0; }

void TcpSocket::close() {
    if (system_->fd >= 0) ::close(system_->fd);
    system_->fd = -1;
}

ResolvedHost resolveHost(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (code != 0) {
        const bool unknown =
            code == EAI_NONAME || code == EAI_AGAIN || code == EAI_FAIL || code == EAI_NODATA;
        return {{},
                unknown ? TcpSocket::Failure::HostNotFound : TcpSocket::Failure::Other,
                code == EAI_SYSTEM ? errno : code};
    }
    ResolvedHost resolved{addressesOf(found)};
    freeaddrinfo(found);
    return resolved;
}

bool openSocket(SystemSocket& socket, int family, int& code) {
    socket.fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket.fd >= 0) return true;
    code = errno;
    return false;
}

int startConnect(SystemSocket& socket, const SocketAddress& address) {
    sockaddr_storage storage{};
    std::memcpy(&storage, address.bytes.data(), std::min(address.size, sizeof storage));
    const auto size = static_cast<socklen_t>(address.size);
    return ::connect(socket.fd, reinterpret_cast<const sockaddr*>(&storage), size) == 0 ? 0 : errno;
}

int connectOutcome(SystemSocket& socket) {
    int code = 0;
    socklen_t size = sizeof code;
    if (getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0) code = errno;
    return code;
}

void sendAtOnce(SystemSocket& socket) {
    const int one = 1;
    setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// A request goes out and its reply comes back in pieces while the link sleeps: the system
// would then delay its acknowledgements, and a gateway that holds small pieces until the last
// one is acknowledged (Nagle's algorithm, ser2net's default) would hold the reply's end with
// them. Asked after each request and each piece taken in, the system acknowledges at once.
void acknowledgeAtOnce(SystemSocket& socket) {
    const int one = 1;
    setsockopt(socket.fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

long sendSome(SystemSocket& socket, const uint8_t* data, size_t size, int& code) {
    for (;;) {
        const ssize_t n = ::send(socket.fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) return static_cast<long>(n);
        if (n < 0 && errno == EINTR) continue;
        code = errno;
        return -1;
    }
}

long receiveSome(SystemSocket& socket, uint8_t* buffer, size_t max, int& code) {
    for (;;) {
        const ssize_t n = ::recv(socket.fd, buffer, max, MSG_DONTWAIT);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        code = errno;
        return -1;
    }
}

SerialPort::Wake sleepOn(SystemSocket& socket, SocketEvent event, Clock::time_point until,
                         const CancelSignal* cancel) {
    switch (event) {
        case SocketEvent::None:
            return sleepOnDescriptor(-1, POLLIN, until, cancel);
        case SocketEvent::Readable:
            return sleepOnDescriptor(socket.fd, POLLIN, until, cancel);
        case SocketEvent::Connected:
            return sleepOnDescriptor(socket.fd, POLLOUT, until, cancel);
    }
    return SerialPort::Wake::Timeout;
}

bool waitWritable(SystemSocket& socket, Clock::time_point until) {
    return sleepOnDescriptor(socket.fd, POLLOUT, until, nullptr) == SerialPort::Wake::Line;
}

}  // namespace rv
