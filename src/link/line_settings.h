#pragma once

#include <cstdint>
#include <string>

#include "link/timeouts.h"

namespace rv {

// Which line an operation uses and how: the device, the speed, the reply time-out and the
// addressed instrument. A plain value: the window's controls edit one, and an operation takes
// a copy of it when it starts, so nothing the window changes later reaches a running operation.
struct LineSettings {
    // The device path of the port, e.g. /dev/ttyS1, or the network address of a gateway's port,
    // e.g. rfc2217://10.0.0.5:4001; the program resolves COMn to it.
    std::string Device = "/dev/ttyS0";
    uint32_t BaudRate = 9600;
    Duration ReplyTimeout = kInitialReplyTimeout;
    uint32_t NetNumber = 1;

    // Sets BaudRate and ReplyTimeout from a speed-list index (-1: none selected, 9600 baud).
    void applySpeedIndex(int index);
};

}  // namespace rv
