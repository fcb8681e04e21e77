#pragma once

#include <array>
#include <optional>

namespace rv {

enum class InputClass { ResistanceThermometer, Thermocouple, Current, Voltage, Resistance };

struct SensorTypeInfo {
    const char* text;  // item of the sensor-type list, UTF-8
    InputClass inputClass;
    int calibrationSubRange;  // -1: both calibrations refuse the type
};

inline constexpr int kSensorTypeCount = 18;
inline constexpr int kSchemeCount = 2;
inline constexpr int kTwoWireScheme = 1;

extern const std::array<SensorTypeInfo, kSensorTypeCount> kSensorTypes;
extern const std::array<const char*, kSchemeCount> kSchemeTexts;

// The calibration sub-range of a type code (0 for 100-ohm sensors and the resistance input,
// 1 for the 50-ohm sensors), or nothing when the type is refused or no type is chosen (-1).
std::optional<int> CalibrationSubRange(int typeCode);

// Measuring mode and calibration entry that go with a sub-range.
inline constexpr unsigned MeasuringMode(int subRange) {
    return 32720u + static_cast<unsigned>(subRange);
}
inline constexpr int CalibrationEntry(int subRange) { return 4 - subRange; }
// Channel code of a measuring request for channel index 0..7.
inline constexpr unsigned MeasuringChannelCode(int channelIndex) {
    return 16u + static_cast<unsigned>(channelIndex);
}

}  // namespace rv
