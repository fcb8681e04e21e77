#include "link/socket.h"

#include <algorithm>

#include "link/socket_system.h"

namespace rv {

namespace {

bool isClosing(int code) {
    return std::find(kSocketErrors.closed.begin(), kSocketErrors.closed.end(), code) !=
           kSocketErrors.closed.end();
}

TcpSocket::Failure failureOfConnect(int code) {
    if (code == kSocketErrors.refused) return TcpSocket::Failure::Refused;
    const auto& noAnswer = kSocketErrors.noAnswer;
    if (std::find(noAnswer.begin(), noAnswer.end(), code) != noAnswer.end())
        return TcpSocket::Failure::NoAnswer;
    return TcpSocket::Failure::Other;
}

}  // namespace

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
    const ResolvedHost resolved = resolveHost(host, port);
    if (resolved.failure != Failure::None) return fail(resolved.failure, resolved.systemCode);
    // Each address in turn; a refusal moves on to the next, a time-out or a cancel ends it.
    failure_ = Failure::Other;
    for (const SocketAddress& address : resolved.addresses) {
        int code = 0;
        if (!openSocket(*system_, address.family, code)) {
            close();
            fail(Failure::Other, code);
            continue;
        }
        code = startConnect(*system_, address);
        if (code == kSocketErrors.connectPending) {
            const SerialPort::Wake woke =
                sleepOn(*system_, SocketEvent::Connected, deadline, cancel);
            if (woke != SerialPort::Wake::Line) {
                close();
                return fail(
                    woke == SerialPort::Wake::Cancel ? Failure::Cancelled : Failure::NoAnswer, 0);
            }
            code = connectOutcome(*system_);
        }
        if (code != 0) {
            close();
            fail(failureOfConnect(code), code);
            continue;
        }
        sendAtOnce(*system_);
        acknowledgeAtOnce(*system_);
        failure_ = Failure::None;
        systemCode_ = 0;
        return true;
    }
    return false;
}

bool TcpSocket::sendAll(const uint8_t* data, size_t size, Clock::time_point deadline) {
    if (!isOpen()) return fail(Failure::Closed, 0);
    size_t done = 0;
    while (done < size) {
        int code = 0;
        const long n = sendSome(*system_, data + done, size - done, code);
        if (n > 0) {
            done += static_cast<size_t>(n);
            if (done == size) acknowledgeAtOnce(*system_);
            continue;
        }
        if (code == kSocketErrors.wouldBlock) {
            // The socket's buffer is full: sleep until it takes more or the time is up.
            if (!waitWritable(*system_, deadline)) return fail(Failure::NoAnswer, 0);
            continue;
        }
        const bool closed = isClosing(code) || code == kSocketErrors.notConnected;
        return fail(closed ? Failure::Closed : Failure::Other, code);
    }
    return true;
}

long TcpSocket::receive(uint8_t* buffer, size_t max) {
    if (!isOpen()) return -1;
    int code = 0;
    const long n = receiveSome(*system_, buffer, max, code);
    if (n > 0) {
        acknowledgeAtOnce(*system_);
        return n;
    }
    if (n == 0) {
        fail(Failure::Closed, 0);
        return -1;
    }
    if (code == kSocketErrors.wouldBlock) return 0;
    fail(isClosing(code) ? Failure::Closed : Failure::Other, code);
    return -1;
}

SerialPort::Wake TcpSocket::wait(Clock::time_point until, bool watchSocket,
                                 const CancelSignal* cancel) {
    return sleepOn(*system_, watchSocket ? SocketEvent::Readable : SocketEvent::None, until,
                   cancel);
}

}  // namespace rv
