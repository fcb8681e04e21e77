#pragma once

#include <functional>

#include "config/image.h"
#include "link/exchange.h"
#include "link/link.h"

namespace rv {

// Gauge values the two dialog writes show: after the block was read, and after it was written.
inline constexpr int kDialogProgressRead = 30;
inline constexpr int kDialogProgressWritten = 75;

// Writes the image's network number and speed index into block 1 of the instrument at
// link.NetNumber, then sends "3;". Opens and closes the port. Leaves link.NetNumber and
// BaudRate alone: on Done the caller switches the program to the new number and speed.
Outcome WriteNetworkSettings(Link& link, const ConfigImage& image,
                             const std::function<void(int)>& progress);

// Writes the image's password into block 20 (its other bytes, the display period among them,
// as the instrument holds them), then sends "3;". Opens and closes the port.
Outcome WritePassword(Link& link, const ConfigImage& image,
                      const std::function<void(int)>& progress);

}  // namespace rv
