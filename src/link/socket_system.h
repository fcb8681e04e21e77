#pragma once

// What a TcpSocket asks of the system: the calls in which the platforms differ, given once per
// platform (socket_posix.cpp, socket_windows.cpp). The connection's steps built on them are the
// same everywhere (socket.cpp).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/socket.h"

namespace rv {

// One address of a host, as the system's connect takes it.
struct SocketAddress {
    int family = 0;
    std::array<std::byte, 128> bytes{};  // room for any address the system has
    size_t size = 0;
};

// A host's addresses, or why there are none.
struct ResolvedHost {
    std::vector<SocketAddress> addresses;
    TcpSocket::Failure failure = TcpSocket::Failure::None;
    int systemCode = 0;
};

// The addresses of the system's list of them (`addrinfo`, the same on every platform).
template <typename AddressInfo>
std::vector<SocketAddress> addressesOf(const AddressInfo* list) {
    std::vector<SocketAddress> addresses;
    for (const AddressInfo* a = list; a != nullptr; a = a->ai_next) {
        SocketAddress& address = addresses.emplace_back();
        address.family = a->ai_family;
        address.size = std::min<size_t>(a->ai_addrlen, address.bytes.size());
        std::memcpy(address.bytes.data(), a->ai_addr, address.size);
    }
    return addresses;
}

// The system's error numbers that a connection tells apart.
struct SocketErrors {
    int connectPending = 0;         // the connect goes on while the caller waits
    int wouldBlock = 0;             // nothing to take yet, or no room to give more
    int refused = 0;                // nobody listens at the address
    std::array<int, 4> noAnswer{};  // the address did not answer in the system's time
    std::array<int, 2> closed{};    // the other end ended the connection
    int notConnected = 0;           // a send on a connection that is no more
};
extern const SocketErrors kSocketErrors;

// What a sleep on the socket waits for besides the time and the cancel request.
enum class SocketEvent {
    None,       // the socket is not watched
    Readable,   // bytes or the end of the connection to receive
    Connected,  // the outcome of a connect (connectOutcome)
};

// The host's addresses for a TCP connection to `port`.
ResolvedHost resolveHost(const std::string& host, uint16_t port);
// A new socket for addresses of `family`, not blocking; false with `code` set when there is none.
bool openSocket(SystemSocket& socket, int family, int& code);
// 0 once connected, kSocketErrors.connectPending while the connect goes on, or the error number.
int startConnect(SystemSocket& socket, const SocketAddress& address);
// After a sleep for Connected that ended with Line: 0, or why the connect failed.
int connectOutcome(SystemSocket& socket);
// Requests are small and each waits for its reply: none may wait for another.
void sendAtOnce(SystemSocket& socket);
// Asks the system to acknowledge what has arrived at once, not later.
void acknowledgeAtOnce(SystemSocket& socket);
// What the system takes of `size` bytes without waiting: the count, or -1 with `code` set.
long sendSome(SystemSocket& socket, const uint8_t* data, size_t size, int& code);
// What has arrived, at most `max` bytes, without waiting: the count, 0 once the other end
// closed the connection, or -1 with `code` set.
long receiveSome(SystemSocket& socket, uint8_t* buffer, size_t max, int& code);
// Sleeps until `event`, `until` or the cancel request (when given): which of them woke it.
SerialPort::Wake sleepOn(SystemSocket& socket, SocketEvent event,
                         TcpSocket::Clock::time_point until, const CancelSignal* cancel);
// Sleeps until the socket takes more bytes (true) or `until` (false).
bool waitWritable(SystemSocket& socket, TcpSocket::Clock::time_point until);

}  // namespace rv
