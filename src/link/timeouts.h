#pragma once

#include <chrono>
#include <cstdint>

namespace rv {

// Reply time-outs. The instrument's documentation gives them as fractions of a day; each
// value here is that fraction times 86 400 s, exact to the microsecond.
using Duration = std::chrono::microseconds;

inline constexpr int kSpeedCount = 7;
inline constexpr int kDefaultSpeedIndex = 5;  // 9600 baud

inline constexpr Duration kInitialReplyTimeout{397'440};        // 0.0000046 day
inline constexpr Duration kMeasurementExtraTimeout{9'936'000};  // 0.000115 day

// Line speed of a speed-list index (0 = 300 ... 6 = 19200 baud); any other index, such as
// -1 for "nothing selected", means 9600 baud.
uint32_t BaudOfSpeedIndex(int index);
// The speed-list index of a line speed, or -1 when the instruments have no such speed.
int SpeedIndexOfBaud(uint32_t baud);
// Reply time-out that goes with a speed-list index.
Duration ReplyTimeoutOfSpeedIndex(int index);
// Time-out of one search probe for a speed-list index.
Duration SearchTimeoutOfSpeedIndex(int index);

}  // namespace rv
