#include "server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
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

Server::Server(PseudoTerminal* line, std::vector<std::unique_ptr<NetListener>>& listeners,
               std::deque<Instrument>& instruments, EventLog& log, Timing timing)
    : line_(line), listeners_(listeners), instruments_(instruments), log_(log), timing_(timing) {
    if (line_ != nullptr) channels_.push_back(std::make_unique<Channel>());
}

Server::~Server() = default;

unsigned Server::baudOf(const Channel& channel) const {
    return channel.client ? channel.client->baud() : line_->baud();
}

void Server::receive(Channel& channel, const uint8_t* data, size_t size, Clock::time_point when) {
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (byte == 0xFF || (byte == ':' && !channel.afterLead)) channel.frameStart = when;
        channel.afterLead = byte == 0xFF;
        if (channel.reader.feed(byte)) handleFrame(channel, when);
    }
}

void Server::handleFrame(Channel& channel, Clock::time_point now) {
    const auto request = parseRequest(channel.reader.body());
    if (!request) return;
    const unsigned baud = baudOf(channel);
    log_.request(monotonicSeconds(now), request->net, request->command, baud);
    Clock::time_point start = now;
    if (timing_.pace)
        start = std::max(now, channel.frameStart + wireTime(channel.reader.wireBytes(), baud));
    start += timing_.latency;
    if (channel.client) start += timing_.netDelay;
    // Bytes sent at another speed reach an instrument garbled, so it hears nothing.
    for (Instrument& instrument : instruments_) {
        if (instrument.number() != request->net || instrument.speed() != baud) continue;
        const unsigned replyNet = instrument.number();
        auto fields = instrument.answer(*request);
        const int dropAt = instrument.setup().dropConnection;
        if (channel.client && dropAt > 0 && instrument.heard() == dropAt) {
            channel.drop = true;
            continue;
        }
        if (fields) schedule(channel, instrument, buildReply(replyNet, *fields), start, baud);
    }
}

void Server::schedule(Channel& channel, Instrument& instrument, const std::string& reply,
                      Clock::time_point start, unsigned baud) {
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
    if (channel.outgoingBytes + out.bytes.size() > kMaxOutgoingBytes) return;

    if (!channel.outgoing.empty()) start = std::max(start, channel.outgoing.back().due.back());
    const Clock::duration perByte = timing_.pace ? wireTime(1, baud) : Clock::duration{};
    // A byte is there for the client once its last bit has gone over the wire.
    Clock::time_point t = start;
    for (size_t i = 0; i < out.bytes.size(); ++i) {
        t += perByte;
        if (setup.split && i > 0 && i % kSplitPiece == 0) t += kSplitGap;
        out.due.push_back(t);
    }
    if (out.bytes.empty()) return;
    channel.outgoingBytes += out.bytes.size();
    channel.outgoing.push_back(std::move(out));
}

bool Server::deliver(Channel& channel, Clock::time_point now, bool& blocked) {
    blocked = false;
    while (!channel.outgoing.empty()) {
        Outgoing& out = channel.outgoing.front();
        size_t end = out.sent;
        while (end < out.bytes.size() && out.due[end] <= now) ++end;
        if (end > out.sent) {
            if (channel.client) {
                channel.client->sendLine(out.bytes.data() + out.sent, end - out.sent);
                channel.outgoingBytes -= end - out.sent;
                out.sent = end;
            } else {
                const ssize_t n =
                    ::write(line_->master(), out.bytes.data() + out.sent, end - out.sent);
                if (n < 0) {
                    if (errno == EAGAIN || errno == EINTR) {
                        blocked = errno == EAGAIN;
                        return true;
                    }
                    std::fprintf(stderr, "rv740x-sim: writing to the line: %s\n",
                                 std::strerror(errno));
                    return false;
                }
                out.sent += static_cast<size_t>(n);
                channel.outgoingBytes -= static_cast<size_t>(n);
            }
        }
        if (out.sent < out.bytes.size()) {
            blocked = !channel.client && end > out.sent;
            break;
        }
        log_.reply(monotonicSeconds(Clock::now()), out.net, out.bytes);
        channel.outgoing.pop_front();
    }
    if (!channel.client) return true;
    const bool alive = channel.client->flush(now);
    blocked = channel.client->blocked();
    return alive;
}

void Server::accept(const NetListener& listener) {
    for (;;) {
        const int fd = listener.accept();
        if (fd < 0) return;
        // A client that has just gone no longer holds the port.
        const bool taken = std::any_of(channels_.begin(), channels_.end(), [&](const auto& c) {
            return c->listener == &listener && !c->drop;
        });
        if (taken) {
            NetListener::turnAway(fd);
            continue;
        }
        auto channel = std::make_unique<Channel>();
        channel->client = std::make_unique<NetClient>(fd, listener.setup(), timing_.netDelay);
        channel->listener = &listener;
        channels_.push_back(std::move(channel));
    }
}

std::optional<Clock::time_point> Server::nextDue(const Channel& channel) const {
    std::optional<Clock::time_point> due;
    if (!channel.outgoing.empty()) {
        const Outgoing& out = channel.outgoing.front();
        due = out.due[out.sent];
    }
    if (channel.client) {
        const auto answer = channel.client->nextDue();
        if (answer && (!due || *answer < *due)) due = answer;
    }
    return due;
}

int Server::run(const volatile std::sig_atomic_t& stop) {
    sigset_t waitMask;
    sigemptyset(&waitMask);
    Clock::time_point stopDeadline{};
    bool stopping = false;
    std::array<uint8_t, 4096> buffer{};
    std::vector<pollfd> fds;
    std::vector<bool> blocked;

    for (;;) {
        if (stop && !stopping) {
            stopping = true;
            stopDeadline = Clock::now() + kStopGrace;
        }
        blocked.assign(channels_.size(), false);
        bool busy = false;
        for (size_t i = 0; i < channels_.size(); ++i) {
            Channel& channel = *channels_[i];
            bool channelBlocked = false;
            const bool ok = deliver(channel, Clock::now(), channelBlocked);
            if (!ok && !channel.client) return 1;
            if (!ok) channel.drop = true;
            blocked[i] = channelBlocked;
            busy = busy || !channel.outgoing.empty() || channelBlocked;
        }
        // A connection a fault switch or its client ended goes, with what it had to send.
        for (size_t i = channels_.size(); i-- > 0;) {
            if (channels_[i]->drop) {
                channels_.erase(channels_.begin() + static_cast<std::ptrdiff_t>(i));
                blocked.erase(blocked.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (stopping && (!busy || Clock::now() >= stopDeadline)) return 0;

        fds.clear();
        std::optional<Clock::time_point> wake;
        for (size_t i = 0; i < channels_.size(); ++i) {
            const Channel& channel = *channels_[i];
            const int fd = channel.client ? channel.client->fd() : line_->master();
            auto events = static_cast<short>(stopping ? 0 : POLLIN);
            if (blocked[i]) events = static_cast<short>(events | POLLOUT);
            fds.push_back({fd, events, 0});
            const auto due = nextDue(channel);
            if (due && !blocked[i] && (!wake || *due < *wake)) wake = due;
        }
        const size_t firstListener = fds.size();
        for (const auto& listener : listeners_)
            fds.push_back({listener->fd(), static_cast<short>(stopping ? 0 : POLLIN), 0});
        const size_t closeWatchAt = fds.size();
        if (line_ != nullptr) fds.push_back({line_->closeWatch(), POLLIN, 0});

        timespec timeout{};
        const timespec* timeoutPtr = nullptr;
        if (wake) {
            const auto wait = std::max(Clock::duration{}, *wake - Clock::now());
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
        if (line_ != nullptr && (fds[closeWatchAt].revents & POLLIN)) line_->clientClosed();
        for (size_t i = 0; i < channels_.size(); ++i) {
            Channel& channel = *channels_[i];
            const short revents = fds[i].revents;
            if (!channel.client) {
                if (revents & (POLLERR | POLLNVAL)) {
                    std::fprintf(stderr, "rv740x-sim: the line failed\n");
                    return 1;
                }
                if (!(revents & POLLIN)) continue;
                const ssize_t n = ::read(line_->master(), buffer.data(), buffer.size());
                if (n > 0) {
                    receive(channel, buffer.data(), static_cast<size_t>(n), Clock::now());
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    std::fprintf(stderr, "rv740x-sim: reading the line: %s\n",
                                 std::strerror(errno));
                    return 1;
                }
                continue;
            }
            if (!(revents & (POLLIN | POLLHUP | POLLERR))) continue;
            std::string data;
            const auto now = Clock::now();
            if (!channel.client->receive(data, now)) channel.drop = true;
            receive(channel, reinterpret_cast<const uint8_t*>(data.data()), data.size(), now);
        }
        for (size_t i = 0; i < listeners_.size(); ++i) {
            if (fds[firstListener + i].revents & POLLIN) accept(*listeners_[i]);
        }
    }
}

}  // namespace rv::sim
