#pragma once

#include <functional>
#include <string>
#include <vector>

#include "config/device_float.h"
#include "devmem/block_table.h"
#include "link/link.h"

namespace rv {

inline constexpr int kCalibrationReadings = 6;
inline constexpr int kCalibrationRejected = 2;
inline constexpr long double kFilterSpreadLimit = 2.0L;  // above it the filter removes values
inline constexpr long double kNoiseSpreadLimit = 3.0L;   // above it the result is too noisy

struct FilteredValue {
    long double mean = 0;  // a whole number
    bool quiet = true;     // false: the series was too noisy
};

// The noise filter of a measurement. A series whose spread is at most 2 gives its rounded
// mean. Otherwise the value farthest from the mean of those left is removed `reject` times
// (equal distances: the lowest index goes), and the rest give the rounded mean, quiet when
// their spread is at most 3. Rounding is toward zero after adding 0.4 away from zero, so
// fractions of 0.6 and more round away from zero.
//
// The values are working reals read from the instrument's answers. They are taken as
// long double, in which the working real's 40 significant bits and sums of a few of them
// are exact; distances are compared as |S - m * v| rather than |S / m - v| and the rounding
// is decided on the remainder S - n * t, so no division's rounding can make or break a tie.
FilteredValue FilteredMean(std::vector<long double> values, int reject);

// Entry `entry` of a channel's calibration block as the measurement uses it.
struct CalibrationEntryValues {
    int a = 0;
    int b = 0;
    WorkingReal c;
};
CalibrationEntryValues CalibrationEntryOf(const BlockBuffer& block, int entry);

// What the window wants to see of a running measurement: the gauge and the boxes the
// measurement shows while the port is still open.
struct MeasurementObserver {
    std::function<void(int percent)> progress;
    // An error box with a single Cancel button.
    std::function<void(const std::string& text)> error;
    // A warning box with a single OK button; the measurement goes on after it.
    std::function<void(const std::string& text)> warning;
};

enum class MeasurementEnd {
    Measured,  // `resistance` holds the result
    Failed,    // port or calibration block: the window shows StatusText of LinkStatus (if not 0)
    Stopped,   // cancelled, or the measurement has shown its own message: nothing more to show
};

struct MeasurementResult {
    MeasurementEnd end = MeasurementEnd::Stopped;
    long double resistance = 0;  // (D + A - B) * C
};

inline constexpr const char* kNoiseWarning = "Слишком большие шумы";
// The refusals of a measurement before anything is sent (the calibrations, the watch of a
// sensor): a sensor type without a calibration sub-range, and the line's resistance asked of
// a channel not in the two-wire scheme.
inline constexpr const char* kOnlyResistanceThermometers =
    "Этот параметр используется только с термометрами сопротивления.";
inline constexpr const char* kOnlyTwoWireScheme =
    "Этот параметр используется только для двухпроводной схемы.";
inline constexpr const char* kInstrumentErrorPrefix = "Ошибка: ";

// Has the instrument measure the resistance on channel `channelIndex` (0..7) in calibration
// sub-range `subRange`: opens the port, reads the channel's calibration block, takes six
// readings and converts their filtered difference with the block's entry 4 - subRange.
// A channel or sub-range the instrument does not have is refused with status 19 before the
// line is touched; otherwise one Session (no identification) holds the port.
MeasurementResult MeasureResistance(Link& link, int channelIndex, int subRange,
                                    const MeasurementObserver& observer);

// The six readings and their filtered difference D; false when the measurement cannot go on
// (after its own message, or silently on a cancel). An answer field that is no number fails
// as a broken answer does (status 7).
bool DataRead(Link& link, unsigned channelCode, unsigned mode, const MeasurementObserver& observer,
              long double& difference);

// The values stored from a measured resistance: RLine as measured, R0 with the line's
// resistance subtracted in the two-wire scheme.
WorkingReal MeasuredLineResistance(long double measured);
WorkingReal MeasuredR0(long double measured, bool twoWire, const WorkingReal& lineResistance);

}  // namespace rv
