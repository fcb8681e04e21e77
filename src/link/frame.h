#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/link.h"

namespace rv {

inline constexpr size_t kMaxCommandLength = 240;
inline constexpr uint32_t kMaxNetNumber = 254;
inline constexpr size_t kReplyLimit = 250;  // a reply of this many characters is refused
inline constexpr size_t kReadPiece = 250;

// The request frame: 0xFF ':' net ';' command CRC CR, the CRC over net ';' command.
std::string BuildFrame(uint32_t netNumber, std::string_view command);

// Collects one reply from the pieces the port delivers: from the first '!' through CR.
class ReplyCollector {
  public:
    enum class State { Collecting, Ended, Overflow };

    State feed(const uint8_t* data, size_t size);
    bool started() const { return started_; }
    bool ended() const { return ended_; }
    const std::string& reply() const { return reply_; }

  private:
    std::string reply_;
    bool started_ = false;
    bool ended_ = false;
};

// The fewest bytes that must still arrive before a reply from `netNumber` with `replyFields`
// fields (-1: unknown) can end, given its text so far from '!' (empty: nothing yet, 0).
// Once every separator is in, the checksum is known, and so is the reply's exact length.
size_t ReplyBytesStillNeeded(std::string_view received, uint32_t netNumber, int replyFields);

// Checks a reply text addressed from link.NetNumber and stores exactly fieldCount fields into
// link.ReplyFields. LinkStatus ends 0 on success and 7 on any fault.
bool ParseReply(Link& link, std::string_view text, int fieldCount);

// A link integer: '-'? decimal digits, or '$' hexadecimal digits; the whole text.
bool ParseLinkInteger(std::string_view text, long& value);

}  // namespace rv
