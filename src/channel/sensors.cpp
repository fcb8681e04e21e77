#include "channel/sensors.h"

namespace rv {

// The letters after 50 and 100 in the copper types are Latin M; in the platinum types the
// Cyrillic П; the "O" of "Oм" in the resistance input is a Latin O.
const std::array<SensorTypeInfo, kSensorTypeCount> kSensorTypes{{
    {"  50M    (W=1.428)", InputClass::ResistanceThermometer, 1},
    {"  50M    (W=1.426)", InputClass::ResistanceThermometer, 1},
    {"  100M  (W=1.428)", InputClass::ResistanceThermometer, 0},
    {"  100M  (W=1.426)", InputClass::ResistanceThermometer, 0},
    {"  50П    (W=1.391)", InputClass::ResistanceThermometer, 1},
    {"  100П  (W=1.391)", InputClass::ResistanceThermometer, 0},
    {"  Pt100  (W=1.385)", InputClass::ResistanceThermometer, 0},
    {"  ХромельАлюмель", InputClass::Thermocouple, -1},
    {"  ХромельКапель", InputClass::Thermocouple, -1},
    {"  ПлатинаПлатина(S)", InputClass::Thermocouple, -1},
    {"  ВольфрамРений(A)-1", InputClass::Thermocouple, -1},
    {"  ЖелезоКонстантан", InputClass::Thermocouple, -1},
    {"  Ток     0...+5 мА", InputClass::Current, -1},
    {"  Ток     0...+20 мА", InputClass::Current, -1},
    {"  Ток  +4...+20 мА", InputClass::Current, -1},
    {"  Напряжение       0...+100 мВ", InputClass::Voltage, -1},
    {"  Напряжение       0...+75 мВ", InputClass::Voltage, -1},
    {"  Сопротивление 0...320 Oм", InputClass::Resistance, 0},
}};

const std::array<const char*, kSchemeCount> kSchemeTexts{"  3-х  проводная", "  2-х  проводная"};

std::optional<int> CalibrationSubRange(int typeCode) {
    if (typeCode < 0 || typeCode >= kSensorTypeCount) return std::nullopt;
    const int subRange = kSensorTypes[static_cast<size_t>(typeCode)].calibrationSubRange;
    if (subRange < 0) return std::nullopt;
    return subRange;
}

}  // namespace rv
