#pragma once

#include <chrono>
#include <csignal>
#include <deque>
#include <string>
#include <vector>

#include "event_log.h"
#include "instrument.h"
#include "protocol.h"
#include "pseudo_terminal.h"

namespace rv::sim {

using Clock = std::chrono::steady_clock;

struct Timing {
    bool pace = false;
    Clock::duration latency{};
};

// Serves the instruments on the line: picks requests out of what arrives, lets the
// instrument addressed at the line's speed answer, and delivers the replies on time.
class Server {
  public:
    Server(PseudoTerminal& line, std::deque<Instrument>& instruments, EventLog& log, Timing timing);

    // Runs until `stop` is set, then finishes the reply in progress. Returns the exit code.
    int run(const volatile std::sig_atomic_t& stop);

  private:
    // A reply on its way out: byte i may go once due[i] has come.
    struct Outgoing {
        std::string bytes;
        std::vector<Clock::time_point> due;
        size_t sent = 0;
        unsigned net = 0;
    };

    void receive(const uint8_t* data, size_t size, Clock::time_point when);
    void handleFrame(Clock::time_point now);
    void schedule(Instrument& instrument, const std::string& reply, Clock::time_point start,
                  unsigned baud);
    // Writes what is due; false on a write error of the line.
    bool deliver(Clock::time_point now, bool& blocked);

    PseudoTerminal& line_;
    std::deque<Instrument>& instruments_;
    EventLog& log_;
    Timing timing_;
    FrameReader reader_;
    Clock::time_point frameStart_{};
    bool afterLead_ = false;
    std::deque<Outgoing> outgoing_;
    size_t outgoingBytes_ = 0;  // reply bytes in outgoing_ not yet written
    uint32_t garbageState_ = 0x2545F491u;
};

double monotonicSeconds(Clock::time_point t);

}  // namespace rv::sim
