// rv740x measure against the simulator: a sensor cooling along a ramp, Ctrl+C, a lost line.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_cli.h"
#include "sim_harness.h"
#include "sim_log.h"

namespace {

using rv::test::CliRun;
using rv::test::Describe;
using rv::test::ReadWholeFile;
using rv::test::RunCli;
using rv::test::SimOptions;
using rv::test::SimProcess;
using rv::test::TempDir;

struct CsvRow {
    std::string time;
    double seconds = 0;  // from the time text
    double ohms = NAN;
    double celsius = NAN;
    std::string mark;
};

// "2026-12-07T20:58:01.123Z" as seconds of the day (the runs do not cross midnight by more
// than the test can tell apart: the differences are taken modulo a day).
double secondsOfDay(const std::string& iso) {
    int h = 0;
    int m = 0;
    double s = 0;
    if (iso.size() != 24 || iso[10] != 'T' || iso[23] != 'Z' ||
        std::sscanf(iso.c_str() + 11, "%2d:%2d:%lf", &h, &m, &s) != 3)
        return NAN;
    return h * 3600 + m * 60 + s;
}

std::vector<CsvRow> parseCsv(const std::string& text, std::string& header) {
    std::vector<CsvRow> rows;
    std::istringstream in(text);
    std::getline(in, header);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream cellStream(line);
        std::string cell;
        while (std::getline(cellStream, cell, ',')) cells.push_back(cell);
        if (line.back() == ',') cells.emplace_back();
        CsvRow row;
        row.time = cells.at(0);
        row.seconds = secondsOfDay(row.time);
        if (!cells.at(1).empty()) row.ohms = std::stod(cells[1]);
        if (!cells.at(2).empty()) row.celsius = std::stod(cells[2]);
        row.mark = cells.at(3);
        rows.push_back(row);
    }
    return rows;
}

// A Pt100 cooling from 109.73 ohm (25 °C by the published table) to 100 ohm (0 °C) in 4 s, at
// 9600 baud on the paced line. Every answer is a point on the ramp, in time order, and the
// temperatures are the characteristic's.
TEST(CliMeasure, FollowsACoolingRampAndSavesItAsCsv) {
    SimOptions options;
    options.instruments = {"1,ramp=1:109.73:100:4"};
    options.pace = true;
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string csv = dir.path() + "/ramp.csv";

    const CliRun run = RunCli({"--port", sim.linkPath(), "measure", "1", "--channel", "1",
                               "--seconds", "6", "--csv", csv});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_NE(run.err.find("Pt100"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Итого: точек "), std::string::npos) << run.out;

    std::string header;
    const std::vector<CsvRow> rows = parseCsv(ReadWholeFile(csv), header);
    EXPECT_EQ(header, "time,R_ohm,T_C,mark");
    // At 9600 baud a request and its answer take some 40 ms: about 150 points in 6 s.
    ASSERT_GE(rows.size(), 60u);
    ASSERT_LE(rows.size(), 400u);
    // One printed line per point.
    size_t printed = 0;
    for (size_t at = 0; (at = run.out.find(" Ом\t", at)) != std::string::npos; ++at) ++printed;
    EXPECT_EQ(printed, rows.size());

    // The first answer is the start of the ramp, the last ones its end.
    EXPECT_NEAR(rows.front().ohms, 109.73, 0.06);
    EXPECT_NEAR(rows.front().celsius, 25.0, 0.2);
    EXPECT_NEAR(rows.back().ohms, 100.00, 0.006);
    EXPECT_NEAR(rows.back().celsius, 0.0, 0.02);
    // Along the ramp R falls 9.73 ohm in 4 s from the first point's time, within the 0.01-ohm
    // step of the instrument's count and the few milliseconds between answer and stamp.
    const double start = rows.front().seconds;
    double previous = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        const CsvRow& r = rows[i];
        SCOPED_TRACE(r.time);
        EXPECT_TRUE(r.mark.empty());
        double elapsed = r.seconds - start;
        if (elapsed < 0) elapsed += 86400;
        EXPECT_GE(elapsed, previous);
        previous = elapsed;
        const double expected = elapsed >= 4 ? 100.0 : 109.73 - 9.73 * elapsed / 4;
        EXPECT_NEAR(r.ohms, expected, 0.25);
        // Pt100 between the table's points 0 °C / 100.00 ohm and 25 °C / 109.73 ohm.
        EXPECT_NEAR(r.celsius, (r.ohms - 100.0) / 0.3892, 0.08);
        EXPECT_LE(r.ohms, rows[i - 1].ohms + 1e-9);
    }
}

// Ctrl+C ends an open-ended watch with the summary; the exit status is 0, the run having
// been ended the way it is meant to be.
TEST(CliMeasure, CtrlCEndsWithTheSummary) {
    SimOptions options;
    options.instruments = {"2,r=3:123.45"};
    options.pace = true;
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    const auto started = std::chrono::steady_clock::now();
    const CliRun run =
        RunCli({"--port", sim.linkPath(), "measure", "2", "--channel", "3"}, [](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2000));
            ::kill(pid, SIGINT);
        });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_NE(run.out.find("Итого: точек "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("R: среднее 123.4500 Ом, СКО 0.0000 Ом"), std::string::npos) << run.out;
    // Channel 3 of the simulated instrument is a 100P (W = 1.391): 123.45 ohm is 59.606 °C
    // by hand from A = 3.9690e-3, B = -5.841e-7.
    EXPECT_NE(run.out.find("T: среднее 59.606 °C"), std::string::npos) << run.out;
}

// Channel 8 of the simulated instrument is a Pt100 in the two-wire scheme with a line of
// 1.25 ohm: the line comes off before the characteristic, so 110.98 ohm reads 25 °C by the
// table (109.73 ohm). Channel 4, a thermocouple, is refused with the calibration's text and
// nothing is measured.
TEST(CliMeasure, TwoWireTakesOffTheLineAndAThermocoupleIsRefused) {
    SimOptions options;
    options.instruments = {"1,r=8:110.98"};
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    const CliRun line =
        RunCli({"--port", sim.linkPath(), "measure", "1", "--channel", "8", "--count", "5"});
    EXPECT_EQ(line.exitCode, 0) << Describe(line);
    EXPECT_NE(line.out.find("\t110.9800 Ом\t24.988 °C\n"), std::string::npos) << line.out;
    EXPECT_NE(line.out.find("Итого: точек 5,"), std::string::npos) << line.out;

    const size_t heardBefore = rv::test::HeardRequests(sim.logPath()).size();
    const CliRun refused = RunCli({"--port", sim.linkPath(), "measure", "1", "--channel", "4"});
    EXPECT_EQ(refused.exitCode, 1) << Describe(refused);
    EXPECT_NE(refused.err.find("Этот параметр используется только с термометрами сопротивления."),
              std::string::npos)
        << refused.err;
    // It identified the instrument and read the channel's settings, and asked no measurement.
    const auto heard = rv::test::HeardRequests(sim.logPath());
    EXPECT_GT(heard.size(), heardBefore);
    for (size_t i = heardBefore; i < heard.size(); ++i)
        EXPECT_NE(heard[i].text.rfind("2;", 0), 0u) << heard[i].text;
}

// The line going away stops the watch with its status, exit 1, and keeps the points so far.
TEST(CliMeasure, ALostLineStopsTheRunWithStatusOneAndKeepsThePoints) {
    SimOptions options;
    options.instruments = {"1"};
    options.pace = true;
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string csv = dir.path() + "/lost.csv";
    const CliRun run = RunCli(
        {"--port", sim.linkPath(), "measure", "1", "--channel", "2", "--csv", csv}, [&sim](pid_t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            sim.kill();
        });
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    std::string header;
    const std::vector<CsvRow> rows = parseCsv(ReadWholeFile(csv), header);
    EXPECT_GE(rows.size(), 10u);
    EXPECT_NE(run.out.find("Итого: точек "), std::string::npos) << run.out;
}

}  // namespace
