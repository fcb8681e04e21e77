#pragma once

#include <array>
#include <cstdint>

#include "config/image.h"

namespace rv {

inline constexpr int kRelayCount = 8;
// Events of one relay: set point 1, set point 2 and fault of each channel, n = 3c + e.
inline constexpr int kRelayEvents = 3 * kChannelCount;
inline constexpr int kFaultEvent = 2;

using RelayTableBytes = std::array<uint8_t, kRelayTableSize>;

// Whether event n of a relay is a channel's fault (the others are set points).
constexpr bool IsFaultEvent(int event) { return event % 3 == kFaultEvent; }

// The two-bit code of relay `relay` (0..7) for event `event` (0..23): six bytes per relay,
// event n in byte n / 4 at bits 2 (n % 4) and 2 (n % 4) + 1.
int RelayCode(const RelayTableBytes& table, int relay, int event);

// Stores the low two bits of `code` there, keeping the byte's other six bits.
void SetRelayCode(RelayTableBytes& table, int relay, int event, int code);

}  // namespace rv
