#include "link/telnet_client.h"

namespace rv {

using namespace telnet;

namespace {

constexpr uint8_t kCr = '\r';
constexpr uint8_t kNul = 0;

void appendCommand(std::string& out, uint8_t verb, uint8_t option) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

}  // namespace

bool TelnetClient::wantsOurs(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

bool TelnetClient::wantsHis(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

std::string TelnetClient::start() {
    std::string out;
    for (const uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
        Option& o = options_[option];
        if (!o.us && !o.usAsked) {
            o.usAsked = true;
            appendCommand(out, kWill, option);
        }
    }
    for (const uint8_t option : {kBinary, kSuppressGoAhead}) {
        Option& o = options_[option];
        if (!o.him && !o.himAsked) {
            o.himAsked = true;
            appendCommand(out, kDo, option);
        }
    }
    return out;
}

TelnetClient::Agreement TelnetClient::comPort() const {
    const Option& o = options_[kComPort];
    if (o.us) return Agreement::Accepted;
    return o.usRefused ? Agreement::Refused : Agreement::Pending;
}

// Each request is answered only when it changes the option's state; an answer to a request of
// ours is taken without a word (RFC 854's rule against loops).
void TelnetClient::command(uint8_t verb, uint8_t option, std::string& reply) {
    Option& o = options_[option];
    switch (verb) {
        case kWill:
            if (o.him) break;
            if (o.himAsked) {
                o.him = true;
                o.himAsked = false;
            } else if (wantsHis(option)) {
                o.him = true;
                appendCommand(reply, kDo, option);
            } else {
                appendCommand(reply, kDont, option);
            }
            break;
        case kWont:
            if (o.himAsked) {
                o.himAsked = false;
            } else if (o.him) {
                appendCommand(reply, kDont, option);
            }
            o.him = false;
            break;
        case kDo:
            if (o.us) break;
            if (o.usAsked) {
                o.us = true;
                o.usAsked = false;
            } else if (wantsOurs(option)) {
                o.us = true;
                appendCommand(reply, kWill, option);
            } else {
                appendCommand(reply, kWont, option);
            }
            o.usRefused = false;
            break;
        case kDont:
            if (o.usAsked) {
                o.usAsked = false;
            } else if (o.us) {
                appendCommand(reply, kWont, option);
            }
            o.us = false;
            o.usRefused = true;
            break;
        default:
            break;
    }
}

void TelnetClient::subnegotiation() {
    if (subOption_ != kComPort || sub_.empty()) return;
    const auto code = static_cast<uint8_t>(sub_[0]);
    if (code == kSetBaudRate + kServerOffset && sub_.size() == 5) {
        uint32_t speed = 0;
        for (size_t i = 1; i < 5; ++i) speed = (speed << 8) | static_cast<uint8_t>(sub_[i]);
        reportedSpeed_ = speed;
    }
}

void TelnetClient::receive(const uint8_t* in, size_t size, std::string& data, std::string& reply) {
    for (size_t i = 0; i < size; ++i) step(in[i], data, reply);
}

void TelnetClient::step(uint8_t byte, std::string& data, std::string& reply) {
    switch (state_) {
        case State::Data:
            if (byte == kIac) {
                state_ = State::Command;
                break;
            }
            // Outside binary mode a CR travels as CR NUL or CR LF; the NUL is not data.
            if (afterCr_ && byte == kNul && !receivesBinary()) {
                afterCr_ = false;
                break;
            }
            afterCr_ = byte == kCr;
            data += static_cast<char>(byte);
            break;
        case State::Command:
            afterCr_ = false;
            if (byte == kIac) {
                data += static_cast<char>(kIac);
                state_ = State::Data;
            } else if (byte == kWill || byte == kWont || byte == kDo || byte == kDont) {
                verb_ = byte;
                state_ = State::Option;
            } else if (byte == kSb) {
                state_ = State::SubOption;
            } else {
                state_ = State::Data;  // NOP, GA, data mark and the like carry nothing here
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
            } else if (sub_.size() < kMaxSubnegotiation) {
                sub_ += static_cast<char>(byte);
            }
            break;
        case State::SubCommand:
            if (byte == kSe) {
                subnegotiation();
                state_ = State::Data;
            } else if (byte == kIac) {
                if (sub_.size() < kMaxSubnegotiation) sub_ += static_cast<char>(kIac);
                state_ = State::SubData;
            } else {
                // IAC and anything but SE or IAC inside a sub-negotiation: the other end
                // broke off; the command that follows is taken as such.
                state_ = State::Command;
                step(byte, data, reply);
            }
            break;
    }
}

void TelnetClient::encode(const uint8_t* data, size_t size, std::string& out) const {
    const bool binary = sendsBinary();
    for (size_t i = 0; i < size; ++i) {
        out += static_cast<char>(data[i]);
        if (data[i] == kIac) out += static_cast<char>(kIac);
        if (data[i] == kCr && !binary) out += static_cast<char>(kNul);
    }
}

std::string TelnetClient::comPortCommand(uint8_t command, const std::string& value) {
    std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                    static_cast<char>(command)};
    for (const char c : value) {
        out += c;
        if (static_cast<uint8_t>(c) == kIac) out += c;
    }
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
    return out;
}

}  // namespace rv
