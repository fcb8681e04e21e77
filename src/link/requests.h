#pragma once

#include <cstdint>
#include <string>

namespace rv::request {

// The requests the instrument answers, and how many fields each reply carries.
inline constexpr int kIdentifyFields = 1;
inline constexpr int kVersionFields = 1;
inline constexpr int kReadMemoryFields = 53;
inline constexpr int kWriteByteFields = 1;
inline constexpr int kEndWriteFields = 1;
inline constexpr int kMeasureFields = 2;
inline constexpr int kMeasureErrorFields = 1;

inline constexpr const char* kServedFamily = "17";  // identification field of an RV740x
inline constexpr const char* kWriteAccepted = "0";  // answer to the end of a write sequence
inline constexpr unsigned kWriteEnableCode = 51736;

std::string Identify();                                    // "0;"
std::string Version();                                     // "198;"
std::string ReadMemory(unsigned address);                  // "211;address;53;"
std::string WriteByte(unsigned address, unsigned value);   // "202;51736;address;value;"
std::string EndWrite();                                    // "3;"
std::string Measure(unsigned channelCode, unsigned mode);  // "2;channel;mode;"

}  // namespace rv::request
