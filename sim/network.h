#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "options.h"
#include "telnet_server.h"

namespace rv::sim {

// A listening port on 127.0.0.1 for one kind of network client.
class NetListener {
  public:
    NetListener() = default;
    NetListener(const NetListener&) = delete;
    NetListener& operator=(const NetListener&) = delete;
    ~NetListener();

    bool open(const Listener& setup, std::string& error);
    int fd() const { return fd_; }
    uint16_t port() const { return port_; }
    const Listener& setup() const { return setup_; }
    // "rfc2217:4001" or "tcp:4002", as the ready line names it.
    std::string name() const;
    // Accepts a waiting client: its socket, or -1.
    int accept() const;
    // Tells a client that the line is taken and disconnects it, as gateways do.
    static void turnAway(int fd);

  private:
    Listener setup_;
    int fd_ = -1;
    uint16_t port_ = 0;
};

// One network client of the line: its bytes in and out, raw or by Telnet, with the added
// delay on everything it is sent.
class NetClient {
  public:
    using Clock = std::chrono::steady_clock;

    NetClient(int fd, const Listener& setup, Clock::duration delay);
    NetClient(const NetClient&) = delete;
    NetClient& operator=(const NetClient&) = delete;
    ~NetClient();

    int fd() const { return fd_; }
    // Takes in what arrived: the line's bytes go to `data`. False once the client has gone.
    bool receive(std::string& data, Clock::time_point now);
    // The line's bytes, due now: they go out coded as the connection wants.
    void sendLine(const char* data, size_t size);
    // Writes what is due; false when the connection failed.
    bool flush(Clock::time_point now);
    // Whether written bytes wait for the socket to take them.
    bool blocked() const { return !out_.empty(); }
    // When the next delayed answer is due.
    std::optional<Clock::time_point> nextDue() const;
    uint32_t baud() const;

  private:
    int fd_;
    bool telnet_;
    TelnetServer codec_;
    uint32_t rawBaud_;
    Clock::duration delay_;
    std::deque<std::pair<Clock::time_point, std::string>> delayed_;  // answers on their way
    std::string out_;  // due bytes the socket has not taken yet
};

}  // namespace rv::sim
