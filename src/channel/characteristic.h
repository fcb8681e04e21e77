#pragma once

#include <optional>

namespace rv {

// The standard resistance-temperature characteristics of the resistance thermometers the
// instrument takes, each given by the ratio W of the resistance at 100 °C to R0.
enum class Characteristic {
    Platinum1385,  // IEC 60751
    Platinum1391,
    Copper1428,
    Copper1426,  // linear
};

// The characteristic of a sensor-type code; nothing for the resistance input and the types
// that are no resistance thermometer.
std::optional<Characteristic> CharacteristicOfType(int typeCode);

// R(t) / R0 of a characteristic at `celsius`.
double ResistanceRatio(Characteristic characteristic, double celsius);

// The resistance of a sensor with R0 `r0` at `celsius`.
inline double ResistanceAt(Characteristic characteristic, double r0, double celsius) {
    return r0 * ResistanceRatio(characteristic, celsius);
}

// The temperature at which a sensor with R0 `r0` has `resistance`: the closed form at and
// above 0 °C, Newton's method below, to far better than 0.001 °C. Nothing when r0 is not
// positive or the resistance lies outside what the characteristic can give (at or below a
// ratio of 0.05, or above 4.5).
std::optional<double> TemperatureOf(Characteristic characteristic, double r0, double resistance);

}  // namespace rv
