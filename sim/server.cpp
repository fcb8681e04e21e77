#include "server.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace rv::sim {

namespace {

constexpr size_t kSplitPiece = 4;
constexpr auto kSplitGap = std::chrono::milliseconds(3);
constexpr size_t kGarbageBytes = 7;
// Reply bytes that may wait for a client that does not read them. A client reads each reply
// before it sends the next request, so only a flood of requests nobody reads reaches it;
// what comes beyond it goes unanswered, as at an instrument that is still busy talking.
constexpr size_t kMaxOutgoingBytes = size_t{64} * 1024;
// How long a reply in progress may take to leave once the simulator is told to stop.
constexpr auto kStopGrace = std::chrono::seconds(30);

// A UART frame of 8N1 is ten bits.
Clock::duration wireTime(size_t bytes, unsigned baud) {
    if (baud == 0) return {};
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(10.0 * static_cast<double>(bytes) / baud));
}

}  // namespace

double monotonicSeconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

Server::Server(PseudoTerminal& line, std::deque<Instrument>& instruments, EventLog& log,
               Timing timing)
    : line_(line), instruments_(instruments), log_(log), timing_(timing) {}

void Server::receive(const uint8_t* data, size_t size, Clock::time_point when) {
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (byte == 0xFF || (byte == ':' && !afterLead_)) frameStart_ = when;
        afterLead_ = byte == 0xFF;
        if (reader_.feed(byte)) handleFrame(when);
    }
}

void Server::handleFrame(Clock::time_point now) {
    const auto request = parseRequest(reader_.body());
    if (!request) return;
    const unsigned baud = line_.baud();
    log_.request(monotonicSeconds(now), request->net, request->command, baud);
    Clock::time_point start = now;
    if (timing_.pace) start = std::max(now, frameStart_ + wireTime(reader_.wireBytes(), baud));
    start += timing_.latency;
    // Bytes sent at another speed reach an instrument garbled, so it hears nothing.
    for (Instrument& instrument : instruments_) {
        if (instrument.number() != request->net || instrument.speed() != baud) continue;
        const unsigned replyNet = instrument.number();
        if (auto fields = instrument.answer(*request))
            schedule(instrument, buildReply(replyNet, *fields), start, baud);
    }
}

void Server::schedule(Instrument& instrument, const std::string& reply, Clock::time_point start,
                      unsigned baud) {
    const InstrumentSetup& setup = instrument.setup();
    Outgoing out;
    out.net = instrument.number();
    if (setup.garbage) {
        for (size_t i = 0; i < kGarbageBytes; ++i) {
            garbageState_ = garbageState_ * 1664525u + 1013904223u;
            auto byte = static_cast<char>(garbageState_ >> 24);
            out.bytes += byte == '!' ? '?' : byte;
        }
    }
    out.bytes += setup.noCr ? reply.substr(0, reply.size() - 1) : reply;
    if (outgoingBytes_ + out.bytes.size() > kMaxOutgoingBytes) return;

    if (!outgoing_.empty()) start = std::max(start, outgoing_.back().due.back());
    const Clock::duration perByte = timing_.pace ? wireTime(1, baud) : Clock::duration{};
    // A byte is there for the client once its last bit has gone over the wire.
    Clock::time_point t = start;
    for (size_t i = 0; i < out.bytes.size(); ++i) {
        t += perByte;
        if (setup.split && i > 0 && i % kSplitPiece == 0) t += kSplitGap;
        out.due.push_back(t);
    }
    if (out.bytes.empty()) return;
    outgoingBytes_ += out.bytes.size();
    outgoing_.push_back(std::move(out));
}

bool Server::deliver(Clock::time_point now, bool& blocked) {
    blocked = false;
    while (!outgoing_.empty()) {
        Outgoing& out = outgoing_.front();
        size_t end = out.sent;
        while (end < out.bytes.size() && out.due[end] <= now) ++end;
        if (end > out.sent) {
            const ssize_t n = ::write(line_.master(), out.bytes.data() + out.sent, end - out.sent);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    blocked = errno == EAGAIN;
                    return true;
                }
                std::fprintf(stderr, "rv740x-sim: writing to the line: %s\n", std::strerror(errno));
                return false;
            }
            out.sent += static_cast<size_t>(n);
            outgoingBytes_ -= static_cast<size_t>(n);
        }
        if (out.sent < out.bytes.size()) {
            blocked = end > out.sent;
            return true;
        }
        log_.reply(monotonicSeconds(Clock::now()), out.net, out.bytes);
        outgoing_.pop_front();
    }
    return true;
}

int Server::run(const volatile std::sig_atomic_t& stop) {
    sigset_t waitMask;
    sigemptyset(&waitMask);
    Clock::time_point stopDeadline{};
    bool stopping = false;
    std::array<uint8_t, 4096> buffer{};

    for (;;) {
        if (stop && !stopping) {
            stopping = true;
            stopDeadline = Clock::now() + kStopGrace;
        }
        bool blocked = false;
        if (!deliver(Clock::now(), blocked)) return 1;
        if (stopping && (outgoing_.empty() || Clock::now() >= stopDeadline)) return 0;

        std::array<pollfd, 2> fds{{{line_.master(), 0, 0}, {line_.closeWatch(), POLLIN, 0}}};
        if (!stopping) fds[0].events |= POLLIN;
        if (blocked) fds[0].events |= POLLOUT;
        timespec timeout{};
        const timespec* timeoutPtr = nullptr;
        if (!outgoing_.empty() && !blocked) {
            const Outgoing& out = outgoing_.front();
            const auto wait = std::max(Clock::duration{}, out.due[out.sent] - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            timeoutPtr = &timeout;
        } else if (stopping) {
            timeout.tv_nsec = 50'000'000;
            timeoutPtr = &timeout;
        }
        // Signals are blocked everywhere but here, so a stop request cannot slip in between
        // the test above and the wait.
        const int ready = ::ppoll(fds.data(), fds.size(), timeoutPtr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "rv740x-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            std::fprintf(stderr, "rv740x-sim: the line failed\n");
            return 1;
        }
        if (fds[1].revents & POLLIN) line_.clientClosed();
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(line_.master(), buffer.data(), buffer.size());
            if (n > 0) {
                receive(buffer.data(), static_cast<size_t>(n), Clock::now());
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "rv740x-sim: reading the line: %s\n", std::strerror(errno));
                return 1;
            }
        }
    }
}

}  // namespace rv::sim
