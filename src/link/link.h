#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "devmem/block_table.h"
#include "link/serial_port.h"
#include "link/timeouts.h"
#include "ports/port_map.h"

namespace rv {

inline constexpr int kMaxReplyFields = 60;
using ReplyFieldArray = std::array<std::string, kMaxReplyFields>;

// Everything the program shares across operations on the line: the port settings, the
// addressed instrument, the cancel request, the outcome of the last operation, the fields of
// the last reply and the block buffer. The program holds one; each test makes its own.
struct Link {
    int PortIndex = 0;  // 0..3 for COM1..COM4
    uint32_t BaudRate = 9600;
    Duration ReplyTimeout = kInitialReplyTimeout;
    uint32_t NetNumber = 1;
    bool CancelFlag = false;
    int32_t LinkStatus = 0;
    ReplyFieldArray ReplyFields;
    BlockBuffer blockBuffer{};
    SerialPort port;

    // Devices behind COM1..COM4; the program fills them from its PortSetup.
    PortDevices portDevices{DefaultDevice(0), DefaultDevice(1), DefaultDevice(2),
                            DefaultDevice(3)};

    // Called while a transaction waits, so the window stays alive and can set CancelFlag.
    std::function<void()> pumpMessages;

    // Sets BaudRate and ReplyTimeout from a speed-list index (-1: none selected, 9600 baud).
    void applySpeedIndex(int index);

    // Opens the port of PortIndex at BaudRate; on failure LinkStatus holds 5, 6 or 21.
    bool OpenPort();
    // Safe when no port is open.
    void ClosePort();

    void pump() {
        if (pumpMessages) pumpMessages();
    }
};

// Closes the link's port when it leaves scope, on every path of an operation.
class PortGuard {
public:
    explicit PortGuard(Link& link) : link_(link) {}
    PortGuard(const PortGuard&) = delete;
    PortGuard& operator=(const PortGuard&) = delete;
    ~PortGuard() { link_.ClosePort(); }

private:
    Link& link_;
};

}  // namespace rv
