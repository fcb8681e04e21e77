#pragma once

#include <cstdint>
#include <string>

namespace rv {

// How a configuration's coded values read to a person, in the window's words (UTF-8, the
// window's padding blanks left out).

// The catalogue text of a sensor type; "код N" for a code outside the catalogue.
std::string SensorTypeText(int code);
// The text of a connection scheme; "код N" for any other code.
std::string SchemeText(int code);
// The meaning of relay code 0..3 for event `event` of a relay (set point or fault cell).
std::string RelayCodeText(int event, int code);
// The model that a fitted-channel mask implies: RV7406, RV7408, or RV740x for any other mask.
std::string ModelName(uint16_t channelsFitted);

}  // namespace rv
