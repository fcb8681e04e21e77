#pragma once

// What the configuration file's writer and reader share: the JSON type, the keys of the
// real fields and the limits the file's values are held to. Only configfile's own sources
// include it.

#include <array>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "config/image.h"

namespace rv::file_format {

using Json = nlohmann::ordered_json;

inline constexpr std::array<uint32_t, 7> kSpeeds{300, 600, 1200, 2400, 4800, 9600, 19200};
inline constexpr uint32_t kLargestLoadedId = 0xFFFFFF;
inline constexpr int kLargestDisplaySeconds = 72;  // the last whole second whose code fits a byte

// Names of the real fields of a channel, in file order, with their members.
struct RealField {
    const char* key;
    WorkingReal ChannelConfig::*member;
};
inline constexpr RealField kRealsBeforeAveraging[] = {
    {"r0", &ChannelConfig::Rt0},
    {"lineResistance", &ChannelConfig::RLine},
    {"correction", &ChannelConfig::Delta},
};
inline constexpr RealField kScale[] = {
    {"scaleMin", &ChannelConfig::Diap1},
    {"scaleMax", &ChannelConfig::Diap2},
};
inline constexpr RealField kRealsAfterSquareRoot[] = {
    {"setpoint1", &ChannelConfig::Ustav1},  {"hysteresis1", &ChannelConfig::Gist1},
    {"setpoint2", &ChannelConfig::Ustav2},  {"hysteresis2", &ChannelConfig::Gist2},
    {"breakLow", &ChannelConfig::AlarmLow}, {"breakHigh", &ChannelConfig::AlarmHigh},
};
inline constexpr const char* kEventKeys[] = {"setpoint1", "setpoint2", "fault"};

inline std::string hexNumber(uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

inline size_t dataLength(int index) { return BlockTable[static_cast<size_t>(index)].length - 1u; }

}  // namespace rv::file_format
