#pragma once

#include <string>

#include "link/frame.h"
#include "link/link.h"
#include "link/timeouts.h"

namespace rv {

// One request and its reply. On entry `message` is the command text, on success the reply
// from '!' through CR; on failure it keeps the command and LinkStatus tells why (or, when
// CancelFlag is set, LinkStatus is left as it was). `replyFields` is the number of fields the
// reply is expected to carry (-1: unknown); it only lets the wait sleep through the bytes the
// reply must still contain, and never decides whether a reply is accepted.
bool Transact(Link& link, std::string& message, Duration timeout, int replyFields = -1);

}  // namespace rv
