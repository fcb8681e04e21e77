#include "link/network_line.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "link/cancel_signal.h"

namespace rv {

namespace {

using std::chrono::microseconds;

// Bytes of the connection kept to recognise a gateway that turns a client away with a text
// ("Port already in use") before it closes the connection.
constexpr size_t kGreetingBytes = 128;
// A discard takes in at most this many pieces, so a line that never falls quiet cannot hold it.
constexpr int kMaxDiscardPieces = 64;

bool turnedAway(const std::string& greeting) {
    std::string lower = greeting;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("in use") != std::string::npos || lower.find("busy") != std::string::npos;
}

}  // namespace

bool NetworkLine::connect(const NetworkAddress& address, const CancelSignal* cancel,
                          SerialPort::OpenError& error) {
    using Failure = SerialPort::OpenFailure;
    const auto start = Clock::now();
    if (socket_.connect(address.host, address.port, start + kConnectTime, cancel)) {
        connectTime_ = std::chrono::duration_cast<microseconds>(Clock::now() - start);
        return true;
    }
    error = {};
    error.systemCode = socket_.systemCode();
    switch (socket_.failure()) {
        case TcpSocket::Failure::HostNotFound:
            error.cause = Failure::HostNotFound;
            break;
        case TcpSocket::Failure::Refused:
            error.cause = Failure::Refused;
            break;
        case TcpSocket::Failure::NoAnswer:
            error.cause = Failure::NoAnswer;
            break;
        case TcpSocket::Failure::Cancelled:
            error.cause = Failure::Cancelled;
            break;
        case TcpSocket::Failure::Closed:
            error.cause = Failure::ClosedByGateway;
            break;
        case TcpSocket::Failure::None:
        case TcpSocket::Failure::Other:
            error.cause = Failure::NetworkError;
            break;
    }
    return false;
}

void NetworkLine::connectionEnded() {
    fault_ = {};
    if (socket_.failure() == TcpSocket::Failure::Closed) {
        fault_.cause = turnedAway(greeting_) ? SerialPort::OpenFailure::GatewayBusy
                                             : SerialPort::OpenFailure::ClosedByGateway;
    } else {
        fault_.cause = SerialPort::OpenFailure::NetworkError;
        fault_.systemCode = socket_.systemCode();
    }
}

long NetworkLine::takeIn() {
    std::array<uint8_t, 4096> piece{};
    const long n = socket_.receive(piece.data(), piece.size());
    if (n < 0) {
        connectionEnded();
        return -1;
    }
    if (n == 0) return 0;
    const size_t before = received_.size();
    std::string reply;
    decode(piece.data(), static_cast<size_t>(n), received_, reply);
    if (greeting_.size() < kGreetingBytes) {
        greeting_.append(received_, before,
                         std::min(received_.size() - before, kGreetingBytes - greeting_.size()));
    }
    if (!reply.empty()) sendNow(reply);
    return n;
}

bool NetworkLine::receiveUntil(Clock::time_point until, const CancelSignal* cancel, Wake& woke,
                               SerialPort::OpenError& error) {
    woke = socket_.wait(until, true, cancel);
    if (woke != Wake::Line) return false;
    if (takeIn() >= 0) return true;
    error = fault_;
    return false;
}

bool NetworkLine::sendNow(const std::string& bytes) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(100 + 50 * bytes.size());
    if (socket_.sendAll(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), deadline))
        return true;
    connectionEnded();
    return false;
}

void NetworkLine::measuredRoundTrip(microseconds sample) {
    sample = std::clamp<microseconds>(sample, microseconds{}, kMaxRoundTrip);
    if (!measured_ || sample > roundTrip_) {
        roundTrip_ = sample;
    } else {
        roundTrip_ += (sample - roundTrip_) / 8;
    }
    measured_ = true;
}

microseconds NetworkLine::wireTime(size_t bytes) const {
    return microseconds(10'000'000LL * static_cast<long long>(bytes) /
                        std::max<uint32_t>(baud_, 1));
}

// The gateway may still hold bytes of the line when the connection is new, when the last
// request got no answer (a late one may be on its way) and when bytes were left to drop here;
// only then is it told to drop them. The command goes on its own: ser2net holds a request
// that comes in one piece with it for some 40 ms.
void NetworkLine::discardInput() {
    for (int i = 0; i < kMaxDiscardPieces && takeIn() > 0; ++i) {
    }
    const bool mayHoldBytes = fresh_ || !answered_ || !received_.empty();
    received_.clear();
    awaitingReply_ = false;
    if (!mayHoldBytes) return;
    if (const std::string command = purge(); !command.empty()) sendNow(command);
}

bool NetworkLine::writeAll(const uint8_t* data, size_t size) {
    std::string out;
    encode(data, size, out);
    if (!sendNow(out)) return false;
    sentAt_ = Clock::now();
    sentBytes_ = size;
    awaitingReply_ = true;
    answered_ = false;
    fresh_ = false;
    return true;
}

long NetworkLine::readAvailable(uint8_t* buffer, size_t max) {
    if (received_.empty() && takeIn() < 0) return -1;
    const size_t n = std::min(max, received_.size());
    if (n == 0) return 0;
    std::copy_n(received_.begin(), n, buffer);
    received_.erase(0, n);
    answered_ = true;
    if (awaitingReply_) {
        // The first byte of the reply: the time since the request went, less what the
        // gateway's own wire took for the request and this byte.
        awaitingReply_ = false;
        const auto elapsed = std::chrono::duration_cast<microseconds>(Clock::now() - sentAt_);
        measuredRoundTrip(elapsed - wireTime(sentBytes_ + 1));
    }
    return static_cast<long>(n);
}

bool NetworkLine::waitReadable(microseconds atMost) {
    if (!received_.empty()) return true;
    return socket_.wait(Clock::now() + atMost, true, nullptr) == Wake::Line;
}

NetworkLine::Wake NetworkLine::wait(Clock::time_point until, bool watchLine,
                                    const CancelSignal& cancel) {
    if (cancel.requested()) return Wake::Cancel;
    if (watchLine && !received_.empty()) return Wake::Line;
    return socket_.wait(until, watchLine, &cancel);
}

microseconds NetworkLine::replyDelay() const { return roundTrip_ + wireTime(sentBytes_); }

size_t NetworkLine::piecedBytes() const {
    // The bytes the line carries in a piece's time, 10 bits each, at least one.
    const auto bits = static_cast<uint64_t>(baud_) * kPieceTime.count();
    return std::max<size_t>(1, static_cast<size_t>((bits + 9999) / 10000));
}

}  // namespace rv
