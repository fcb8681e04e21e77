#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/cancel_signal.h"
#include "link/serial_port.h"
#include "link/timeouts.h"
#include "link/trace.h"

namespace rv {

inline constexpr int kMaxReplyFields = 60;
using ReplyFieldArray = std::array<std::string, kMaxReplyFields>;

// The line's settings (device, speed, reply time-out, addressed instrument) and its session
// state (the open port, the cancel request, the outcome of the last operation and the fields
// of the last reply). The program holds one; each test makes its own. Operations open the
// port through a Session (link/session.h). An operation uses it from one thread; only the
// cancel request is for any thread.
struct Link {
    // The device path of the port, e.g. /dev/ttyS1, or the network address of a gateway's port,
    // e.g. rfc2217://10.0.0.5:4001; the program resolves COM1..COM4 to it.
    std::string Device = "/dev/ttyS0";
    uint32_t BaudRate = 9600;
    Duration ReplyTimeout = kInitialReplyTimeout;
    uint32_t NetNumber = 1;
    CancelSignal CancelFlag;  // any thread may request; wakes the operation's wait at once
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

    // Sets BaudRate and ReplyTimeout from a speed-list index (-1: none selected, 9600 baud).
    void applySpeedIndex(int index);

    // Opens Device at BaudRate; on failure LinkStatus holds 5, 6 or 21.
    bool OpenPort();
    // Safe when no port is open.
    void ClosePort();
};

}  // namespace rv
