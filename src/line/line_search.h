#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/link.h"

namespace rv {

// An instrument of the served family that answered a search.
struct FoundInstrument {
    unsigned netNumber = 0;
    int speedIndex = 0;
    unsigned baud = 0;
    std::string version;        // firmware version text (UTF-8), empty when it could not be read
    int32_t versionStatus = 0;  // why the version could not be read
    // With SpeedSearchPlan::identify: what its block of instrument data says.
    bool identified = false;
    std::string model;           // "RV7406", "RV7408" or "RV740x"
    uint32_t id = 0;             // LoadedId
    int32_t identityStatus = 0;  // why it could not be read
};

struct SpeedSearchPlan {
    std::vector<int> speedIndexes;  // searched one after another
    unsigned first = 1;
    unsigned last = 254;
    // Also read each instrument's model and identification value when it answers.
    bool identify = false;
};

struct SpeedSearchObserver {
    // Before each probe: the speed, the number about to be asked and at most how many seconds
    // the plan has left, this probe included.
    std::function<void(unsigned baud, unsigned net, double secondsLeft)> probing;
    // An instrument answered; it is asked for its version (and identity) at once.
    std::function<void(const FoundInstrument& found)> found;
    // After each probe: the share of the plan's probes done, 0..100.
    std::function<void(int percent)> progress;
    // The plan asked for several speeds on a line whose gateway fixes the speed: only the
    // link's own speed is searched. Told once, before the first probe.
    std::function<void()> speedFixed;
};

// Why a search across speeds searched one speed only.
inline constexpr const char* kSpeedFixedByGatewayText =
    "Скорость линии задаётся в настройках шлюза";

// Numbers a search asked at one speed and heard the end of, answered or not.
struct AskedRange {
    int speedIndex = 0;
    unsigned first = 1;
    unsigned last = 1;
};

struct SpeedSearchResult {
    Outcome outcome = Outcome::Done;
    int32_t status = 0;                  // after Failed: why the port could not be used
    std::string detail;                  // and what the system said of it
    std::vector<FoundInstrument> found;  // in the order they answered
    // What was asked, speed by speed; a search stopped early stops short of its plan here.
    std::vector<AskedRange> asked;
};

// Whether the search asked number `net` at speed `speedIndex`.
bool WasAsked(const SpeedSearchResult& result, unsigned net, int speedIndex);

// Searches the line at each speed of the plan `asked` (SearchLine at that speed's probe
// time-out) and asks every instrument found for its version right after it answered. An
// instrument is listed once, at the first speed it answered. A line whose speed is fixed by
// its gateway (a raw network line) is searched at the link's speed alone. Stops at the link's
// cancel request.
SpeedSearchResult SearchSpeeds(Link& link, const SpeedSearchPlan& asked,
                               const SpeedSearchObserver& observer);

// The whole time the plan's probes may take when nobody answers, in seconds.
double SearchBoundSeconds(const SpeedSearchPlan& plan);

// The speeds a line search goes through unless told otherwise: 2400, 4800, 9600 and 19200
// baud, the four an RS-485 line of these instruments runs at in practice.
std::vector<int> DefaultLineSearchSpeeds();

}  // namespace rv
