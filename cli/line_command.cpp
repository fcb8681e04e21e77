// rv740x line FILE search|backup|diff: the whole line at once, its instruments from a line file.

#include "line_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "fileio/platform_io.h"
#include "interrupt.h"
#include "line/line_jobs.h"
#include "line/line_table.h"
#include "link/priority.h"
#include "progress_line.h"
#include "russian_cli.h"
#include "sweep.h"
#include "text_table.h"

namespace rv::cli {

namespace {

struct SearchChoice {
    std::vector<unsigned> bauds;
    bool allSpeeds = false;
    unsigned first = 1;
    unsigned last = 254;
};

void printRows(const std::vector<LineRow>& rows) {
    if (rows.empty()) {
        std::printf("В линии нет приборов\n");
        return;
    }
    TextTable table;
    const auto& titles = LineColumnTitles();
    table.add(std::vector<std::string>(titles.begin(), titles.end()));
    for (const LineRow& row : rows) table.add(RowTexts(row));
    std::fputs(table.text().c_str(), stdout);
}

std::string instrumentName(const LineInstrument& m) {
    std::string name = "Прибор " + std::to_string(m.NetNumber);
    if (!m.Model.empty()) name += " (" + m.Model + (m.Id != 0 ? " " + IdText(m.Id) : "") + ")";
    if (!m.Tag.empty()) name += ", «" + m.Tag + "»";
    return name;
}

// The line of the options, at the line file's port unless --port was given.
int setUpLineOf(const LineFile& line, LineOptions options, bool portGiven, OpenedLine& opened) {
    if (!portGiven) options.port = line.Port;
    options.baud.reset();
    return SetUpLine(options, opened);
}

// The progress of a job on a terminal, and a first Ctrl+C turned into a stop after the block
// in progress, or before the next instrument.
JobObserver jobObserver(Link& link, ProgressLine& progress, const std::string& verb) {
    JobObserver observer;
    auto caption = std::make_shared<std::string>();
    observer.starting = [caption, verb](size_t position, size_t count, const LineInstrument& m) {
        *caption = verb + " прибора " + std::to_string(m.NetNumber) + " (" +
                   std::to_string(position + 1) + " из " + std::to_string(count) + ")";
    };
    observer.progress = [&link, &progress, caption](int percent) {
        progress.show(*caption + " " + Bar(percent));
        StopAtBoundaryIfAsked(link);
    };
    observer.stopRequested = [] { return InterruptCount() >= 1; };
    return observer;
}

// Saves the line with what a job learnt of its instruments; false after printing why not.
bool saveLearnt(const std::string& path, LineFile& line, const JobOutcome& job, JobKind kind) {
    std::vector<LineRow> rows = RowsOfLine(line, {});
    for (const InstrumentResult& result : job.results) TakeResult(rows, result, kind);
    std::vector<LineInstrument> learnt = InstrumentsOf(rows);
    if (learnt == line.Instruments) return true;
    line.Instruments = std::move(learnt);
    std::string error;
    if (SaveLineFile(path, line, error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

// The exit status of a job that ran (or stopped): Ctrl+C first, then the port.
int jobEnd(const JobOutcome& job, const OpenedLine& opened) {
    if (job.outcome == Outcome::Cancelled) {
        std::fprintf(stderr, "Остановлено\n");
        return kExitInterrupted;
    }
    if (job.outcome == Outcome::Failed) {
        PrintLineFailure(job.results.back().status, job.results.back().detail, opened);
        return kExitFailure;
    }
    return kExitDone;
}

// What a job on the line's instruments starts from: the line file, the instruments chosen and
// the line set up at the line's port.
struct JobStart {
    LineFile line;
    std::vector<LineInstrument> chosen;
    OpenedLine opened;
};

constexpr int kGoOn = -1;

// Loads the line, chooses the instruments and, once `ready` (when given) has agreed, sets the
// line up. Returns kGoOn, or the exit code after printing why not.
int startJob(const std::string& path, const LineOptions& options, bool portGiven,
             const std::vector<unsigned>& numbers, JobStart& start,
             const std::function<int(const LineFile&)>& ready = {}) {
    if (const int failed = LoadLine(path, start.line); failed != kExitDone) return failed;
    if (!ChooseInstruments(start.line, numbers, start.chosen)) return kExitUsage;
    if (start.chosen.empty()) {
        std::printf("В линии нет приборов\n");
        return kExitDone;
    }
    if (ready) {
        if (const int failed = ready(start.line); failed != kExitDone) return failed;
    }
    if (const int failed = setUpLineOf(start.line, options, portGiven, start.opened);
        failed != kExitDone) {
        return failed;
    }
    return kGoOn;
}

int runSearch(const std::string& path, const LineOptions& options, bool portGiven,
              const SearchChoice& choice) {
    LineFile line;
    std::error_code code;
    if (std::filesystem::exists(PathFromUtf8(path), code)) {
        if (const int failed = LoadLine(path, line); failed != kExitDone) return failed;
    } else {
        // A new line: the file is made by the search.
        line.Port = options.port;
        portGiven = true;
    }
    if (portGiven) line.Port = options.port;
    OpenedLine opened;
    if (const int failed = setUpLineOf(line, options, false, opened); failed != kExitDone) {
        return failed;
    }
    SpeedSearchPlan plan;
    plan.first = choice.first;
    plan.last = choice.last;
    plan.identify = true;
    if (choice.allSpeeds) {
        for (int i = 0; i < kSpeedCount; ++i) plan.speedIndexes.push_back(i);
    } else if (!choice.bauds.empty()) {
        for (unsigned baud : choice.bauds) {
            const int index = SpeedIndexOfBaud(baud);
            if (std::find(plan.speedIndexes.begin(), plan.speedIndexes.end(), index) ==
                plan.speedIndexes.end()) {
                plan.speedIndexes.push_back(index);
            }
        }
    } else {
        plan.speedIndexes = DefaultLineSearchSpeeds();
    }

    const SweepResult result = Sweep(opened.link(), plan);
    if (result.outcome == Outcome::Failed) {
        PrintLineFailure(result.status, result.detail, opened);
        return kExitFailure;
    }
    std::vector<LineRow> rows = RowsOfLine(line, CopiesFolderOf(path, line));
    for (const FoundInstrument& found : result.found) TakeFound(rows, found);
    // A search cut short says nothing of the numbers it did not reach.
    MarkUnanswered(rows, result);
    line.Instruments = InstrumentsOf(rows);
    printRows(rows);
    std::string error;
    if (!SaveLineFile(path, line, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitFile;
    }
    if (result.outcome == Outcome::Cancelled) {
        std::fprintf(stderr, "Остановлено\n");
        return kExitInterrupted;
    }
    return kExitDone;
}

int runBackup(const std::string& path, const LineOptions& options, bool portGiven,
              const std::vector<unsigned>& numbers) {
    JobStart start;
    std::string copies;
    const int started =
        startJob(path, options, portGiven, numbers, start, [&](const LineFile& line) {
            // The copies' folder is checked before the line is used.
            copies = CopiesFolderOf(path, line);
            std::error_code code;
            std::filesystem::create_directories(PathFromUtf8(copies), code);
            if (code) std::fprintf(stderr, "Нельзя создать каталог копий «%s»\n", copies.c_str());
            return !code && WritableDirectory(copies) ? kExitDone : kExitFile;
        });
    if (started != kGoOn) return started;
    LineFile& line = start.line;
    OpenedLine& opened = start.opened;
    ProgressLine progress;
    const RaisedPriority priority;
    const JobOutcome job = BackupInstruments(opened.link(), start.chosen, copies,
                                             jobObserver(opened.link(), progress, "Чтение"));
    progress.clear();

    TextTable table;
    table.add({"Номер", "Модель", "ID", "Метка", "Результат", "Копия"});
    bool anyFailed = false;
    bool fileFailed = false;
    for (const InstrumentResult& r : job.results) {
        const std::string summary = ResultSummary(r, JobKind::Backup);
        table.add({std::to_string(r.instrument.NetNumber), r.instrument.Model,
                   IdText(r.instrument.Id), r.instrument.Tag, summary, r.copy.path});
        anyFailed = anyFailed || r.outcome == Outcome::Failed;
        fileFailed = fileFailed || (r.outcome == Outcome::Done && !r.copy.ok);
        for (const std::string& p : r.copy.problems) std::fprintf(stderr, "%s\n", p.c_str());
    }
    std::fputs(table.text().c_str(), stdout);
    const bool saved = saveLearnt(path, line, job, JobKind::Backup);
    if (const int end = jobEnd(job, opened); end != kExitDone) return end;
    if (fileFailed || !saved) return kExitFile;
    return anyFailed ? kExitFailure : kExitDone;
}

int runDiff(const std::string& path, const LineOptions& options, bool portGiven,
            const std::vector<unsigned>& numbers) {
    JobStart start;
    if (const int started = startJob(path, options, portGiven, numbers, start); started != kGoOn)
        return started;
    LineFile& line = start.line;
    OpenedLine& opened = start.opened;
    ProgressLine progress;
    const RaisedPriority priority;
    const JobOutcome job =
        CompareWithCopies(opened.link(), start.chosen, CopiesFolderOf(path, line),
                          jobObserver(opened.link(), progress, "Чтение"));
    progress.clear();

    TextTable table;
    table.add({"Номер", "Модель", "ID", "Метка", "Копия от", "Как в копии"});
    bool differs = false;
    for (const InstrumentResult& r : job.results) {
        table.add({std::to_string(r.instrument.NetNumber), r.instrument.Model,
                   IdText(r.instrument.Id), r.instrument.Tag, LocalTimeOfStamp(r.copySavedAt),
                   ResultSummary(r, JobKind::Compare)});
        differs = differs || r.outcome != Outcome::Done || !r.compared || !r.differences.empty();
        for (const std::string& p : r.copy.problems) std::fprintf(stderr, "%s\n", p.c_str());
    }
    std::fputs(table.text().c_str(), stdout);
    for (const InstrumentResult& r : job.results) {
        if (r.differences.empty()) continue;
        std::printf("\n%s, копия от %s:\n", instrumentName(r.instrument).c_str(),
                    LocalTimeOfStamp(r.copySavedAt).c_str());
        PrintDifferences(r.differences, "В копии", "В приборе");
    }
    saveLearnt(path, line, job, JobKind::Compare);
    if (const int end = jobEnd(job, opened); end != kExitDone) return end;
    return differs ? kExitFailure : kExitDone;
}

}  // namespace

int LoadLine(const std::string& path, LineFile& line) {
    const LineLoadResult result = LoadLineFile(path, line);
    for (const std::string& warning : result.warnings)
        std::fprintf(stderr, "%s\n", warning.c_str());
    if (result.ok) return kExitDone;
    std::fprintf(stderr, "%s\n", result.error.c_str());
    return kExitFile;
}

bool ChooseInstruments(const LineFile& line, const std::vector<unsigned>& numbers,
                       std::vector<LineInstrument>& chosen) {
    if (numbers.empty()) {
        chosen = line.Instruments;
        return true;
    }
    bool known = true;
    for (unsigned net : numbers) {
        const LineInstrument* m = FindInstrument(line, net);
        if (m == nullptr) {
            std::fprintf(stderr, "В линии нет прибора с номером %u\n", net);
            known = false;
        } else if (std::find(chosen.begin(), chosen.end(), *m) == chosen.end()) {
            chosen.push_back(*m);
        }
    }
    return known;
}

void AddLineCommand(CLI::App& app, LineOptions& options, const CLI::Option* portOption,
                    int& exitCode) {
    struct Arguments {
        std::string path;
        std::vector<unsigned> numbers;
        std::vector<unsigned> compare;
        SearchChoice search;
    };
    auto args = std::make_shared<Arguments>();
    CLI::App* line = app.add_subcommand(
        "line", "Линия из файла линии: поиск, копии с историей, сравнение с копиями, журнал");
    line->add_option("FILE", args->path, "Файл линии (*.rv740x-line.json)")
        ->required()
        ->type_name("ФАЙЛ");
    line->require_subcommand(1);
    line->footer(
        "Порт берётся из файла линии, если не задан ключом --port. Копии хранятся в каталоге "
        "из файла линии, журнал записей лежит рядом с файлом линии.");
    const auto portGiven = [portOption] {
        return portOption != nullptr && portOption->count() > 0;
    };

    CLI::App* search = line->add_subcommand(
        "search", "Найти приборы линии и записать их в файл линии (новый файл создаётся)");
    search
        ->add_option("--speed", args->search.bauds,
                     "Искать на этой скорости, бод (можно повторять; по умолчанию 2400, 4800, "
                     "9600 и 19200)")
        ->type_name("БОД")
        ->check(OneOfCheck({300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u}));
    search->add_flag("--all-speeds", args->search.allSpeeds,
                     "Искать на всех скоростях от 300 до 19200 бод");
    search->add_option("--from", args->search.first, "Первый номер (по умолчанию 1)")
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    search->add_option("--to", args->search.last, "Последний номер (по умолчанию 254)")
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    search->callback([&options, &exitCode, args, portGiven] {
        if (args->search.first > args->search.last) {
            throw CLI::ValidationError("--from", "первый номер больше последнего");
        }
        exitCode = runSearch(args->path, options, portGiven(), args->search);
    });

    const auto numbered = [&](const char* name, const char* description) {
        CLI::App* command = line->add_subcommand(name, description);
        command->add_option("N", args->numbers, "Сетевые номера приборов (по умолчанию все)")
            ->type_name("ЧИСЛО")
            ->check(RangeCheck(1, 254));
        return command;
    };
    numbered("backup",
             "Прочитать приборы и сохранить копии с историей (одинаковая копия не "
             "повторяется; код 1, если прибор не ответил)")
        ->callback([&options, &exitCode, args, portGiven] {
            exitCode = runBackup(args->path, options, portGiven(), args->numbers);
        });
    numbered("diff",
             "Прочитать приборы и сравнить с их последними копиями (код 1, если есть различия)")
        ->callback([&options, &exitCode, args, portGiven] {
            exitCode = runDiff(args->path, options, portGiven(), args->numbers);
        });
    CLI::App* history =
        numbered("history", "Версии копий приборов и что менялось от версии к версии");
    history
        ->add_option("--compare", args->compare,
                     "Сравнить две версии копий одного прибора (код 1, если различаются)")
        ->type_name("A B")
        ->expected(2);
    history->callback(
        [&exitCode, args] { exitCode = RunLineHistory(args->path, args->numbers, args->compare); });
    numbered("journal", "Журнал записей в приборы линии")->callback([&exitCode, args] {
        exitCode = RunLineJournal(args->path, args->numbers);
    });
    GroupCommands(*line);
}

}  // namespace rv::cli
