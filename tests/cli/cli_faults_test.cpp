// rv740x as a service engineer meets it on the first day: backups that never replace a file,
// a folder checked before the line is searched, Ctrl+C that still lists what was saved, a
// refused write that a script can tell, a missing file named as missing, Russian help and
// errors, and tables whose columns line up.

#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_cli.h"
#include "rv740x_version.h"
#include "sim_harness.h"

namespace rv::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The characters of a UTF-8 text, so that columns are counted as a terminal shows them.
std::u32string Characters(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t value = length == 1 ? c : c & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + k < text.size(); ++k)
            value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += value;
        i += static_cast<size_t>(length);
    }
    return out;
}

// The column at which `cell` starts in `line`, in characters; npos when it is not there.
size_t ColumnOf(const std::string& line, const std::string& cell) {
    const size_t at = line.find(cell);
    return at == std::string::npos ? at : Characters(line.substr(0, at)).size();
}

size_t RequestsHeard(const SimProcess& sim) { return Lines(ReadWholeFile(sim.logPath())).size(); }

// The block writes the instrument received.
size_t WritesHeard(const SimProcess& sim) {
    size_t writes = 0;
    for (const std::string& line : Lines(ReadWholeFile(sim.logPath())))
        writes += Contains(line, "202;");
    return writes;
}

// Runs the program as user "nobody" when the test runs as root, for whom every folder is
// writable.
void DropToNobody() {
    if (::geteuid() != 0) return;
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
}

TEST(CliFaults, BackupNeverReplacesAFile) {
    SimProcess sim({"3", "5,model=RV7406"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string target = dir.path() + "/backup";
    const std::vector<std::string> args{"--port", sim.linkPath(), "backup", target, "--to", "5"};
    ASSERT_EQ(RunCli(args).exitCode, 0);
    const std::vector<std::string> first = FilesIn(target);
    ASSERT_EQ(first.size(), 2u);
    // The first backup is edited since.
    const std::string edited = target + "/" + first[1];
    { std::ofstream(edited, std::ios::app) << "\n"; }
    const std::string editedText = ReadWholeFile(edited);

    const CliRun second = RunCli(args);
    ASSERT_EQ(second.exitCode, 0) << Describe(second);
    const std::vector<std::string> files = FilesIn(target);
    ASSERT_EQ(files.size(), 4u) << Describe(second);
    EXPECT_EQ(ReadWholeFile(edited), editedText);
    // The new ones carry the time: RV7408_3_010203_2026-12-07_203015.rv740x.json.
    const std::regex timed("RV740[68]_[35]_010203_[0-9-]{10}_[0-9]{6}\\.rv740x\\.json");
    int timedNames = 0;
    for (const std::string& name : files) timedNames += std::regex_match(name, timed);
    EXPECT_EQ(timedNames, 2) << Describe(second);
    // The table names the files this run made.
    for (const std::string& name : files) {
        const bool made = std::find(first.begin(), first.end(), name) == first.end();
        EXPECT_EQ(Contains(second.out, target + "/" + name), made) << name << "\n" << second.out;
    }
}

TEST(CliFaults, UnwritableFolderIsFoundBeforeTheLineIsUsed) {
    SimProcess sim({"3"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string folder = dir.path() + "/readonly";
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    const size_t heard = RequestsHeard(sim);

    CliRun run =
        RunCli({"--port", sim.linkPath(), "backup", folder, "--to", "3"}, {}, {}, DropToNobody);
    if (run.exitCode == 126 && run.err.empty()) GTEST_SKIP() << "cannot run as user nobody";
    EXPECT_EQ(run.exitCode, 3) << Describe(run);
    EXPECT_TRUE(Contains(run.err, "В каталог «" + folder + "» нельзя записать файл")) << run.err;

    run = RunCli({"--port", sim.linkPath(), "read", "3", "-o", dir.path() + "/no/such/x.json"});
    EXPECT_EQ(run.exitCode, 3) << Describe(run);
    EXPECT_TRUE(Contains(run.err, "нельзя записать файл")) << run.err;
    EXPECT_EQ(RequestsHeard(sim), heard);
}

TEST(CliFaults, CtrlCDuringABackupListsWhatWasSaved) {
    SimOptions options;
    options.instruments = {"3", "5,model=RV7406"};
    options.pace = true;
    SimProcess sim(options);
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string target = dir.path() + "/backup";
    const CliRun run = RunCli(
        {"--port", sim.linkPath(), "backup", target, "--from", "3", "--to", "5"}, [&](pid_t pid) {
            // Ctrl+C once the first file is there, while the second is read.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (std::chrono::steady_clock::now() < until) {
                std::error_code ec;
                if (fs::exists(target, ec) && !fs::is_empty(target, ec)) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(pid, SIGINT);
        });
    EXPECT_EQ(run.exitCode, 130) << Describe(run);
    const std::vector<std::string> files = FilesIn(target);
    ASSERT_EQ(files.size(), 1u) << Describe(run);
    const std::vector<std::string> rows = Lines(run.out);
    ASSERT_EQ(rows.size(), 2u) << Describe(run);
    EXPECT_EQ(rows[0].rfind("Номер", 0), 0u) << run.out;
    EXPECT_EQ(rows[1].rfind("3 ", 0), 0u) << run.out;
    EXPECT_TRUE(Contains(rows[1], target + "/" + files[0])) << run.out;
    EXPECT_TRUE(Contains(run.err, "Остановлено")) << run.err;
}

TEST(CliFaults, RefusedWriteExitsOne) {
    SimProcess sim({"3"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string saved = dir.path() + "/three.rv740x.json";
    ASSERT_EQ(RunCli({"--port", sim.linkPath(), "read", "3", "-o", saved}).exitCode, 0);
    // The answer comes from a terminal, as a person gives it.
    const CliRun run = RunCli({"--port", sim.linkPath(), "write", "3", saved}, {}, {}, [] {
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) ::_exit(125);
        const std::string answer = "нет\n";
        if (::write(master, answer.data(), answer.size()) < 0) ::_exit(125);
        ::dup2(slave, STDIN_FILENO);
    });
    EXPECT_EQ(run.exitCode, 1) << Describe(run);
    EXPECT_TRUE(Contains(run.err, "Запись отменена")) << run.err;
    EXPECT_EQ(WritesHeard(sim), 0u);
}

TEST(CliFaults, MissingFileIsNamedAsMissing) {
    TempDir dir;
    const std::string missing = dir.path() + "/missing.rv740x.json";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"show", missing},
          std::vector<std::string>{"--port", "/dev/null", "write", "3", missing, "--yes"}}) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 3) << Describe(run);
        EXPECT_EQ(run.err,
                  missing + ": Не удалось открыть файл «" + missing + "»: файл не существует\n")
            << Describe(run);
    }
}

// Every command's help: a usage line with the program's name, no English words of the
// parser's own, descriptions starting in one column counted in characters (the Cyrillic
// letters take two bytes each), and no line wider than a terminal's 80 columns.
TEST(CliFaults, HelpAndArgumentErrorsAreRussian) {
    const std::vector<std::string> commands = {"",     "ports", "search", "read",   "show",
                                               "diff", "write", "backup", "measure"};
    for (const std::string& command : commands) {
        std::vector<std::string> args{"--help"};
        if (!command.empty()) args.insert(args.begin(), command);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(run);
        for (const char* english :
             {"Usage", "Options", "OPTIONS", "Positionals", "REQUIRED", "SUBCOMMAND", "Subcommands",
              "TEXT", "UINT", "INT", "FLOAT", "FILE", "DIR", " in [", "Excludes"}) {
            EXPECT_FALSE(Contains(run.out, english)) << english << "\n" << run.out;
        }
        const std::string usage =
            "Запуск: rv740x" + (command.empty() ? std::string() : " " + command) + " [КЛЮЧИ]";
        EXPECT_TRUE(Contains(run.out, "\n" + usage) || run.out.rfind(usage, 0) == 0) << run.out;
        size_t described = 0;
        for (const std::string& line : Lines(run.out)) {
            const std::u32string chars = Characters(line);
            EXPECT_LE(chars.size(), 80u) << line;
            // An option or command row: two blanks, its name, then its description after a
            // gap of two or more blanks; or a description's next line.
            if (chars.size() < 3 || chars[0] != U' ' || chars[1] != U' ') continue;
            size_t gap = line.find("  ", 2);
            if (gap == std::string::npos) continue;
            const size_t text = line.find_first_not_of(' ', gap);
            ASSERT_NE(text, std::string::npos) << line;
            EXPECT_EQ(Characters(line.substr(0, text)).size(), 34u) << line << "\n" << run.out;
            ++described;
        }
        EXPECT_GE(described, 2u) << run.out;
    }
    const CliRun version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0) << Describe(version);
    EXPECT_EQ(version.out, "rv740x " RV740X_VERSION "\n") << Describe(version);
    EXPECT_EQ(version.err, "") << Describe(version);
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"read"}, "не задан обязательный аргумент N"},
        {{"read", "300"}, "N: 300 вне допустимых значений 1..254"},
        {{"read", "x"}, "N: «x» — не целое число"},
        {{"show"}, "не задан обязательный аргумент ФАЙЛ"},
        {{"--speed", "1000", "ports"},
         "--speed: «1000» не из списка: 300, 600, 1200, 2400, 4800, "
         "9600, 19200"},
        {{"write", "3", "f", "--force"}, "лишние аргументы: --force"},
        {{}, "не задана команда"},
        {{"search", "--all-speeds", "--speed", "300"}, "нельзя задавать вместе с"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, 2) << Describe(run);
        EXPECT_TRUE(Contains(run.err, c.says)) << Describe(run);
    }
}

// show, diff and the backup table: every cell of a column starts where its heading starts.
TEST(CliFaults, TablesLineUp) {
    SimProcess sim({"3", "5,model=RV7406", "7,bad-both=4"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string saved = dir.path() + "/three.rv740x.json";
    ASSERT_EQ(RunCli({"--port", sim.linkPath(), "read", "3", "-o", saved}).exitCode, 0);

    CliRun run = RunCli({"show", saved});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    std::vector<std::string> lines = Lines(run.out);
    const auto header = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("Параметр", 0) == 0;
    });
    ASSERT_NE(header, lines.end()) << run.out;
    EXPECT_FALSE(Contains(run.out, "\t")) << run.out;
    const size_t channel2 = ColumnOf(*header, "Канал 2");
    for (auto row = header + 1; row != lines.end() && !row->empty(); ++row) {
        const std::u32string cells = Characters(*row);
        ASSERT_GT(cells.size(), channel2) << *row;
        EXPECT_EQ(cells[channel2 - 1], U' ') << *row;
        EXPECT_NE(cells[channel2], U' ') << *row;
    }
    EXPECT_EQ(ColumnOf(lines[1], "RV7408"), ColumnOf(lines[0], saved)) << run.out;

    run = RunCli({"--port", sim.linkPath(), "backup", dir.path() + "/b", "--to", "7"});
    lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 4u) << Describe(run);
    const size_t model = ColumnOf(lines[0], "Модель");
    const size_t file = ColumnOf(lines[0], "Файл или ошибка");
    EXPECT_EQ(ColumnOf(lines[1], "RV7408"), model) << run.out;
    EXPECT_EQ(ColumnOf(lines[2], "RV7406"), model) << run.out;
    EXPECT_EQ(ColumnOf(lines[1], dir.path() + "/b/RV7408_3"), file) << run.out;
    EXPECT_EQ(ColumnOf(lines[3], "Ошибка памяти данных"), file) << run.out;
}

// show --html: the window's report as a page, for a file.
TEST(CliFaults, ShowHtmlWritesTheReport) {
    SimProcess sim({"3,model=RV7406,version=2.07"});
    ASSERT_TRUE(sim.started()) << sim.error();
    TempDir dir;
    const std::string saved = dir.path() + "/three.rv740x.json";
    ASSERT_EQ(RunCli({"--port", sim.linkPath(), "read", "3", "-o", saved}).exitCode, 0);
    const CliRun run = RunCli({"show", "--html", saved});
    ASSERT_EQ(run.exitCode, 0) << Describe(run);
    for (const std::string& part :
         {std::string("<h1>Отчёт о конфигурации прибора RV7406</h1>"),
          std::string("<tr><td>Сетевой номер</td><td>3</td></tr>"),
          std::string("<tr><td>Версия внутр. программы</td><td>2.07</td></tr>"),
          std::string("<tr><td>Идентификатор</td><td>010203</td></tr>"),
          std::string("<tr><td>Источник</td><td>файл «three.rv740x.json», сохранён 20"),
          std::string("<tr><th>Параметр</th><th>Канал 1</th>"),
          std::string("<th>Канал 6</th></tr>"),
          std::string("<tr><th>Событие</th><th>Реле1</th>")}) {
        EXPECT_TRUE(Contains(run.out, part)) << part << "\n" << run.out;
    }
    EXPECT_FALSE(Contains(run.out, "Канал 7")) << run.out;
}

}  // namespace
}  // namespace rv::test
