#pragma once

#include <chrono>
#include <csignal>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "event_log.h"
#include "instrument.h"
#include "network.h"
#include "protocol.h"
#include "pseudo_terminal.h"

namespace rv::sim {

using Clock = std::chrono::steady_clock;

struct Timing {
    bool pace = false;
    Clock::duration latency{};
    Clock::duration netDelay{};  // added to everything a network client is sent
};

// Serves the instruments on the line: picks requests out of what arrives on the
// pseudo-terminal and from each network client, lets the instrument addressed at that way's
// speed answer, and delivers the replies on time to the way the request came.
class Server {
  public:
    // `line` may be null when the line is served on the network alone.
    Server(PseudoTerminal* line, std::vector<std::unique_ptr<NetListener>>& listeners,
           std::deque<Instrument>& instruments, EventLog& log, Timing timing);
    ~Server();

    // Runs until `stop` is set, then finishes the replies in progress. Returns the exit code.
    int run(const volatile std::sig_atomic_t& stop);

  private:
    // A reply on its way out: byte i may go once due[i] has come.
    struct Outgoing {
        std::string bytes;
        std::vector<Clock::time_point> due;
        size_t sent = 0;
        unsigned net = 0;
    };
    // One way to the line: the pseudo-terminal (client null) or a network client.
    struct Channel {
        std::unique_ptr<NetClient> client;
        const NetListener* listener = nullptr;
        FrameReader reader;
        Clock::time_point frameStart{};
        bool afterLead = false;
        std::deque<Outgoing> outgoing;
        size_t outgoingBytes = 0;  // reply bytes in outgoing not yet written
        bool drop = false;         // a fault switch closes the connection
    };

    unsigned baudOf(const Channel& channel) const;
    void receive(Channel& channel, const uint8_t* data, size_t size, Clock::time_point when);
    void handleFrame(Channel& channel, Clock::time_point now);
    void schedule(Channel& channel, Instrument& instrument, const std::string& reply,
                  Clock::time_point start, unsigned baud);
    // Writes what is due; false on a write error of the pseudo-terminal or when a network
    // client is gone.
    bool deliver(Channel& channel, Clock::time_point now, bool& blocked);
    void accept(const NetListener& listener);
    // When the channel next has something to write, if it is not blocked.
    std::optional<Clock::time_point> nextDue(const Channel& channel) const;

    PseudoTerminal* line_;
    std::vector<std::unique_ptr<NetListener>>& listeners_;
    std::deque<Instrument>& instruments_;
    EventLog& log_;
    Timing timing_;
    std::vector<std::unique_ptr<Channel>> channels_;  // the terminal's first, when there is one
    uint32_t garbageState_ = 0x2545F491u;
};

double monotonicSeconds(Clock::time_point t);

}  // namespace rv::sim
