#include "link/requests.h"

namespace rv::request {

std::string Identify() { return "0;"; }

std::string Version() { return "198;"; }

std::string ReadMemory(unsigned address) { return "211;" + std::to_string(address) + ";53;"; }

std::string WriteByte(unsigned address, unsigned value) {
    return "202;" + std::to_string(kWriteEnableCode) + ";" + std::to_string(address) + ";" +
           std::to_string(value) + ";";
}

std::string EndWrite() { return "3;"; }

std::string Measure(unsigned channelCode, unsigned mode) {
    return "2;" + std::to_string(channelCode) + ";" + std::to_string(mode) + ";";
}

}  // namespace rv::request
