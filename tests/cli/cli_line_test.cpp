// rv740x line: a line of twelve simulated instruments searched, backed up, compared and kept
// in a history, end to end; bad line files and journal lines.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "sim_harness.h"
#include "twelve_line.h"

namespace rv::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Every file under `dir` with its bytes.
std::map<std::string, std::string> FilesUnder(const std::string& dir) {
    std::map<std::string, std::string> files;
    if (!fs::exists(dir)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadWholeFile(entry.path());
    return files;
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%d.%m.%Y", &local);
    return text;
}

// The line of the twelve, on a simulator that keeps its memory across restarts.
class CliLine : public testing::Test {
  protected:
    void SetUp() override {
        start();
        line_ = dir_.path() + "/котельная.rv740x-line.json";
        copies_ = dir_.path() + "/copies";
    }

    void start() {
        sim_.reset();
        SimOptions options;
        options.instruments = TwelveSetups();
        options.stateDir = dir_.path() + "/state";
        options.linkPath = dir_.path() + "/line";
        sim_ = std::make_unique<SimProcess>(options);
        ASSERT_TRUE(sim_->started()) << sim_->error();
    }

    CliRun line(std::vector<std::string> args) {
        args.insert(args.begin(), {"line", line_});
        return RunCli(args);
    }

    Json lineFile() { return Json::parse(ReadWholeFile(line_)); }

    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    std::string line_;
    std::string copies_;
};

TEST_F(CliLine, SearchFillsTheLineFileAndASecondSearchUpdatesItsRows) {
    // The line as last visited: only the silent instrument, with its tag.
    WriteFile(line_, TwelveLineFile(sim_->linkPath(), {7}));
    CliRun run = line({"search", "--speed", "4800", "--speed", "9600", "--speed", "19200", "--from",
                       "1", "--to", "13"});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);

    const Json file = lineFile();
    EXPECT_EQ(file["port"], sim_->linkPath());
    ASSERT_EQ(file["instruments"].size(), 12u) << file.dump(1);
    for (const Json& m : file["instruments"]) {
        const TwelveMember& expected = Member(m["networkNumber"].get<unsigned>());
        SCOPED_TRACE(m.dump());
        EXPECT_EQ(m["speed"], expected.baud);
        EXPECT_EQ(m["model"], expected.model);
        EXPECT_EQ(m["id"], IdHex(expected.id));
    }
    EXPECT_EQ(file["instruments"][6]["tag"], "Котёл 2, подача");
    // The table: the silent one does not answer; the others answer with their versions.
    EXPECT_TRUE(Contains(run.out, "7      RV7408  ")) << run.out;
    EXPECT_TRUE(Contains(run.out, "нет ответа")) << run.out;
    EXPECT_TRUE(Contains(run.out, "6      RV7406  2.10    0A0006  4800           отвечает"))
        << run.out;

    // Tags typed in meanwhile stay, and a second search does not add rows.
    Json tagged = file;
    tagged["instruments"][0]["tag"] = "Котёл 1; подача";
    WriteFile(line_, tagged.dump(2));
    run = line({"search", "--speed", "9600", "--from", "1", "--to", "2"});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_EQ(lineFile()["instruments"].size(), 12u);
    EXPECT_EQ(lineFile()["instruments"][0]["tag"], "Котёл 1; подача");
}

TEST_F(CliLine, CopiesNeverOverwriteAndAChangeBehindTheProgramsBackIsCounted) {
    WriteFile(line_, TwelveLineFile(sim_->linkPath(), AllTwelve()));
    CliRun run = line({"backup"});
    // The silent one and the one with a broken block fail; the other ten have a first copy.
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "Нет ответа")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Ошибка памяти данных")) << run.out;
    std::map<std::string, std::string> first = FilesUnder(copies_);
    ASSERT_EQ(first.size(), 10u);
    EXPECT_TRUE(fs::exists(copies_ + "/RV7408_0A0003/0001_RV7408_3_0A0003_" + Today().substr(6) +
                           "-" + Today().substr(3, 2) + "-" + Today().substr(0, 2) +
                           ".rv740x.json"));

    // The same readings again: no new version, every row says since when.
    run = line({"backup", "1", "2", "3"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_EQ(FilesUnder(copies_), first);
    const std::string unchanged = "без изменений с " + Today();
    size_t rows = 0;
    for (size_t at = run.out.find(unchanged); at != std::string::npos;
         at = run.out.find(unchanged, at + 1))
        ++rows;
    EXPECT_EQ(rows, 3u) << run.out;

    // Set point 1 and the averaging of channel 1 changed at the instrument's own keys.
    sim_->stop();
    const std::string state = dir_.path() + "/state/3.mem";
    const auto ustav = DeviceBytes(77);
    ASSERT_TRUE(PatchBlockData(state, 11, at::Ustav1, {ustav.begin(), ustav.end()}));
    ASSERT_TRUE(PatchBlockData(state, 3, at::Usred, {9, 0}));
    start();

    run = line({"diff"});
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "2 различия")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Канал 1  Уставка 1          ")) << run.out;
    EXPECT_TRUE(Contains(run.out, "  77\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Кол-во усреднений")) << run.out;
    size_t same = 0;
    for (size_t at = run.out.find("как в копии"); at != std::string::npos;
         at = run.out.find("как в копии", at + 1))
        ++same;
    EXPECT_EQ(same, 9u) << run.out;

    // A stray file in the instrument's folder takes version 2's number; the new copy is
    // version 3, and neither older file changes.
    const std::string stray = copies_ + "/RV7408_0A0003/0002_чужой.rv740x.json";
    WriteFile(stray, "не копия");
    first[stray] = "не копия";
    run = line({"backup", "3"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_TRUE(Contains(run.err, "0002_чужой.rv740x.json")) << run.err;
    EXPECT_TRUE(Contains(run.out, "новая копия: 2 различия")) << run.out;
    std::map<std::string, std::string> second = FilesUnder(copies_);
    ASSERT_EQ(second.size(), first.size() + 1);
    for (const auto& [path, bytes] : first) EXPECT_EQ(second[path], bytes) << path;

    run = line({"history", "3"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "Версия 3 против версии 1:")) << run.out;
    EXPECT_TRUE(Contains(run.out, "2 различия")) << run.out;
    run = line({"history", "3", "--compare", "1", "3"});
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "Уставка 1")) << run.out;
    EXPECT_EQ(line({"history", "3", "--compare", "3", "3"}).exitCode, 0);
}

TEST_F(CliLine, HistoryFollowsAnInstrumentWhoseNetworkNumberChanged) {
    WriteFile(line_, TwelveLineFile(sim_->linkPath(), {5, 6}));
    ASSERT_EQ(line({"backup"}).exitCode, 0);

    sim_->stop();
    ASSERT_TRUE(PatchBlockData(dir_.path() + "/state/5.mem", 1, at::NetNumber, {20, 0}));
    start();

    CliRun run = line({"search", "--speed", "4800", "--from", "4", "--to", "20"});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    const Json file = lineFile();
    // Number 5 is gone, 20 is the same instrument with its tag, 10 is new to the line.
    ASSERT_EQ(file["instruments"].size(), 3u) << file.dump(1);
    EXPECT_EQ(file["instruments"][0]["networkNumber"], 6);
    EXPECT_EQ(file["instruments"][1]["networkNumber"], 10);
    EXPECT_EQ(file["instruments"][2]["networkNumber"], 20);
    EXPECT_EQ(file["instruments"][2]["id"], "0A0005");
    EXPECT_EQ(file["instruments"][2]["tag"], "ГВС");

    run = line({"backup", "20"});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "новая копия: 1 различие")) << run.out;
    run = line({"history", "20"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "Прибор 20 (RV7408 0A0005)")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Прибор  Сетевой  номер  5     20\n")) << run.out;
    EXPECT_EQ(FilesUnder(copies_ + "/RV7408_0A0005").size(), 2u);
}

struct BadLine {
    const char* name;
    std::string text;
    std::string place;  // what the message must name besides the file
};

TEST(CliLineFile, ABadLineFileIsNamedWithItsPlaceAndNothingChanges) {
    const std::string good = TwelveLineFile("/dev/null", {1, 4});
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<BadLine> cases{
        {"no JSON", "{\n  \"format\": rv740x-line\n}", "строка 2, столбец 13: это не JSON"},
        {"empty", "", "строка 1, столбец 1: это не JSON"},
        {"other format", replaced("rv740x-line", "rv740x-configuration"),
         "/format: ожидается «rv740x-line»"},
        {"newer", replaced("\"formatVersion\": 1", "\"formatVersion\": 2"),
         "/formatVersion: значение 2 вне пределов (1..1)"},
        {"port", replaced("/dev/null", "LPT1"), "/port: порт «LPT1»"},
        {"speed", replaced("\"speed\": 19200", "\"speed\": 19201"),
         "/instruments/1/speed: скорость 19201 бод не поддерживается"},
        {"number", replaced("\"networkNumber\": 4", "\"networkNumber\": 1"),
         "/instruments/1/networkNumber: номер 1 уже занят другим прибором"},
        {"id", replaced("\"0A0001\"", "\"0A00\""),
         "/instruments/0/id: ожидается 6 шестнадцатеричных цифр"},
        {"model", replaced("\"RV7406\"", "\"RV7407\""),
         "/instruments/1/model: модель «RV7407» неизвестна"},
        {"list", replaced("\"instruments\"", "\"instrument\""), "/instruments: поле отсутствует"},
    };
    for (const BadLine& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.path() + "/bad.rv740x-line.json";
        WriteFile(path, c.text);
        for (const char* command : {"backup", "search", "journal"}) {
            const CliRun run = RunCli({"line", path, command});
            EXPECT_EQ(run.exitCode, 3) << Describe(run);
            EXPECT_TRUE(Contains(run.err, "«" + path + "», " + c.place)) << run.err;
            EXPECT_EQ(ReadWholeFile(path), c.text);
        }
        EXPECT_EQ(FilesUnder(dir.path()).size(), 1u);
    }
    const CliRun missing = RunCli({"line", "/nonexistent/x.rv740x-line.json", "backup"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_TRUE(Contains(missing.err, "файл не существует")) << missing.err;
}

TEST_F(CliLine, WritesGoIntoTheJournalAndItsBadLinesAreReportedNotLost) {
    WriteFile(line_, TwelveLineFile(sim_->linkPath(), {1, 3}));
    const std::string config = dir_.path() + "/one.rv740x.json";
    ASSERT_EQ(RunCli({"--port", sim_->linkPath(), "read", "1", "-o", config}).exitCode, 0);
    Json changed = Json::parse(ReadWholeFile(config));
    changed["channels"][0]["setpoint2"] = {{"value", "12.5"}, {"float", "00000000"}};
    WriteFile(config, changed.dump(2));

    // Through the line file: the line's journal. Without one: the user's own.
    const std::string userData = dir_.path() + "/data";
    const Environment environment{{"XDG_DATA_HOME", userData}};
    ASSERT_EQ(RunCli({"--port", sim_->linkPath(), "write", "1", config, "--yes", "--line", line_},
                     {}, environment)
                  .exitCode,
              0);
    ASSERT_EQ(RunCli({"--port", sim_->linkPath(), "write", "1", config, "--yes"}, {}, environment)
                  .exitCode,
              0);
    const std::string journal = dir_.path() + "/котельная.rv740x-journal.jsonl";
    const std::string own = userData + "/rv740x/journal.jsonl";
    ASSERT_TRUE(fs::exists(journal));
    ASSERT_TRUE(fs::exists(own));
    const Json entry = Json::parse(ReadWholeFile(journal));
    EXPECT_EQ(entry["networkNumber"], 1);
    EXPECT_EQ(entry["id"], "0A0001");
    EXPECT_EQ(entry["result"], "Выполнено");
    ASSERT_EQ(entry["changes"].size(), 1u);
    EXPECT_EQ(entry["changes"][0]["field"], "Уставка 2");
    EXPECT_EQ(entry["changes"][0]["new"], "12.5");
    EXPECT_EQ(Json::parse(ReadWholeFile(own))["changes"].size(), 0u);

    // Lines spoilt by hand or cut short by a crash around the good entries.
    const std::string good = ReadWholeFile(journal);
    std::string other = good;
    other.replace(other.find("\"networkNumber\":1"), 17, "\"networkNumber\":3");
    other.replace(other.find("0A0001"), 6, "0A0003");
    WriteFile(journal, good + "{не JSON\n" + other + "{\"time\": 1}\n\n" +
                           good.substr(0, good.find(",\"changes\"")) + "}\n" + good +
                           good.substr(0, 40));
    CliRun run = line({"journal"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    const std::string place = "«" + journal + "», строка ";
    EXPECT_TRUE(Contains(run.err, place + "2: это не JSON: ошибка в столбце 2")) << run.err;
    EXPECT_TRUE(Contains(run.err, place + "4: /time: ожидается строка")) << run.err;
    EXPECT_TRUE(Contains(run.err, place + "6: /changes: поле отсутствует")) << run.err;
    EXPECT_TRUE(Contains(run.err, place + "8: запись оборвана")) << run.err;
    size_t entries = 0;
    for (size_t at = run.out.find("Запись конфигурации: Выполнено"); at != std::string::npos;
         at = run.out.find("Запись конфигурации: Выполнено", at + 1))
        ++entries;
    EXPECT_EQ(entries, 3u) << run.out;
    // Filtered by instrument: only the entry of instrument 3.
    run = line({"journal", "3"});
    EXPECT_EQ(run.exitCode, 0) << Describe(run);
    EXPECT_TRUE(Contains(run.out, "прибор 3 RV7408 0A0003")) << run.out;
    EXPECT_FALSE(Contains(run.out, "прибор 1 ")) << run.out;

    // The next write starts on a line of its own after the cut one.
    ASSERT_EQ(RunCli({"--port", sim_->linkPath(), "write", "1", config, "--yes", "--line", line_})
                  .exitCode,
              0);
    run = line({"journal", "1"});
    EXPECT_TRUE(Contains(run.err, place + "8: запись оборвана")) << run.err;
    entries = 0;
    for (size_t at = run.out.find("прибор 1 RV7408"); at != std::string::npos;
         at = run.out.find("прибор 1 RV7408", at + 1))
        ++entries;
    EXPECT_EQ(entries, 3u) << run.out;
}

}  // namespace
}  // namespace rv::test
