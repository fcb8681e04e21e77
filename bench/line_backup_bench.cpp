// The backup of a whole line against the reads of its instruments one by one: 32 simulated
// instruments on one line, replies delivered at the wire's pace, each read alone with
// ReadConfiguration, then the whole line backed up (read, compared with its history and a
// copy kept for each). The single reads are taken half before the backup and half after it,
// so that a machine whose load changes during the run weighs on both alike.
//
//   line_backup_bench [instruments] [baud]      (default: 32 9600)
//
// Target: the backup's wall time within 1.02 x the sum of the single reads.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/transfer.h"
#include "line/line_jobs.h"
#include "link/timeouts.h"
#include "sim_harness.h"
#include "transfer_measure.h"

namespace {

using rv::bench::Measure;

// Each instrument read alone, one after the other; the sum of their wall times.
Measure singleReads(rv::Link& link, const std::vector<rv::LineInstrument>& instruments) {
    return rv::bench::Time([&] {
        for (const rv::LineInstrument& m : instruments) {
            rv::AddressInstrument(link, m);
            rv::ConfigImage image;
            rv::InstrumentRecord record;
            if (rv::ReadConfiguration(link, image, {}, &record) != rv::Outcome::Done) {
                std::printf("read of %u failed with status %d\n", m.NetNumber, link.LinkStatus);
                return false;
            }
        }
        return true;
    });
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned count = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 32;
    const unsigned baud = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 9600;
    if (count < 1 || count > 254 || rv::SpeedIndexOfBaud(baud) < 0) {
        std::fprintf(stderr, "line_backup_bench: 1..254 instruments at a speed of the list\n");
        return 2;
    }
    rv::test::SimOptions options;
    std::vector<rv::LineInstrument> instruments;
    for (unsigned net = 1; net <= count; ++net) {
        const char* model = net % 3 == 0 ? "RV7406" : "RV7408";
        options.instruments.push_back(std::to_string(net) + ",model=" + model +
                                      ",id=" + std::to_string(0x100000 + net) +
                                      ",speed=" + std::to_string(baud));
        instruments.push_back({net, baud, 0, {}, {}});
    }
    options.pace = true;
    options.latencyMs = rv::bench::kLatencyMs;
    rv::test::SimProcess sim(options);
    if (!sim.started()) {
        std::fprintf(stderr, "line_backup_bench: %s\n", sim.error().c_str());
        return 2;
    }
    rv::test::TempDir copies;
    rv::Link link;
    link.Device = sim.linkPath();

    const std::vector<rv::LineInstrument> firstHalf(instruments.begin(),
                                                    instruments.begin() + count / 2);
    const std::vector<rv::LineInstrument> secondHalf(instruments.begin() + count / 2,
                                                     instruments.end());
    const Measure before = singleReads(link, firstHalf);
    const Measure backup = rv::bench::Time([&] {
        const rv::JobOutcome job = rv::BackupInstruments(link, instruments, copies.path(), {});
        bool ok = job.outcome == rv::Outcome::Done && job.results.size() == instruments.size();
        for (const rv::InstrumentResult& r : job.results) {
            ok = ok && r.outcome == rv::Outcome::Done && r.copy.ok && r.copy.newVersion;
        }
        return ok;
    });
    const Measure after = singleReads(link, secondHalf);

    const double reference = before.wall + after.wall;
    const double ratio = backup.wall / reference;
    const bool ok = before.ok && backup.ok && after.ok && ratio <= 1.02;
    std::printf(
        "%u instruments at %u baud: %u single reads %.3f s (%.3f s before the backup, %.3f s "
        "after); backup %.3f s (cpu %.3f s); backup / single reads %.4f (target <= 1.02): %s\n",
        count, baud, count, reference, before.wall, after.wall, backup.wall, backup.cpu, ratio,
        ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
