#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace rv::sim {

// The gateway's end of a Telnet connection that carries the line, as a serial device server
// with COM-PORT-OPTION serves it (RFC 854, 855, 856, 858, 2217). It takes the line's bytes out
// of what the client sends, answers option requests (never an answer: no loops), sets the
// line's speed as the client asks, and acknowledges every COM-PORT-OPTION command with the
// value in force.
class TelnetServer {
  public:
    // A fixed speed is kept whatever the client asks, and reported back to it as refused.
    explicit TelnetServer(std::optional<uint32_t> fixedBaud);

    // What the gateway asks for when a client connects.
    std::string greeting();
    // Decodes what the client sent, in pieces of any size: the line's bytes go to `data`,
    // answers to `reply`.
    void receive(const uint8_t* in, size_t size, std::string& data, std::string& reply);
    // The line's bytes as they go to the client.
    void encode(const char* data, size_t size, std::string& out) const;
    // The line's speed in baud.
    uint32_t baud() const { return baud_; }

  private:
    struct Option {
        bool local = false;  // we do it
        bool localAsked = false;
        bool remote = false;  // the client does it
        bool remoteAsked = false;
    };
    enum class State { Data, Command, Option, SubOption, SubData, SubCommand };

    void step(uint8_t byte, std::string& data, std::string& reply);
    void command(uint8_t verb, uint8_t option, std::string& reply);
    void comPortCommand(std::string& reply);

    std::array<Option, 256> options_{};
    std::optional<uint32_t> fixedBaud_;
    uint32_t baud_ = 9600;
    State state_ = State::Data;
    uint8_t verb_ = 0;
    uint8_t subOption_ = 0;
    bool afterCr_ = false;
    std::string sub_;
};

}  // namespace rv::sim
