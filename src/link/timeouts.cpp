#include "link/timeouts.h"

#include <array>

namespace rv {

namespace {

constexpr std::array<uint32_t, kSpeedCount> kBauds{300, 600, 1200, 2400, 4800, 9600, 19200};
constexpr std::array<Duration, kSpeedCount> kReplyTimeouts{
    Duration{13'910'400},  // 0.000161 day
    Duration{7'948'800},   // 0.000092 day
    Duration{4'471'200},   // 0.00005175 day
    Duration{2'484'000},   // 0.00002875 day
    Duration{1'490'400},   // 0.00001725 day
    Duration{993'600},     // 0.0000115 day
    Duration{993'600},     // 0.0000115 day
};
constexpr std::array<Duration, kSpeedCount> kSearchTimeouts{
    Duration{1'391'040},  // 0.0000161 day
    Duration{695'520},    // 0.00000805 day
    Duration{695'520},    //
    Duration{695'520},    //
    Duration{596'160},    // 0.0000069 day
    Duration{496'800},    // 0.00000575 day
    Duration{496'800},    //
};

bool valid(int index) { return index >= 0 && index < kSpeedCount; }

}  // namespace

uint32_t BaudOfSpeedIndex(int index) { return kBauds[valid(index) ? index : kDefaultSpeedIndex]; }

int SpeedIndexOfBaud(uint32_t baud) {
    for (int i = 0; i < kSpeedCount; ++i) {
        if (kBauds[static_cast<size_t>(i)] == baud) return i;
    }
    return -1;
}

Duration ReplyTimeoutOfSpeedIndex(int index) {
    return kReplyTimeouts[valid(index) ? index : kDefaultSpeedIndex];
}

Duration SearchTimeoutOfSpeedIndex(int index) {
    return kSearchTimeouts[valid(index) ? index : kDefaultSpeedIndex];
}

}  // namespace rv
