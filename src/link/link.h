#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/cancel_signal.h"
#include "link/line_settings.h"
#include "link/serial_port.h"
#include "link/trace.h"

namespace rv {

inline constexpr int kMaxReplyFields = 60;
using ReplyFieldArray = std::array<std::string, kMaxReplyFields>;

// An operation's session on the line: a copy of the line's settings, which the operation may
// change for itself (a search walks the network numbers), and its session state (the open port,
// the cancel request, the outcome of the last step and the fields of the last reply). Made from
// the settings when an operation starts and used by that operation alone, from one thread; only
// the cancel request is for any thread. Operations open the port through a Session
// (link/session.h).
struct Link : LineSettings {
    Link() = default;
    explicit Link(const LineSettings& settings) : LineSettings(settings) {}
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Any thread may request, also before the operation has opened its session; wakes the
    // operation's wait at once. A new Link starts without a request.
    CancelSignal CancelFlag;
    int32_t LinkStatus = 0;
    // Why the port did not open (PortOpenDetail), after OpenPort failed, or why the line failed
    // during an exchange when the line can tell (a network line's lost connection); empty
    // otherwise.
    std::string LinkDetail;
    ReplyFieldArray ReplyFields;
    SerialPort port;
    // The last request frame that got a whole reply, and that reply's size. The same request
    // again (a watch's measuring request) most likely gets a reply of the same size, which
    // the wait then sleeps through instead of waking for each of its bytes.
    std::string lastAnsweredFrame;
    size_t lastReplySize = 0;

    // Receives every frame sent and every reply awaited, when set; not owned.
    TraceSink* trace = nullptr;

    // Opens Device at BaudRate; on failure LinkStatus holds 5, 6 or 21.
    bool OpenPort();
    // Safe when no port is open.
    void ClosePort();
};

}  // namespace rv
