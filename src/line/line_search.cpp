#include "line/line_search.h"

#include <algorithm>
#include <chrono>

#include "config/image.h"
#include "configfile/code_page.h"
#include "configfile/value_texts.h"
#include "devmem/blocks.h"
#include "link/requests.h"
#include "link/serial_port.h"
#include "link/timeouts.h"
#include "ops/search.h"

namespace rv {

namespace {

double probeSeconds(int speedIndex) {
    return std::chrono::duration<double>(SearchTimeoutOfSpeedIndex(speedIndex)).count();
}

unsigned probesPerSpeed(const SpeedSearchPlan& plan) {
    return plan.last < plan.first ? 0 : plan.last - plan.first + 1;
}

// Asks the instrument that just answered (the port open, the link addressed to it) what it
// is. Its failures are noted in `found`, never the search's.
void askFound(Link& link, bool identify, FoundInstrument& found) {
    if (Exchange(link, request::Version(), request::kVersionFields) == Step::Ok) {
        found.version = InstrumentTextToUtf8(link.ReplyFields[0]).value_or("?");
    } else {
        found.versionStatus = link.LinkStatus;
    }
    if (!identify || link.CancelFlag.requested()) return;
    BlockBuffer buffer{};
    int progressCount = 0;
    if (ReadBlock(link, 0, progressCount, buffer) != 0) {
        found.identityStatus = link.LinkStatus;
        return;
    }
    ConfigImage scratch;
    scratch.DecodeBlock(0, buffer);
    found.identified = true;
    found.model = ModelName(scratch.ChannelsFitted);
    found.id = scratch.LoadedId;
}

}  // namespace

bool WasAsked(const SpeedSearchResult& result, unsigned net, int speedIndex) {
    return std::any_of(result.asked.begin(), result.asked.end(), [&](const AskedRange& r) {
        return r.speedIndex == speedIndex && net >= r.first && net <= r.last;
    });
}

double SearchBoundSeconds(const SpeedSearchPlan& plan) {
    double total = 0;
    for (int index : plan.speedIndexes) total += probesPerSpeed(plan) * probeSeconds(index);
    return total;
}

std::vector<int> DefaultLineSearchSpeeds() {
    return {SpeedIndexOfBaud(2400), SpeedIndexOfBaud(4800), SpeedIndexOfBaud(9600),
            SpeedIndexOfBaud(19200)};
}

SpeedSearchResult SearchSpeeds(Link& link, const SpeedSearchPlan& asked,
                               const SpeedSearchObserver& observer) {
    SpeedSearchPlan plan = asked;
    if (plan.speedIndexes.size() > 1 && !SerialPort::SetsSpeed(link.Device)) {
        const int chosen = SpeedIndexOfBaud(link.BaudRate);
        plan.speedIndexes = {chosen < 0 ? kDefaultSpeedIndex : chosen};
        if (observer.speedFixed) observer.speedFixed();
    }
    SpeedSearchResult result;
    const unsigned perSpeed = probesPerSpeed(plan);
    const auto totalProbes = static_cast<unsigned>(perSpeed * plan.speedIndexes.size());
    unsigned probesDone = 0;
    double secondsAfterThisSpeed = SearchBoundSeconds(plan);
    for (int speedIndex : plan.speedIndexes) {
        const double probe = probeSeconds(speedIndex);
        secondsAfterThisSpeed -= perSpeed * probe;
        link.applySpeedIndex(speedIndex);
        const unsigned baud = BaudOfSpeedIndex(speedIndex);

        SearchObserver search;
        unsigned asking = 0;
        search.probing = [&](unsigned net) {
            asking = net;
            if (observer.probing) {
                observer.probing(baud, net, secondsAfterThisSpeed + (plan.last - net + 1) * probe);
            }
        };
        search.found = [&](unsigned net) {
            const bool known =
                std::any_of(result.found.begin(), result.found.end(),
                            [net](const FoundInstrument& f) { return f.netNumber == net; });
            if (known) return;
            FoundInstrument found;
            found.netNumber = net;
            found.speedIndex = speedIndex;
            found.baud = baud;
            askFound(link, plan.identify, found);
            result.found.push_back(found);
            if (observer.found) observer.found(found);
        };
        search.progress = [&](int) {
            // The probe has had its answer or its time-out: the number counts as asked.
            if (result.asked.empty() || result.asked.back().speedIndex != speedIndex)
                result.asked.push_back({speedIndex, asking, asking});
            result.asked.back().last = asking;
            ++probesDone;
            if (observer.progress && totalProbes > 0) {
                observer.progress(static_cast<int>(probesDone * 100 / totalProbes));
            }
        };

        result.outcome = SearchLine(link, SearchTimeoutOfSpeedIndex(speedIndex), search,
                                    {plan.first, plan.last});
        if (result.outcome == Outcome::Failed) {
            result.status = link.LinkStatus;
            result.detail = link.LinkDetail;
        }
        if (result.outcome != Outcome::Done) break;
    }
    return result;
}

}  // namespace rv
