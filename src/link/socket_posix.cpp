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

#include "link/cancel_signal.h"
#include "link/socket.h"

namespace rv {

namespace {

using Clock = TcpSocket::Clock;

timespec timeLeft(Clock::time_point until) {
    const auto left = std::max(Clock::duration::zero(), until - Clock::now());
    const auto nanoseconds = std::chrono::ceil<std::chrono::nanoseconds>(left).count();
    return {static_cast<time_t>(nanoseconds / 1'000'000'000),
            static_cast<long>(nanoseconds % 1'000'000'000)};
}

// Sleeps on the socket (for `events`) and the cancel signal until `until`. Which of them woke
// it, or Timeout.
SerialPort::Wake sleepOn(int fd, short events, Clock::time_point until,
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

// A request goes out and its reply comes back in pieces while the link sleeps: the system
// would then delay its acknowledgements, and a gateway that holds small pieces until the last
// one is acknowledged (Nagle's algorithm, ser2net's default) would hold the reply's end with
// them. Asked after each request and each piece taken in, the system acknowledges at once.
void ackAtOnce(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

TcpSocket::Failure failureOfConnect(int code) {
    switch (code) {
        case ECONNREFUSED:
            return TcpSocket::Failure::Refused;
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
            return TcpSocket::Failure::NoAnswer;
        default:
            return TcpSocket::Failure::Other;
    }
}

}  // namespace

struct TcpSocket::Native {
    int fd = -1;
};

TcpSocket::TcpSocket() : native_(std::make_unique<Native>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::isOpen() const { return native_->fd >= 0; }

void TcpSocket::close() {
    if (native_->fd >= 0) ::close(native_->fd);
    native_->fd = -1;
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
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        const bool unknown = resolved == EAI_NONAME || resolved == EAI_AGAIN ||
                             resolved == EAI_FAIL || resolved == EAI_NODATA;
        return fail(unknown ? Failure::HostNotFound : Failure::Other,
                    resolved == EAI_SYSTEM ? errno : resolved);
    }
    // Each address in turn; a refusal moves on to the next, a time-out or a cancel ends it.
    failure_ = Failure::Other;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            fail(Failure::Other, errno);
            continue;
        }
        int code = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (code == EINPROGRESS) {
            const SerialPort::Wake woke = sleepOn(fd, POLLOUT, deadline, cancel);
            if (woke != SerialPort::Wake::Line) {
                ::close(fd);
                fail(woke == SerialPort::Wake::Cancel ? Failure::Cancelled : Failure::NoAnswer, 0);
                break;
            }
            socklen_t size = sizeof code;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0) code = errno;
        }
        if (code != 0) {
            ::close(fd);
            fail(failureOfConnect(code), code);
            continue;
        }
        // Requests are small and each waits for its reply: none may wait for another.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ackAtOnce(fd);
        native_->fd = fd;
        failure_ = Failure::None;
        systemCode_ = 0;
        break;
    }
    freeaddrinfo(found);
    return isOpen();
}

bool TcpSocket::sendAll(const uint8_t* data, size_t size, Clock::time_point deadline) {
    if (!isOpen()) return fail(Failure::Closed, 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::send(native_->fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
            if (done == size) ackAtOnce(native_->fd);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (sleepOn(native_->fd, POLLOUT, deadline, nullptr) != SerialPort::Wake::Line)
                return fail(Failure::NoAnswer, 0);
            continue;
        }
        const int code = errno;
        const bool closed = code == EPIPE || code == ECONNRESET || code == ENOTCONN;
        return fail(closed ? Failure::Closed : Failure::Other, code);
    }
    return true;
}

long TcpSocket::receive(uint8_t* buffer, size_t max) {
    if (!isOpen()) return -1;
    for (;;) {
        const ssize_t n = ::recv(native_->fd, buffer, max, MSG_DONTWAIT);
        if (n > 0) {
            ackAtOnce(native_->fd);
            return static_cast<long>(n);
        }
        if (n == 0) {
            fail(Failure::Closed, 0);
            return -1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        const int code = errno;
        fail(code == ECONNRESET || code == EPIPE ? Failure::Closed : Failure::Other, code);
        return -1;
    }
}

SerialPort::Wake TcpSocket::wait(Clock::time_point until, bool watchSocket,
                                 const CancelSignal* cancel) {
    return sleepOn(watchSocket ? native_->fd : -1, POLLIN, until, cancel);
}

}  // namespace rv
