// rv740x line FILE history|journal: what the program remembers of a line's instruments.

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "line/history.h"
#include "line/journal.h"
#include "line/line_jobs.h"
#include "line/line_table.h"
#include "line_command.h"
#include "text_table.h"

namespace rv::cli {

namespace {

std::string heading(const LineInstrument& m) {
    std::string text = "Прибор " + std::to_string(m.NetNumber);
    if (!m.Model.empty()) text += " (" + m.Model + " " + IdText(m.Id) + ")";
    if (!m.Tag.empty()) text += ", «" + m.Tag + "»";
    return text;
}

void printProblems(const std::vector<std::string>& problems) {
    for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
}

void printVersions(const LineInstrument& m, const InstrumentHistory& history) {
    std::printf("%s\n", heading(m).c_str());
    if (history.versions.empty()) {
        std::printf("Копий нет\n");
        return;
    }
    TextTable table;
    table.add({"Версия", "Сохранена", "Номер", "Скорость, бод", "Изменения"});
    for (size_t i = 0; i < history.versions.size(); ++i) {
        const StoredVersion& v = history.versions[i];
        const std::string changes =
            i == 0 ? "первая копия"
                   : DifferenceCountText(
                         VersionDifferences(history.versions[i - 1].file, v.file).size());
        table.add({std::to_string(v.number), LocalTimeOfStamp(v.file.SavedAt),
                   std::to_string(v.file.Instrument.NetNumber),
                   std::to_string(v.file.Instrument.BaudRate), changes});
    }
    std::fputs(table.text().c_str(), stdout);
    for (size_t i = 1; i < history.versions.size(); ++i) {
        const StoredVersion& earlier = history.versions[i - 1];
        const StoredVersion& later = history.versions[i];
        std::printf("\nВерсия %zu против версии %zu:\n", later.number, earlier.number);
        PrintDifferences(VersionDifferences(earlier.file, later.file), "Было", "Стало");
    }
}

int compareVersions(const LineInstrument& m, const InstrumentHistory& history, size_t first,
                    size_t second) {
    const StoredVersion* a = nullptr;
    const StoredVersion* b = nullptr;
    for (const StoredVersion& v : history.versions) {
        if (v.number == first) a = &v;
        if (v.number == second) b = &v;
    }
    for (const auto& [found, number] : {std::pair{a, first}, std::pair{b, second}}) {
        if (found == nullptr) {
            std::fprintf(stderr, "%s: нет версии %zu\n", heading(m).c_str(), number);
            return kExitUsage;
        }
    }
    std::printf("%s: версия %zu (%s) и версия %zu (%s)\n", heading(m).c_str(), first,
                LocalTimeOfStamp(a->file.SavedAt).c_str(), second,
                LocalTimeOfStamp(b->file.SavedAt).c_str());
    return PrintDifferences(VersionDifferences(a->file, b->file), "Версия " + std::to_string(first),
                            "Версия " + std::to_string(second))
               ? kExitFailure
               : kExitDone;
}

std::string entryHeading(const JournalEntry& e) {
    std::string text = LocalTimeOfStamp(e.Time) + "  " + e.Account + "  " + e.Port + "  прибор " +
                       std::to_string(e.NetNumber);
    if (!e.Model.empty()) text += " " + e.Model;
    if (e.Id != 0) text += " " + IdText(e.Id);
    return text + "  " + e.Operation + ": " + e.Result;
}

}  // namespace

int RunLineHistory(const std::string& path, const std::vector<unsigned>& numbers,
                   const std::vector<unsigned>& compare) {
    LineFile line;
    if (const int failed = LoadLine(path, line); failed != kExitDone) return failed;
    std::vector<LineInstrument> chosen;
    if (!ChooseInstruments(line, numbers, chosen)) return kExitUsage;
    const std::string copies = CopiesFolderOf(path, line);
    if (!compare.empty()) {
        if (chosen.size() != 1) {
            std::fprintf(stderr, "Для --compare укажите один прибор\n");
            return kExitUsage;
        }
        const InstrumentHistory history = LoadHistory(copies, chosen[0].Model, chosen[0].Id);
        printProblems(history.problems);
        return compareVersions(chosen[0], history, compare[0], compare[1]);
    }
    if (numbers.empty()) {
        TextTable table;
        table.add({"Номер", "Модель", "ID", "Метка", "Версий", "Последняя копия"});
        for (const LineInstrument& m : chosen) {
            const InstrumentHistory history =
                m.Id == 0 ? InstrumentHistory{} : LoadHistory(copies, m.Model, m.Id);
            printProblems(history.problems);
            table.add({std::to_string(m.NetNumber), m.Model, IdText(m.Id), m.Tag,
                       std::to_string(history.versions.size()),
                       history.versions.empty()
                           ? std::string()
                           : LocalTimeOfStamp(history.versions.back().file.SavedAt)});
        }
        std::fputs(table.text().c_str(), stdout);
        return kExitDone;
    }
    for (size_t i = 0; i < chosen.size(); ++i) {
        if (i > 0) std::printf("\n");
        const InstrumentHistory history = chosen[i].Id == 0
                                              ? InstrumentHistory{}
                                              : LoadHistory(copies, chosen[i].Model, chosen[i].Id);
        printProblems(history.problems);
        printVersions(chosen[i], history);
    }
    return kExitDone;
}

int RunLineJournal(const std::string& path, const std::vector<unsigned>& numbers) {
    LineFile line;
    if (const int failed = LoadLine(path, line); failed != kExitDone) return failed;
    std::vector<LineInstrument> chosen;
    if (!ChooseInstruments(line, numbers, chosen)) return kExitUsage;
    const std::string journalPath = JournalPathOf(path);
    const JournalContents journal = ReadJournal(journalPath);
    if (!journal.ok) {
        std::fprintf(stderr, "%s\n", journal.error.c_str());
        return kExitFile;
    }
    printProblems(journal.problems);
    size_t shown = 0;
    for (const JournalEntry& e : journal.entries) {
        bool concerns = numbers.empty();
        for (const LineInstrument& m : chosen) {
            concerns = concerns || EntryConcerns(e, m.Model, m.Id, m.NetNumber);
        }
        if (!concerns) continue;
        if (shown++ > 0) std::printf("\n");
        std::printf("%s\n", entryHeading(e).c_str());
        if (e.Changes.empty()) continue;
        TextTable changes;
        for (const FieldDifference& d : e.Changes) {
            changes.add({"  " + (d.channel == 0 ? std::string("Прибор")
                                                : "Канал " + std::to_string(d.channel)),
                         d.field, d.left, "→", d.right});
        }
        std::fputs(changes.text().c_str(), stdout);
    }
    if (shown == 0) std::printf("Записей в журнале нет\n");
    return kExitDone;
}

}  // namespace rv::cli
