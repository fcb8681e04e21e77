// rv740x read, show, diff, write and backup, end to end against rv740x-sim.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_cli.h"
#include "config/transfer.h"
#include "devmem/block_table.h"
#include "link/timeouts.h"
#include "sim_harness.h"

namespace rv::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Both stored copies of every block the configuration write sets.
std::vector<std::vector<uint8_t>> WrittenCopies(const SimProcess& sim, int net) {
    std::vector<std::vector<uint8_t>> copies;
    for (int block : kWrittenBlocks) {
        copies.push_back(ReadBlockCopy(sim.stateFile(net), block, false));
        copies.push_back(ReadBlockCopy(sim.stateFile(net), block, true));
    }
    return copies;
}

// Changes set point 1 of channel 2 in the instrument's memory through the core's own write.
void ChangeSetPoint(const SimProcess& sim, int net, int speedIndex = kDefaultSpeedIndex) {
    Link link;
    link.Device = sim.linkPath();
    link.applySpeedIndex(speedIndex);
    link.NetNumber = static_cast<uint32_t>(net);
    ConfigImage image;
    ASSERT_EQ(ReadConfiguration(link, image, {}), Outcome::Done);
    image.Channels[1].Ustav1 = MakeWorkingReal(123.5L);
    ASSERT_EQ(WriteConfiguration(link, image, {}), Outcome::Done);
}

TEST(CliFiles, DiffShowsAChangedMemoryAndWriteRestoresItByteForByte) {
    SimProcess sim({"3,speed=9600", "5,model=RV7406"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string saved = dir.path() + "/three.rv740x.json";
    const std::string port = sim.linkPath();

    CliRun run = RunCli({"--port", port, "read", "3", "-o", saved});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    const auto original = WrittenCopies(sim, 3);

    run = RunCli({"--port", port, "diff", "3", saved});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_EQ(run.out, "Различий нет\n");

    ChangeSetPoint(sim, 3);
    ASSERT_NE(WrittenCopies(sim, 3), original);

    run = RunCli({"--port", port, "diff", "3", saved});
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    std::istringstream lines(run.out);
    std::string header, only, extra;
    std::getline(lines, header);
    std::getline(lines, only);
    EXPECT_EQ(header, "Канал    Параметр   прибор 3  " + saved);
    EXPECT_EQ(only, "Канал 2  Уставка 1  123.5     " + only.substr(only.rfind(' ') + 1));
    EXPECT_FALSE(std::getline(lines, extra)) << run.out;

    const std::string changed = dir.path() + "/changed.rv740x.json";
    ASSERT_EQ(RunCli({"--port", port, "read", "3", "-o", changed}).exitCode, 0);
    run = RunCli({"diff", saved, changed});
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "Канал 2  Уставка 1  ")) << run.out;
    run = RunCli({"diff", saved, saved});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);

    // Only the set point's bytes and the CRC differ; the count of bytes written says so, and
    // a second write finds nothing to write.
    const std::vector<uint8_t> memoryBefore = ReadStateFile(sim.stateFile(3));
    run = RunCli({"--port", port, "write", "3", saved});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_EQ(WrittenCopies(sim, 3), original);
    const std::vector<uint8_t> memoryAfter = ReadStateFile(sim.stateFile(3));
    int bytesChanged = 0;
    for (size_t i = 0; i < memoryAfter.size(); ++i)
        bytesChanged += memoryBefore[i] != memoryAfter[i];
    EXPECT_GT(bytesChanged, 0);
    EXPECT_EQ(run.out, "Записано байт: " + std::to_string(bytesChanged) + "\n");
    run = RunCli({"--port", port, "write", "3", saved});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_EQ(run.out, "Записано байт: 0 (прибор уже хранил эту конфигурацию)\n");

    run = RunCli({"show", changed});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "Модель         RV7408\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Сетевой номер  3\n")) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("Параметр +Канал 1 +Канал 2 +Канал 3")))
        << run.out;
    // Set point 1 of channel 2, the value written above, in the third column.
    const size_t row = run.out.find("\nУставка 1 ");
    ASSERT_NE(row, std::string::npos) << run.out;
    const std::string cells = run.out.substr(row + 1, run.out.find('\n', row + 1) - row - 1);
    const std::regex gap("  +");
    const std::vector<std::string> columns(
        std::sregex_token_iterator(cells.begin(), cells.end(), gap, -1), {});
    ASSERT_EQ(columns.size(), 9u) << run.out;
    EXPECT_EQ(columns[2], "123.5");
}

TEST(CliFiles, WriteToAnotherModelWarnsAndNeedsYesWithoutATerminal) {
    SimProcess sim({"3", "5,model=RV7406"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string saved = dir.path() + "/three.rv740x.json";
    ASSERT_EQ(RunCli({"--port", sim.linkPath(), "read", "3", "-o", saved}).exitCode, 0);
    const auto before = WrittenCopies(sim, 5);

    CliRun run = RunCli({"--port", sim.linkPath(), "write", "5", saved});
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_TRUE(Contains(run.err, "Модель: в файле RV7408")) << run.err;
    EXPECT_TRUE(Contains(run.err, "--yes")) << run.err;
    EXPECT_EQ(WrittenCopies(sim, 5), before);

    run = RunCli({"--port", sim.linkPath(), "write", "5", saved, "--yes"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_TRUE(Contains(run.err, "Модель: в файле RV7408")) << run.err;
}

TEST(CliFiles, BackupSavesEveryInstrumentFoundAndGoesOnPastAFailure) {
    SimProcess sim({"3", "5,model=RV7406", "7,bad-both=4", "8,speed=4800"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string target = dir.path() + "/backup";
    const CliRun run = RunCli({"--port", sim.linkPath(), "backup", target, "--to", "8"});
    EXPECT_EQ(run.exitCode, 1) << Describe(run);

    const std::vector<std::string> files = FilesIn(target);
    ASSERT_EQ(files.size(), 2u) << Describe(run);
    const std::regex date("_[0-9]{4}-[0-9]{2}-[0-9]{2}\\.rv740x\\.json");
    EXPECT_TRUE(std::regex_search(files[0], date)) << files[0];
    EXPECT_EQ(files[0].substr(0, 16), "RV7406_5_010203_");
    EXPECT_EQ(files[1].substr(0, 16), "RV7408_3_010203_");

    std::istringstream lines(run.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 4u) << run.out;
    EXPECT_EQ(rows[0], "Номер  Скорость, бод  Модель  Файл или ошибка");
    EXPECT_EQ(rows[1], "3      9600           RV7408  " + target + "/" + files[1]);
    EXPECT_EQ(rows[2], "5      9600           RV7406  " + target + "/" + files[0]);
    EXPECT_EQ(rows[3], "7      9600           -       Ошибка памяти данных");
}

TEST(CliFiles, FailureRowsGiveTheirTextAndExitCode) {
    SimProcess sim({"3", "4,silent", "6,bad-both=5", "9,bad-echo=3"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string saved = dir.path() + "/three.rv740x.json";
    // A file that differs from instrument 9's memory, so that its write has bytes to send.
    ChangeSetPoint(sim, 3);
    ASSERT_EQ(RunCli({"--port", sim.linkPath(), "read", "3", "-o", saved}).exitCode, 0);
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"read", "4"}, "Нет ответа"},
        {{"read", "6"}, "Ошибка памяти данных"},
        {{"write", "9", saved, "--yes"}, "Ошибка памяти данных"},
        {{"diff", "4", saved}, "Нет ответа"},
        {{"write", "4", saved, "--yes"}, "Нет ответа"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--port", sim.linkPath()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 1) << Describe(run);
        EXPECT_EQ(run.err, c.says + "\nУстройство: " + sim.linkPath() + "\n") << Describe(run);
    }
    // Without --port the line is COM2, the window's start-up port, and the failure names it
    // with its device.
    const CliRun run = RunCli({"read", "4"}, {}, {{"RV740X_COM2", sim.linkPath()}});
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_EQ(run.err, "Нет ответа\nПорт: COM2\nУстройство: " + sim.linkPath() + "\n")
        << Describe(run);
}

TEST(CliFiles, BadFilesExitWithThreeAndChangeNothing) {
    SimProcess sim({"3"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string malformed = dir.path() + "/malformed.rv740x.json";
    std::ofstream(malformed) << "{\"format\": ";
    const std::string saved = dir.path() + "/three.rv740x.json";
    ASSERT_EQ(RunCli({"--port", sim.linkPath(), "read", "3", "-o", saved}).exitCode, 0);
    const size_t heard = ReadWholeFile(sim.logPath()).size();
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::string missing = dir.path() + "/missing.rv740x.json";
    const std::vector<Case> cases = {
        {{"show", missing}, missing + ": "},
        {{"show", malformed}, malformed + ": "},
        {{"diff", saved, malformed}, malformed + ": "},
        {{"--port", sim.linkPath(), "write", "3", malformed, "--yes"}, malformed + ": "},
        {{"--port", sim.linkPath(), "diff", "3", missing}, missing + ": "},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, 3) << Describe(run);
        EXPECT_EQ(run.err.rfind(c.says, 0), 0u) << Describe(run);
    }
    // Nothing reached the line.
    EXPECT_EQ(ReadWholeFile(sim.logPath()).size(), heard);

    const CliRun run =
        RunCli({"--port", sim.linkPath(), "read", "3", "-o", dir.path() + "/no/such/dir/x.json"});
    EXPECT_EQ(run.exitCode, 3) << Describe(run);
}

TEST(CliFiles, BadArgumentsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"read"},
        {"read", "0"},
        {"read", "255"},
        {"read", "x"},
        {"show"},
        {"diff", "a"},
        {"diff", "1", "2", "3"},
        {"write", "3"},
        {"write", "3", "f", "--force"},
        {"backup"},
        {"backup", "d", "--from", "300"},
    };
    for (const auto& args : cases) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << Describe(run);
        EXPECT_TRUE(Contains(run.err, "Неверные аргументы")) << Describe(run);
    }
}

// Ctrl+C during a paced write: the first stops after the block in progress, a second at
// once; either way every block keeps one whole copy, old or new.
TEST(CliFiles, CtrlCStopsTheWriteAndKeepsEveryBlockWhole) {
    for (int presses : {1, 2}) {
        SimOptions options;
        options.instruments = {"3,speed=19200"};
        SimProcess first(options);
        ASSERT_TRUE(first.started()) << first.error();
        TempDir dir;
        const std::string saved = dir.path() + "/three.rv740x.json";
        ASSERT_EQ(RunCli({"--port", first.linkPath(), "--speed", "19200", "read", "3", "-o", saved})
                      .exitCode,
                  0);
        ChangeSetPoint(first, 3, 6);  // 19200 baud
        options.pace = true;
        options.stateDir = first.stateDir();
        first.stop();
        SimProcess sim(options);
        ASSERT_TRUE(sim.started()) << sim.error();

        const auto started = std::chrono::steady_clock::now();
        const CliRun run =
            RunCli({"--port", sim.linkPath(), "--speed", "19200", "write", "3", saved, "--yes"},
                   [presses](pid_t pid) {
                       std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                       for (int i = 0; i < presses; ++i) {
                           ::kill(pid, SIGINT);
                           std::this_thread::sleep_for(std::chrono::milliseconds(20));
                       }
                   });
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(run.exitCode, 130) << presses << Describe(run);
        EXPECT_LT(took, std::chrono::seconds(presses == 1 ? 8 : 3)) << presses;
        sim.stop();
        for (int block : kWrittenBlocks) {
            const bool primary =
                BlockCopyValid(ReadBlockCopy(sim.stateFile(3), block, false), block);
            const bool backup = BlockCopyValid(ReadBlockCopy(sim.stateFile(3), block, true), block);
            EXPECT_TRUE(primary || backup) << presses << " block " << block;
            // After the block in progress: no block is left with its copies apart.
            if (presses == 1) {
                EXPECT_EQ(ReadBlockCopy(sim.stateFile(3), block, false),
                          ReadBlockCopy(sim.stateFile(3), block, true))
                    << "block " << block;
            }
        }
    }
}

}  // namespace
}  // namespace rv::test
