#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "memory.h"
#include "options.h"
#include "protocol.h"

namespace rv::sim {

// One simulated instrument: its memory, the network number and line speed it answers on,
// and how it answers each request.
class Instrument {
  public:
    explicit Instrument(InstrumentSetup setup);

    // Sets up memory (from the state file in `stateDir` when given) and takes the number and
    // speed kept in block 1. False with a reason in `error`.
    bool start(const std::string& stateDir, std::string& error);

    const InstrumentSetup& setup() const { return setup_; }
    unsigned number() const { return number_; }
    uint32_t speed() const { return speed_; }
    const Memory& memory() const { return memory_; }
    // Requests addressed to the instrument at its speed so far, answered or not.
    int heard() const { return heard_; }

    // The reply fields for a request addressed to this instrument, or nothing when it keeps
    // silent (unknown command, wrong field count, refused write, `silent`).
    std::optional<std::vector<std::string>> answer(const Request& request);

  private:
    std::optional<std::vector<std::string>> readBytes(const Request& request) const;
    std::optional<std::vector<std::string>> writeByte(const Request& request);
    std::optional<std::vector<std::string>> measure(const Request& request);
    void takeNetworkSettings();
    // The resistance the channel's input shows to the measurement being made now.
    double inputResistance(int channel);
    double baseResistance(int channel) const;
    CalibrationEntry calibrationEntry(int channel, int entry) const;
    int noise();
    // Uniform in -1..1, from the same sequence as the readings' noise.
    double unitNoise();
    uint32_t nextNoise();

    InstrumentSetup setup_;
    Memory memory_;
    unsigned number_;
    uint32_t speed_;
    int byteWrites_ = 0;
    int heard_ = 0;
    uint32_t noiseState_;
    std::array<std::optional<std::chrono::steady_clock::time_point>, 8> courseStart_{};
};

}  // namespace rv::sim
