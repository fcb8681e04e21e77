#pragma once

#include <functional>
#include <optional>
#include <string>

#include "channel/characteristic.h"
#include "channel/sensor_series.h"
#include "link/exchange.h"
#include "link/link.h"

namespace rv {

// The channel a watch measures and what its readings mean.
struct WatchSetup {
    int channelIndex = 0;  // 0..7
    int typeCode = 6;      // the sensor type: its calibration sub-range and characteristic
    double r0 = 100;       // Rt0
    bool twoWire = false;
    double lineResistance = 0;  // RLine, taken off the reading in the two-wire scheme

    // The temperature of a measured resistance: the line taken off in the two-wire scheme,
    // then the type's characteristic with R0. Nothing for the resistance input.
    std::optional<double> temperatureOf(double measured) const;
};

struct ChannelConfig;

// The watch setup of channel `channelIndex` (0..7) as the page holds it.
WatchSetup WatchSetupOf(const ChannelConfig& channel, int channelIndex);

// Asks the instrument at link.NetNumber for channel `channelIndex`'s settings: opens the port,
// identifies the instrument, reads the channel's settings block and closes the port. After
// Failed, LinkStatus says why.
Outcome ReadWatchSetup(Link& link, int channelIndex, WatchSetup& setup);

// One answer of a watch: a reading or a mark, with the line of the view's status for a mark.
struct WatchAnswer {
    SensorPoint point;
    std::string note;  // empty for a reading
};

// Lost answers in a row after which the line counts as failed.
inline constexpr int kLostAnswersInRow = 10;

// Watches the resistance on a channel: opens the port, reads the channel's calibration block
// once, then sends measuring requests one after another, each as soon as the last is
// answered. Every answer goes to `answer` as it comes, on the caller's thread: a reading
// gives R = (D + A - B) * C and its temperature; an error answer of the instrument and an
// answer spoilt on the line are marks, and the watch goes on. `goOn` is asked after each
// answer; when it says no, the watch ends Done. A cancel request (link.CancelFlag, from another
// thread or a signal handler) ends it Cancelled. When the line itself fails (no answer, the port
// lost, or kLostAnswersInRow spoilt answers in a row) it ends Failed with LinkStatus telling
// why. A type that calibration refuses ends Failed with status 19 before the line is
// touched.
Outcome WatchSensor(Link& link, const WatchSetup& setup,
                    const std::function<void(const WatchAnswer&)>& answer,
                    const std::function<bool()>& goOn);

}  // namespace rv
