#include "network.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace rv::sim {

namespace {

// What ser2net and other gateways write to a second client before they close its connection.
constexpr const char* kInUse = "Port already in use\r\n";

}  // namespace

NetListener::~NetListener() {
    if (fd_ >= 0) ::close(fd_);
}

bool NetListener::open(const Listener& setup, std::string& error) {
    setup_ = setup;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(setup.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 4) != 0) {
        error = "127.0.0.1:" + std::to_string(setup.port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t size = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    return true;
}

std::string NetListener::name() const {
    return std::string(setup_.kind == Listener::Kind::Rfc2217 ? "rfc2217:" : "tcp:") +
           std::to_string(port_);
}

int NetListener::accept() const {
    return ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

void NetListener::turnAway(int fd) {
    (void)!::send(fd, kInUse, std::strlen(kInUse), MSG_NOSIGNAL);
    ::close(fd);
}

NetClient::NetClient(int fd, const Listener& setup, Clock::duration delay)
    : fd_(fd),
      telnet_(setup.kind == Listener::Kind::Rfc2217),
      codec_(setup.fixedBaud),
      rawBaud_(setup.fixedBaud.value_or(9600)),
      delay_(delay) {
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (telnet_) delayed_.emplace_back(Clock::now() + delay_, codec_.greeting());
}

NetClient::~NetClient() { ::close(fd_); }

uint32_t NetClient::baud() const { return telnet_ ? codec_.baud() : rawBaud_; }

bool NetClient::receive(std::string& data, Clock::time_point now) {
    std::array<uint8_t, 4096> buffer{};
    const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (!telnet_) {
        data.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
        return true;
    }
    std::string reply;
    codec_.receive(buffer.data(), static_cast<size_t>(n), data, reply);
    if (!reply.empty()) delayed_.emplace_back(now + delay_, std::move(reply));
    return true;
}

void NetClient::sendLine(const char* data, size_t size) {
    if (telnet_) {
        codec_.encode(data, size, out_);
    } else {
        out_.append(data, size);
    }
}

std::optional<NetClient::Clock::time_point> NetClient::nextDue() const {
    if (delayed_.empty()) return std::nullopt;
    return delayed_.front().first;
}

bool NetClient::flush(Clock::time_point now) {
    while (!delayed_.empty() && delayed_.front().first <= now) {
        out_ += delayed_.front().second;
        delayed_.pop_front();
    }
    while (!out_.empty()) {
        const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            out_.erase(0, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
    return true;
}

}  // namespace rv::sim
