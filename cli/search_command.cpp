#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "link/status.h"
#include "link/trace.h"

namespace rv::cli {

SweepPlan PlanOf(const LineOptions& line, bool allSpeeds, unsigned first, unsigned last) {
    SweepPlan plan;
    plan.first = first;
    plan.last = last;
    if (allSpeeds) {
        for (int i = 0; i < kSpeedCount; ++i) plan.speedIndexes.push_back(i);
    } else {
        plan.speedIndexes.push_back(line.baud ? SpeedIndexOfBaud(*line.baud) : kDefaultSpeedIndex);
    }
    return plan;
}

int RunSearch(const LineOptions& line, const SearchOptions& options) {
    OpenedLine opened;
    if (const int code = SetUpLine(line, opened); code != kExitDone) return code;
    Link& link = opened.link();

    const SweepResult result =
        Sweep(link, PlanOf(line, options.allSpeeds, options.first, options.last));
    if (result.outcome == Outcome::Failed) {
        PrintLineFailure(result.status, opened);
        return kExitFailure;
    }

    if (options.json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const FoundInstrument& f : result.found) {
            list.push_back({{"net", f.netNumber},
                            {"baud", f.baud},
                            {"version", f.versionStatus == 0 ? nlohmann::ordered_json(f.version)
                                                             : nlohmann::ordered_json(nullptr)}});
        }
        std::printf(
            "%s\n",
            list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    } else if (result.found.empty()) {
        std::printf("Приборы не найдены\n");
    } else {
        std::printf("Номер  Скорость, бод  Версия\n");
        for (const FoundInstrument& f : result.found) {
            const std::string version = f.versionStatus == 0
                                            ? f.version
                                            : StatusText(static_cast<uint32_t>(f.versionStatus));
            std::printf("%5u  %13u  %s\n", f.netNumber, f.baud, version.c_str());
        }
    }
    if (result.outcome == Outcome::Cancelled) {
        std::fprintf(stderr, "Остановлено\n");
        return kExitInterrupted;
    }
    return kExitDone;
}

}  // namespace rv::cli
