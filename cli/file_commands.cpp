#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "commands.h"
#include "config/transfer.h"
#include "configfile/code_page.h"
#include "configfile/configuration_file.h"
#include "configfile/difference.h"
#include "configfile/report.h"
#include "configfile/value_texts.h"
#include "exit_codes.h"
#include "fileio/atomic_file.h"
#include "fileio/platform_io.h"
#include "interrupt.h"
#include "line/journal.h"
#include "line/line_file.h"
#include "line/recorded_write.h"
#include "link/priority.h"
#include "link/requests.h"
#include "link/status.h"
#include "progress_line.h"
#include "text_table.h"

namespace rv::cli {

namespace {

// A line or instrument failure: the status text of the failure table.
int lineFailure(const OpenedLine& line) {
    PrintLineFailure(line.link().LinkStatus, line);
    return kExitFailure;
}

int interrupted() {
    std::fprintf(stderr, "Остановлено\n");
    return kExitInterrupted;
}

// Opens a configuration file; prints why when it cannot, and every warning.
bool loadFile(const std::string& path, ConfigurationFile& file) {
    const LoadResult result = LoadConfigurationFile(path, file);
    for (const std::string& warning : result.warnings) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), warning.c_str());
    }
    if (!result.ok) std::fprintf(stderr, "%s: %s\n", path.c_str(), result.error.c_str());
    return result.ok;
}

// The observer of a whole read or write: a bar on a terminal, and a first Ctrl+C turned into
// a stop after the block in progress.
TransferObserver barObserver(Link& link, ProgressLine& line, const std::string& caption) {
    TransferObserver observer;
    observer.progress = [&link, &line, caption](int percent) {
        line.show(caption + " " + Bar(percent));
        StopAtBoundaryIfAsked(link);
    };
    return observer;
}

// Reads the instrument at `net` with a progress bar. On failure returns the exit code.
int readInstrument(OpenedLine& opened, unsigned net, ConfigImage& image, InstrumentRecord& record) {
    Link& link = opened.link();
    link.NetNumber = net;
    ProgressLine line;
    const RaisedPriority priority;
    const Outcome outcome = ReadConfiguration(
        link, image, barObserver(link, line, "Чтение прибора " + std::to_string(net)), &record);
    line.clear();
    if (outcome == Outcome::Cancelled) return interrupted();
    if (outcome == Outcome::Failed) return lineFailure(opened);
    return kExitDone;
}

// Sets up the line of the options and reads the instrument at `net` on it. On failure
// returns the exit code.
int readFromLine(const LineOptions& options, unsigned net, ConfigImage& image,
                 InstrumentRecord& record) {
    OpenedLine opened;
    if (const int code = SetUpLine(options, opened); code != kExitDone) return code;
    return readInstrument(opened, net, image, record);
}

std::string channelName(int channel) {
    return channel == 0 ? "Прибор" : "Канал " + std::to_string(channel);
}

bool terminalInput() { return isatty(STDIN_FILENO) == 1; }

bool askYes(const std::string& question) {
    std::fprintf(stderr, "%s [да/нет] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "да" || answer == "д" || answer == "Да" || answer == "y" || answer == "yes";
}

}  // namespace

bool PrintDifferences(const std::vector<FieldDifference>& differences, const std::string& left,
                      const std::string& right) {
    if (differences.empty()) {
        std::printf("Различий нет\n");
        return false;
    }
    TextTable table;
    table.add({"Канал", "Параметр", left, right});
    for (const FieldDifference& d : differences) {
        table.add({channelName(d.channel), d.field, d.left, d.right});
    }
    std::fputs(table.text().c_str(), stdout);
    return true;
}

bool WritableDirectory(const std::string& directory) {
    const std::filesystem::path probe =
        PathFromUtf8(directory) / (".rv740x-probe-" + std::to_string(std::time(nullptr)));
    AtomicWriteError failure;
    if (WriteFileAtomically(Utf8FromPath(probe), "", failure, ExistingFile::Keep)) {
        std::error_code ignored;
        std::filesystem::remove(probe, ignored);
        return true;
    }
    if (failure.code == EEXIST) return true;  // another file of that name: the folder takes files
    std::fprintf(stderr, "В каталог «%s» нельзя записать файл: %s\n", directory.c_str(),
                 failure.reason.c_str());
    return false;
}

int RunRead(const LineOptions& options, unsigned net, const std::string& outputPath) {
    if (!outputPath.empty()) {
        const std::filesystem::path parent = std::filesystem::path(outputPath).parent_path();
        if (!WritableDirectory(parent.empty() ? "." : parent.string())) return kExitFile;
    }
    ConfigImage image;
    InstrumentRecord record;
    if (const int code = readFromLine(options, net, image, record); code != kExitDone) return code;
    if (outputPath.empty()) {
        std::fputs(FormatConfiguration(image, record, UtcTimeStamp()).c_str(), stdout);
        return kExitDone;
    }
    std::string error;
    if (!SaveConfigurationFile(outputPath, image, record, error)) {
        std::fprintf(stderr, "%s: %s\n", outputPath.c_str(), error.c_str());
        return kExitFile;
    }
    return kExitDone;
}

int RunShow(const std::string& path, bool html) {
    ConfigurationFile file;
    if (!loadFile(path, file)) return kExitFile;
    if (html) {
        const ReportSource source{true, std::filesystem::path(path).filename().string(),
                                  file.SavedAt};
        const ConfigurationReport report =
            MakeConfigurationReport(file.Image, file.Instrument, source, LocalDateTimeText());
        std::fputs(ConfigurationReportHtml(report).c_str(), stdout);
        return kExitDone;
    }
    const ConfigImage& image = file.Image;
    TextTable head;
    head.add({"Файл", path});
    head.add({"Модель", ModelName(image.ChannelsFitted)});
    head.add({"Сетевой номер", std::to_string(file.Instrument.NetNumber)});
    head.add({"Скорость, бод", std::to_string(file.Instrument.BaudRate)});
    head.add({"Версия", InstrumentTextToUtf8(file.Instrument.Firmware).value_or("?")});
    head.add({"Сохранено", file.SavedAt});
    std::printf("%s\n", head.text().c_str());

    // Channels by fields: one row per field, one column per channel.
    const std::vector<FieldValue> fields = ConfigurationFields(image);
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> rows;
    TextTable instrumentFields;
    for (const FieldValue& f : fields) {
        if (f.channel == 0) {
            instrumentFields.add({f.field, f.value});
            continue;
        }
        auto [row, added] = rows.try_emplace(f.field, std::vector<std::string>(kChannelCount));
        if (added) order.push_back(f.field);
        row->second[static_cast<size_t>(f.channel - 1)] = f.value;
    }
    TextTable channels;
    std::vector<std::string> header{"Параметр"};
    for (int c = 1; c <= kChannelCount; ++c) header.push_back("Канал " + std::to_string(c));
    channels.add(header);
    for (const std::string& name : order) {
        std::vector<std::string> row{name};
        row.insert(row.end(), rows[name].begin(), rows[name].end());
        channels.add(row);
    }
    std::printf("%s\n%s", channels.text().c_str(), instrumentFields.text().c_str());
    return kExitDone;
}

int RunDiffFiles(const std::string& leftPath, const std::string& rightPath) {
    ConfigurationFile left;
    ConfigurationFile right;
    if (!loadFile(leftPath, left) || !loadFile(rightPath, right)) return kExitFile;
    return PrintDifferences(CompareConfigurations(left.Image, right.Image), leftPath, rightPath)
               ? kExitFailure
               : kExitDone;
}

int RunDiffInstrument(const LineOptions& options, unsigned net, const std::string& path) {
    ConfigurationFile file;
    if (!loadFile(path, file)) return kExitFile;
    ConfigImage image;
    InstrumentRecord record;
    if (const int code = readFromLine(options, net, image, record); code != kExitDone) return code;
    return PrintDifferences(CompareConfigurations(image, file.Image),
                            "прибор " + std::to_string(net), path)
               ? kExitFailure
               : kExitDone;
}

int RunWrite(const LineOptions& options, unsigned net, const std::string& path, bool yes,
             const std::string& linePath) {
    ConfigurationFile file;
    if (!loadFile(path, file)) return kExitFile;
    OpenedLine opened;
    if (const int code = SetUpLine(options, opened); code != kExitDone) return code;
    Link& link = opened.link();
    link.NetNumber = net;

    InstrumentIdentity identity;
    const Outcome identified = ReadIdentity(link, identity);
    if (identified == Outcome::Cancelled) return interrupted();
    if (identified == Outcome::Failed) return lineFailure(opened);
    const std::vector<std::string> warnings =
        IdentityDifferences(IdentityOf(file.Image, file.Instrument.Family), identity);
    if (!warnings.empty()) {
        std::fprintf(stderr, "Прибор %u не такой, как тот, из которого взята конфигурация:\n", net);
        for (const std::string& w : warnings) std::fprintf(stderr, "  %s\n", w.c_str());
    }
    if (!yes) {
        if (terminalInput()) {
            if (!askYes(" Записать данные ?")) {
                std::fprintf(stderr, "Запись отменена\n");
                return kExitFailure;
            }
        } else if (!warnings.empty()) {
            std::fprintf(stderr, "Запись не выполнена: подтвердите её ключом --yes\n");
            return kExitFailure;
        }
    }

    const std::string journal = linePath.empty() ? DefaultJournalPath() : JournalPathOf(linePath);
    const WriteTarget target{link.Device, net,
                             identity.Family == request::kServedFamily
                                 ? ModelName(identity.ChannelsFitted)
                                 : std::string(),
                             identity.LoadedId};
    ProgressLine line;
    const RaisedPriority priority;
    const RecordedWrite written =
        WriteAndRecord(link, file.Image, &file.Instrument.Raw, target, journal,
                       barObserver(link, line, "Запись прибора " + std::to_string(net)));
    line.clear();
    if (!written.journaled) {
        std::fprintf(stderr, "Запись не внесена в журнал: %s\n",
                     journal.empty() ? "не найден каталог данных пользователя"
                                     : written.journalError.c_str());
    }
    if (written.outcome == Outcome::Cancelled) return interrupted();
    if (written.outcome == Outcome::Failed) return lineFailure(opened);
    // Only the bytes that differed travel; --trace shows each of them.
    std::printf("Записано байт: %d%s\n", written.bytesWritten,
                written.bytesWritten == 0 ? " (прибор уже хранил эту конфигурацию)" : "");
    return kExitDone;
}

int RunBackup(const LineOptions& options, const std::string& directory, bool allSpeeds,
              unsigned first, unsigned last) {
    std::error_code ec;
    const std::filesystem::path folder = PathFromUtf8(directory);
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        std::fprintf(stderr, "Нельзя создать каталог «%s»\n", directory.c_str());
        return kExitFile;
    }
    // A search of every speed takes up to 21 minutes: the folder is checked before it.
    if (!WritableDirectory(directory)) return kExitFile;
    OpenedLine opened;
    if (const int code = SetUpLine(options, opened); code != kExitDone) return code;
    Link& link = opened.link();

    const SweepResult sweep = Sweep(link, PlanOf(options, allSpeeds, first, last));
    if (sweep.outcome == Outcome::Failed) {
        PrintLineFailure(sweep.status, opened);
        return kExitFailure;
    }
    if (sweep.outcome == Outcome::Cancelled) return interrupted();

    TextTable table;
    table.add({"Номер", "Скорость, бод", "Модель", "Файл или ошибка"});
    bool anyFailed = false;
    bool fileFailed = false;
    bool stopped = false;
    for (const FoundInstrument& found : sweep.found) {
        link.applySpeedIndex(found.speedIndex);
        ConfigImage image;
        InstrumentRecord record;
        ProgressLine line;
        link.NetNumber = found.netNumber;
        const Outcome outcome = ReadConfiguration(
            link, image,
            barObserver(link, line, "Чтение прибора " + std::to_string(found.netNumber)), &record);
        line.clear();
        const std::string number = std::to_string(found.netNumber);
        const std::string baud = std::to_string(found.baud);
        if (outcome == Outcome::Cancelled) {
            // What was saved so far is listed all the same.
            stopped = true;
            break;
        }
        if (outcome == Outcome::Failed) {
            table.add({number, baud, "-", StatusText(static_cast<uint32_t>(link.LinkStatus))});
            anyFailed = true;
            continue;
        }
        const std::string name =
            DefaultConfigurationFileName(image, found.netNumber, LocalDateText());
        std::string path;
        std::string error;
        const std::string model = ModelName(image.ChannelsFitted);
        if (!SaveNewConfigurationFile(directory, name, LocalTimeText(), image, record, path,
                                      error)) {
            table.add({number, baud, model, error});
            anyFailed = true;
            fileFailed = true;
            continue;
        }
        table.add({number, baud, model, path});
    }

    if (sweep.found.empty()) {
        std::printf("Приборы не найдены\n");
        return kExitDone;
    }
    std::fputs(table.text().c_str(), stdout);
    if (stopped) return interrupted();
    if (fileFailed) return kExitFile;
    return anyFailed ? kExitFailure : kExitDone;
}

}  // namespace rv::cli
