#pragma once

#include <string>

#include "config/device_float.h"

namespace rv {

// The shortest decimal text that, typed into a field, gives these same four bytes back. A
// zero with other bits set reads "0": its bits only survive beside it, in hex.
std::string ShortestRealText(const DeviceFloat& value);

}  // namespace rv
