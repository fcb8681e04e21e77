// Time to save and to open a configuration file of a whole instrument, read from rv740x-sim.
// Prints the median and the largest of 200 rounds of each; the window's budget is 50 ms.
// Exit status 1 when the median of either exceeds it (the median, so that a loaded machine's
// stray delays do not count).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "config/transfer.h"
#include "configfile/configuration_file.h"
#include "sim_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

constexpr double kBudgetMs = 50.0;

// Prints the figures; true when the median is within the budget.
bool report(const char* what, std::vector<double>& times) {
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("%-5s median %.3f ms, max %.3f ms (%zu rounds; limit: median %.0f ms)\n", what,
                median, times.back(), times.size(), kBudgetMs);
    return median <= kBudgetMs;
}

}  // namespace

int main() {
    rv::test::SimProcess sim({"1,model=RV7408"});
    if (!sim.started()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return 1;
    }
    rv::Link link;
    link.Device = sim.linkPath();
    rv::ConfigImage image;
    rv::InstrumentRecord record;
    if (rv::ReadConfiguration(link, image, {}, &record) != rv::Outcome::Done) {
        std::fprintf(stderr, "read failed: status %d\n", link.LinkStatus);
        return 1;
    }
    rv::test::TempDir dir;
    const std::string path = dir.path() + "/bench.rv740x.json";
    std::vector<double> saves;
    std::vector<double> opens;
    for (int round = 0; round < 200; ++round) {
        std::string error;
        const auto t0 = Clock::now();
        if (!rv::SaveConfigurationFile(path, image, record, error)) {
            std::fprintf(stderr, "save: %s\n", error.c_str());
            return 1;
        }
        const auto t1 = Clock::now();
        rv::ConfigurationFile file;
        if (!rv::LoadConfigurationFile(path, file).ok || !(file.Image.Channels == image.Channels)) {
            std::fprintf(stderr, "open failed\n");
            return 1;
        }
        const auto t2 = Clock::now();
        saves.push_back(ms(t1 - t0));
        opens.push_back(ms(t2 - t1));
    }
    const bool saveMet = report("save", saves);
    const bool openMet = report("open", opens);
    std::printf("bounds: %s\n", saveMet && openMet ? "met" : "MISSED");
    return saveMet && openMet ? 0 : 1;
}
