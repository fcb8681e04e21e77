// rv740x ports and search, end to end against rv740x-sim.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "link/transact.h"
#include "sim_harness.h"

namespace rv::test {
namespace {

// Instruments at 3 (9600), 17 (4800) and 200 (19200), one of another family at 9, and a
// silent one at 12.
const std::vector<std::string> kLine = {
    "3,version=2.07,speed=9600", "17,version=1.93,speed=4800,model=RV7406",
    "200,version=2.10,speed=19200", "9,family=18,speed=9600", "12,silent,speed=9600"};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(CliSearch, ListsEachInstrumentOfTheFamilyWithItsSpeedAndVersion) {
    SimProcess sim(kLine);
    ASSERT_TRUE(sim.started()) << sim.error();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    };
    const std::string header = "Номер  Скорость, бод  Версия";
    const std::vector<Case> cases = {
        {{"search", "--to", "20"}, {header, "    3           9600  2.07"}},
        {{"--speed", "4800", "search", "--from", "10", "--to", "20"},
         {header, "   17           4800  1.93"}},
        {{"search", "--speed", "19200", "--from", "199", "--to", "201"},
         {header, "  200          19200  2.10"}},
        {{"search", "--from", "4", "--to", "12"}, {"Приборы не найдены"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--port", sim.linkPath()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(run);
        EXPECT_EQ(Lines(run.out), c.lines) << Describe(run);
    }
}

TEST(CliSearch, JsonListsNumberSpeedAndVersion) {
    SimProcess sim(kLine);
    ASSERT_TRUE(sim.started()) << sim.error();
    const CliRun run = RunCli({"--port", sim.linkPath(), "search", "--to", "10", "--json"});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    const auto parsed = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << run.out;
    EXPECT_EQ(parsed, nlohmann::json::parse(R"([{"net":3,"baud":9600,"version":"2.07"}])"));
}

// About 20 x 5 s of probes: every speed from 300 to 19200 for the numbers 1..20.
TEST(CliSearchAllSpeeds, FindsEachInstrumentAtItsOwnSpeed) {
    SimProcess sim(kLine);
    ASSERT_TRUE(sim.started()) << sim.error();
    const CliRun run = RunCli({"--port", sim.linkPath(), "search", "--all-speeds", "--to", "20"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{"Номер  Скорость, бод  Версия",
                                                        "   17           4800  1.93",
                                                        "    3           9600  2.07"}))
        << Describe(run);
}

// The frames of the trace, each as (direction, bytes).
std::vector<std::pair<std::string, std::string>> TraceFrames(const std::string& path,
                                                             std::string& faults) {
    std::vector<std::pair<std::string, std::string>> frames;
    for (const std::string& line : Lines(ReadWholeFile(path))) {
        std::istringstream in(line);
        long long micros = 0;
        std::string direction;
        unsigned net = 0;
        in >> micros >> direction >> net;
        const size_t open = line.find('"');
        const size_t close = line.rfind('"');
        if (!in || open == std::string::npos || close <= open) {
            faults += "malformed: " + line + "\n";
            continue;
        }
        const std::string outcome = line.substr(close + 2);
        // Only the replies that came whole are frames the instrument sent.
        if (direction == "rx" && outcome != "ok") continue;
        if (direction == "tx" && outcome != "sent") faults += "not sent: " + line + "\n";
        frames.emplace_back(direction, line.substr(open + 1, close - open - 1));
    }
    return frames;
}

TEST(CliTrace, HoldsExactlyTheFramesTheSimulatorLogged) {
    SimProcess sim(kLine);
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string tracePath = dir.path() + "/trace.txt";
    const CliRun run = RunCli(
        {"--port", sim.linkPath(), "--trace", tracePath, "search", "--from", "1", "--to", "12"});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);

    std::string faults;
    const auto traced = TraceFrames(tracePath, faults);
    EXPECT_EQ(faults, "");
    std::vector<std::pair<std::string, std::string>> logged;
    for (const std::string& line : Lines(ReadWholeFile(sim.logPath()))) {
        const auto entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_discarded() || !entry.contains("dir")) continue;
        const std::string text = entry["text"];
        if (entry["dir"] == "rx") {
            // The simulator logs the request it understood: its number and command.
            logged.emplace_back("tx", EscapeBytes(BuildFrame(entry["net"], text)));
        } else {
            logged.emplace_back("rx", EscapeBytes(text));
        }
    }
    EXPECT_EQ(traced, logged);
    // Twelve probes and one version request; answers from 3 (twice) and 9.
    EXPECT_EQ(traced.size(), 13u + 3u);
}

TEST(CliUsage, BadArgumentsExitWithTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{}, "Неверные аргументы"},
        {{"frobnicate"}, "Неверные аргументы"},
        {{"--speed", "1234", "search"}, "Неверные аргументы"},
        {{"search", "--speed", "9601"}, "Неверные аргументы"},
        {{"search", "--from", "0"}, "Неверные аргументы"},
        {{"search", "--to", "255"}, "Неверные аргументы"},
        {{"search", "--from", "9", "--to", "3"}, "первый номер больше последнего"},
        {{"search", "--all-speeds", "--speed", "9600"}, "Неверные аргументы"},
        {{"search", "--from", "abc"}, "Неверные аргументы"},
        {{"--port", "COM5", "search"}, "Порт «COM5» не задан"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, 2) << Describe(run);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << Describe(run);
        EXPECT_EQ(run.out, "") << Describe(run);
    }
}

TEST(CliFailures, LineAndFileFailuresGiveTheirTextAndCode) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--port", dir.path() + "/no-such-device", "search", "--to", "1"},
         1,
         "Нельзя открыть   COM-порт"},
        {{"--port", "/dev/null", "search", "--to", "1"}, 1, "COM-порт не существует"},
        {{"--trace", dir.path() + "/no/such/dir/trace", "search"},
         3,
         "Не удаётся открыть файл трассировки"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, c.code) << Describe(run);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << Describe(run);
    }
}

// COM names resolve as in the window: environment over settings file over /dev/ttyS.
TEST(CliPorts, ComNamesComeFromTheEnvironmentThenTheSettingsFile) {
    SimProcess sim(kLine);
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir config;
    std::filesystem::create_directories(config.path() + "/rv740x");
    std::ofstream(config.path() + "/rv740x/ports.conf") << "COM3=/dev/ttyUSB7\n";
    const Environment environment = {{"XDG_CONFIG_HOME", config.path()},
                                     {"RV740X_COM1", ""},
                                     {"RV740X_COM2", sim.linkPath()},
                                     {"RV740X_COM3", ""},
                                     {"RV740X_COM4", ""}};

    CliRun run = RunCli({"ports"}, {}, environment);
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 6u) << run.out;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{"COM-порты:", "  COM1  /dev/ttyS0  (по умолчанию)",
                                        "  COM2  " + sim.linkPath() + "  (переменная RV740X_COM2)",
                                        "  COM3  /dev/ttyUSB7  (файл настроек)",
                                        "  COM4  /dev/ttyS3  (по умолчанию)"}));
    EXPECT_EQ(lines[5], "Последовательные устройства:");

    run = RunCli({"--port", "com2", "search", "--to", "3"}, {}, environment);
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{"Номер  Скорость, бод  Версия",
                                                        "    3           9600  2.07"}));
}

}  // namespace
}  // namespace rv::test
