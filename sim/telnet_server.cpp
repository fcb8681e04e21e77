#include "telnet_server.h"

#include "options.h"

namespace rv::sim {

namespace {

// RFC 854.
constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;
// Options: binary (RFC 856), echo (RFC 857), suppress-go-ahead (RFC 858), COM-PORT (RFC 2217).
constexpr uint8_t kBinary = 0;
constexpr uint8_t kEcho = 1;
constexpr uint8_t kSga = 3;
constexpr uint8_t kComPort = 44;
// COM-PORT-OPTION: the client's commands; the server answers with the code + 100.
constexpr uint8_t kSignature = 0;
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kAnswerOffset = 100;
constexpr size_t kMaxSub = 64;

void put(std::string& out, uint8_t verb, uint8_t option) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

void putSub(std::string& out, uint8_t code, const std::string& value) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSb);
    out += static_cast<char>(kComPort);
    out += static_cast<char>(code);
    for (const char c : value) {
        out += c;
        if (static_cast<uint8_t>(c) == kIac) out += c;
    }
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
}

std::string bigEndian(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

bool weDo(uint8_t option) { return option == kBinary || option == kSga || option == kEcho; }
bool clientMayDo(uint8_t option) {
    return option == kBinary || option == kSga || option == kComPort;
}

}  // namespace

TelnetServer::TelnetServer(std::optional<uint32_t> fixedBaud)
    : fixedBaud_(fixedBaud), baud_(fixedBaud.value_or(9600)) {}

std::string TelnetServer::greeting() {
    // As gateways do: offer to echo (a line client refuses), and ask for binary both ways.
    std::string out;
    for (const uint8_t option : {kSga, kEcho, kBinary}) {
        options_[option].localAsked = true;
        put(out, kWill, option);
    }
    options_[kBinary].remoteAsked = true;
    put(out, kDo, kBinary);
    return out;
}

void TelnetServer::command(uint8_t verb, uint8_t option, std::string& reply) {
    Option& o = options_[option];
    switch (verb) {
        case kWill:
            if (o.remote) break;
            o.remote = o.remoteAsked || clientMayDo(option);
            if (!o.remoteAsked) put(reply, o.remote ? kDo : kDont, option);
            o.remoteAsked = false;
            break;
        case kWont:
            if (o.remote && !o.remoteAsked) put(reply, kDont, option);
            o.remote = false;
            o.remoteAsked = false;
            break;
        case kDo:
            if (o.local) break;
            o.local = o.localAsked || weDo(option);
            if (!o.localAsked) put(reply, o.local ? kWill : kWont, option);
            o.localAsked = false;
            break;
        case kDont:
            if (o.local && !o.localAsked) put(reply, kWont, option);
            o.local = false;
            o.localAsked = false;
            break;
        default:
            break;
    }
}

void TelnetServer::comPortCommand(std::string& reply) {
    if (subOption_ != kComPort || sub_.empty() || !options_[kComPort].remote) return;
    const auto code = static_cast<uint8_t>(sub_[0]);
    const std::string value = sub_.substr(1);
    if (code == kSignature) {
        putSub(reply, kSignature + kAnswerOffset, "rv740x-sim");
        return;
    }
    if (code == kSetBaudRate && value.size() == 4) {
        uint32_t asked = 0;
        for (const char c : value) asked = (asked << 8) | static_cast<uint8_t>(c);
        // 0 asks for the speed in force; a speed the line does not know is refused.
        if (asked != 0 && !fixedBaud_ && speedIndexOfBaud(asked) >= 0) baud_ = asked;
        putSub(reply, kSetBaudRate + kAnswerOffset, bigEndian(baud_));
        return;
    }
    if (code >= 2 && code <= 12) putSub(reply, static_cast<uint8_t>(code + kAnswerOffset), value);
}

void TelnetServer::receive(const uint8_t* in, size_t size, std::string& data, std::string& reply) {
    for (size_t i = 0; i < size; ++i) step(in[i], data, reply);
}

void TelnetServer::step(uint8_t byte, std::string& data, std::string& reply) {
    switch (state_) {
        case State::Data:
            if (byte == kIac) {
                state_ = State::Command;
            } else if (afterCr_ && byte == 0 && !options_[kBinary].remote) {
                afterCr_ = false;  // CR NUL outside binary mode is a CR
            } else {
                afterCr_ = byte == '\r';
                data += static_cast<char>(byte);
            }
            break;
        case State::Command:
            afterCr_ = false;
            if (byte == kIac) {
                data += static_cast<char>(kIac);
                state_ = State::Data;
            } else if (byte >= kWill && byte <= kDont) {
                verb_ = byte;
                state_ = State::Option;
            } else {
                state_ = byte == kSb ? State::SubOption : State::Data;
            }
            break;
        case State::Option:
            command(verb_, byte, reply);
            state_ = State::Data;
            break;
        case State::SubOption:
            subOption_ = byte;
            sub_.clear();
            state_ = State::SubData;
            break;
        case State::SubData:
            if (byte == kIac) {
                state_ = State::SubCommand;
            } else if (sub_.size() < kMaxSub) {
                sub_ += static_cast<char>(byte);
            }
            break;
        case State::SubCommand:
            if (byte == kSe) {
                comPortCommand(reply);
                state_ = State::Data;
            } else if (byte == kIac) {
                if (sub_.size() < kMaxSub) sub_ += static_cast<char>(kIac);
                state_ = State::SubData;
            } else {
                state_ = State::Command;
                step(byte, data, reply);
            }
            break;
    }
}

void TelnetServer::encode(const char* data, size_t size, std::string& out) const {
    const bool binary = options_[kBinary].local;
    for (size_t i = 0; i < size; ++i) {
        out += data[i];
        if (static_cast<uint8_t>(data[i]) == kIac) out += data[i];
        if (data[i] == '\r' && !binary) out += '\0';
    }
}

}  // namespace rv::sim
