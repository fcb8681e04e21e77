#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv::sim {

// Longest frame body kept between ':' and CR; anything longer is line noise.
inline constexpr size_t kMaxFrameBody = 255;

// Picks request frames out of the byte stream. Every 0xFF or ':' starts a frame afresh, so a
// torn or noisy frame costs only itself; bytes outside a frame are ignored.
class FrameReader {
  public:
    // Feeds one byte; true when it completed a frame, whose body (between ':' and CR) is then
    // in body().
    bool feed(uint8_t byte);
    const std::string& body() const { return body_; }
    // Bytes the completed frame took on the wire, lead byte and CR included.
    size_t wireBytes() const { return body_.size() + (sawLead_ ? 3 : 2); }

  private:
    enum class State { Idle, AfterLead, InFrame };
    State state_ = State::Idle;
    bool sawLead_ = false;
    std::string body_;
};

// A request whose CRC checked: the addressed number and the command items.
struct Request {
    unsigned net = 0;
    std::string command;  // as sent, with its final ';'
    std::vector<std::string> items;
};

// Checks a frame body "net;item;...;CRC" and splits it; nothing when it does not check.
std::optional<Request> parseRequest(std::string_view body);

// '!' net ';' each field and ';', then the CRC over everything after '!', then CR.
std::string buildReply(unsigned net, const std::vector<std::string>& fields);

}  // namespace rv::sim
