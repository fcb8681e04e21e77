#pragma once

#include <cstdint>
#include <string>

#include "link/serial_port.h"

namespace rv {

// Outcome codes left in Link::LinkStatus by the link, the block layer and the operations.
namespace status {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kPortOpen = 5;
inline constexpr int32_t kPortSetup = 6;
inline constexpr int32_t kExchange = 7;
inline constexpr int32_t kMemoryWrite = 8;
inline constexpr int32_t kNoReply = 9;
inline constexpr int32_t kUnknownDevice = 10;
inline constexpr int32_t kReplyLength = 15;
inline constexpr int32_t kPortWrite = 16;
inline constexpr int32_t kDataCorrupt = 17;
inline constexpr int32_t kPortRead = 18;
inline constexpr int32_t kRequestLimit = 19;
inline constexpr int32_t kNoSuchPort = 21;
inline constexpr int32_t kMemoryData = 30;
inline constexpr int32_t kNotRv740x = 31;
inline constexpr int32_t kOtherDevice = 32;
inline constexpr int32_t kCalibrationPoints = 35;
}  // namespace status

// The user's message for a status code, UTF-8; empty for 0.
std::string StatusText(uint32_t code);

// The status of a port that did not open: 5, 6 or 21; 0 for Ok.
int32_t StatusOfOpen(SerialPort::OpenResult result);

// What the user needs to know beyond StatusText when a port could not be opened, or when a
// line failed midway and can tell why: the device or address and the cause, with the program
// that holds the port when the system tells it. UTF-8, one item a line; empty without a cause.
std::string PortOpenDetail(const std::string& device, const SerialPort::OpenError& error);

}  // namespace rv
