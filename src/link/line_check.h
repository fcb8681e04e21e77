#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace rv {

class CancelSignal;

// What opening a line showed, without a word to any instrument.
struct LineCheck {
    bool opened = false;
    bool network = false;                   // the line is a gateway's port
    std::chrono::microseconds roundTrip{};  // to the gateway and back, as measured on opening
    int32_t status = 0;                     // why it did not open, as an operation would say
    std::string detail;                     // the cause, as under an operation's status text
};

// Opens the line `name` at `baud` as an operation would, and closes it again. A cancel
// request ends a connection's waits.
LineCheck CheckLine(const std::string& name, uint32_t baud, const CancelSignal& cancel);

// The outcome as the user reads it: the round trip of a gateway ("Соединение установлено, время
// отклика 12 мс"), or the status text with the cause below it.
std::string LineCheckText(const LineCheck& check);

}  // namespace rv
