#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace rv {

// Telnet's codes (RFC 854) and the options a serial line over Telnet uses: binary
// transmission (RFC 856), suppress-go-ahead (RFC 858) and COM-PORT-OPTION (RFC 2217).
namespace telnet {
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// COM-PORT-OPTION commands from the client; the server answers each with the code + 100.
inline constexpr uint8_t kSetBaudRate = 1;
inline constexpr uint8_t kSetDataSize = 2;
inline constexpr uint8_t kSetParity = 3;
inline constexpr uint8_t kSetStopSize = 4;
inline constexpr uint8_t kSetControl = 5;
inline constexpr uint8_t kPurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;

inline constexpr uint8_t kParityNone = 1;
inline constexpr uint8_t kOneStopBit = 1;
inline constexpr uint8_t kNoFlowControl = 1;
inline constexpr uint8_t kDtrOff = 9;
inline constexpr uint8_t kRtsOn = 11;
inline constexpr uint8_t kPurgeReceived = 1;  // the gateway's buffer of what the line received
}  // namespace telnet

// The client's end of a Telnet connection that carries a serial line. It asks for binary
// transmission and suppress-go-ahead both ways and for COM-PORT-OPTION, answers the other
// end's requests without ever answering an answer (no negotiation loops), takes the line's
// bytes out of what arrives in pieces of any size, and escapes what goes out.
class TelnetClient {
  public:
    enum class Agreement { Pending, Accepted, Refused };

    // What the client asks for on connecting.
    std::string start();
    // Decodes bytes as they come off the connection: the line's bytes go to `data`, answers
    // that must go back at once to `reply`. A sub-negotiation longer than kMaxSubnegotiation
    // is cut to that length.
    void receive(const uint8_t* in, size_t size, std::string& data, std::string& reply);
    // The line's bytes as they go on the connection: 0xFF doubled, CR followed by NUL while
    // the other end has not agreed to binary transmission.
    void encode(const uint8_t* data, size_t size, std::string& out) const;
    // A COM-PORT-OPTION command with its value, 0xFF in the value doubled.
    static std::string comPortCommand(uint8_t command, const std::string& value);

    // Whether the other end agreed to COM-PORT-OPTION.
    Agreement comPort() const;
    // The last speed the server reported (its answer to SET-BAUDRATE), nothing before one.
    std::optional<uint32_t> reportedSpeed() const { return reportedSpeed_; }
    void forgetReportedSpeed() { reportedSpeed_.reset(); }
    // Whether the bytes go unchanged but for the 0xFF escape, out and in.
    bool sendsBinary() const { return options_[telnet::kBinary].us; }
    bool receivesBinary() const { return options_[telnet::kBinary].him; }

    static constexpr size_t kMaxSubnegotiation = 64;

  private:
    // One option's state on each side, with whether a request of ours waits for its answer.
    struct Option {
        bool us = false;
        bool usAsked = false;
        bool usRefused = false;
        bool him = false;
        bool himAsked = false;
    };
    enum class State { Data, Command, Option, SubOption, SubData, SubCommand };

    void step(uint8_t byte, std::string& data, std::string& reply);
    void command(uint8_t verb, uint8_t option, std::string& reply);
    void subnegotiation();
    static bool wantsOurs(uint8_t option);
    static bool wantsHis(uint8_t option);

    std::array<Option, 256> options_{};
    State state_ = State::Data;
    uint8_t verb_ = 0;
    bool afterCr_ = false;
    uint8_t subOption_ = 0;
    std::string sub_;
    std::optional<uint32_t> reportedSpeed_;
};

}  // namespace rv
