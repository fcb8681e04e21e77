#pragma once

#include <string>

namespace rv {

// A reading written with `decimals` digits after the point ("%.*f"), except that a value
// that rounds to zero carries no sign: -0.00001 with four decimals is "0.0000", never
// "-0.0000". With `plus`, positive values get a "+" (a drift, say), and zero still none.
std::string FixedText(double value, int decimals, bool plus = false);

}  // namespace rv
