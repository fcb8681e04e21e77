#include <unistd.h>

#include <cstdio>
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
#include "configfile/value_texts.h"
#include "exit_codes.h"
#include "fileio/platform_io.h"
#include "interrupt.h"
#include "link/priority.h"
#include "link/status.h"
#include "progress_line.h"

namespace rv::cli {

namespace {

// A line or instrument failure: the status text of the failure table.
int lineFailure(const Link& link) {
    std::fprintf(stderr, "%s\n", StatusText(static_cast<uint32_t>(link.LinkStatus)).c_str());
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
int readInstrument(Link& link, unsigned net, ConfigImage& image, InstrumentRecord& record) {
    link.NetNumber = net;
    ProgressLine line;
    const RaisedPriority priority;
    const Outcome outcome = ReadConfiguration(
        link, image, barObserver(link, line, "Чтение прибора " + std::to_string(net)), &record);
    line.clear();
    if (outcome == Outcome::Cancelled) return interrupted();
    if (outcome == Outcome::Failed) return lineFailure(link);
    return kExitDone;
}

// Sets up the line of the options and reads the instrument at `net` on it. On failure
// returns the exit code.
int readFromLine(const LineOptions& options, unsigned net, ConfigImage& image,
                 InstrumentRecord& record) {
    OpenedLine opened;
    if (const int code = SetUpLine(options, opened); code != kExitDone) return code;
    return readInstrument(opened.link, net, image, record);
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

// Prints the differences as a table; true when there were any.
bool printDifferences(const std::vector<FieldDifference>& differences, const std::string& left,
                      const std::string& right) {
    if (differences.empty()) {
        std::printf("Различий нет\n");
        return false;
    }
    std::printf("Канал\tПараметр\t%s\t%s\n", left.c_str(), right.c_str());
    for (const FieldDifference& d : differences) {
        std::printf("%s\t%s\t%s\t%s\n", channelName(d.channel).c_str(), d.field.c_str(),
                    d.left.c_str(), d.right.c_str());
    }
    return true;
}

}  // namespace

int RunRead(const LineOptions& options, unsigned net, const std::string& outputPath) {
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

int RunShow(const std::string& path) {
    ConfigurationFile file;
    if (!loadFile(path, file)) return kExitFile;
    const ConfigImage& image = file.Image;
    std::printf("Файл\t%s\n", path.c_str());
    std::printf("Модель\t%s\n", ModelName(image.ChannelsFitted).c_str());
    std::printf("Сетевой номер\t%u\n", file.Instrument.NetNumber);
    std::printf("Скорость, бод\t%u\n", file.Instrument.BaudRate);
    std::printf("Версия\t%s\n",
                InstrumentTextToUtf8(file.Instrument.Firmware).value_or("?").c_str());
    std::printf("Сохранено\t%s\n", file.SavedAt.c_str());
    std::printf("\n");

    // Channels by fields: one row per field, one column per channel.
    const std::vector<FieldValue> fields = ConfigurationFields(image);
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> rows;
    std::vector<const FieldValue*> instrumentFields;
    for (const FieldValue& f : fields) {
        if (f.channel == 0) {
            instrumentFields.push_back(&f);
            continue;
        }
        auto [row, added] = rows.try_emplace(f.field, std::vector<std::string>(kChannelCount));
        if (added) order.push_back(f.field);
        row->second[static_cast<size_t>(f.channel - 1)] = f.value;
    }
    std::printf("Параметр");
    for (int c = 1; c <= kChannelCount; ++c) std::printf("\tКанал %d", c);
    std::printf("\n");
    for (const std::string& name : order) {
        std::printf("%s", name.c_str());
        for (const std::string& value : rows[name]) std::printf("\t%s", value.c_str());
        std::printf("\n");
    }
    std::printf("\n");
    for (const FieldValue* f : instrumentFields) {
        std::printf("%s\t%s\n", f->field.c_str(), f->value.c_str());
    }
    return kExitDone;
}

int RunDiffFiles(const std::string& leftPath, const std::string& rightPath) {
    ConfigurationFile left;
    ConfigurationFile right;
    if (!loadFile(leftPath, left) || !loadFile(rightPath, right)) return kExitFile;
    return printDifferences(CompareConfigurations(left.Image, right.Image), leftPath, rightPath)
               ? kExitFailure
               : kExitDone;
}

int RunDiffInstrument(const LineOptions& options, unsigned net, const std::string& path) {
    ConfigurationFile file;
    if (!loadFile(path, file)) return kExitFile;
    ConfigImage image;
    InstrumentRecord record;
    if (const int code = readFromLine(options, net, image, record); code != kExitDone) return code;
    return printDifferences(CompareConfigurations(image, file.Image),
                            "прибор " + std::to_string(net), path)
               ? kExitFailure
               : kExitDone;
}

int RunWrite(const LineOptions& options, unsigned net, const std::string& path, bool yes) {
    ConfigurationFile file;
    if (!loadFile(path, file)) return kExitFile;
    OpenedLine opened;
    if (const int code = SetUpLine(options, opened); code != kExitDone) return code;
    Link& link = opened.link;
    link.NetNumber = net;

    InstrumentIdentity identity;
    const Outcome identified = ReadIdentity(link, identity);
    if (identified == Outcome::Cancelled) return interrupted();
    if (identified == Outcome::Failed) return lineFailure(link);
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
                return kExitDone;
            }
        } else if (!warnings.empty()) {
            std::fprintf(stderr, "Запись не выполнена: подтвердите её ключом --yes\n");
            return kExitFailure;
        }
    }

    ProgressLine line;
    const RaisedPriority priority;
    TransferObserver observer = barObserver(link, line, "Запись прибора " + std::to_string(net));
    int bytesWritten = 0;
    observer.bytesWritten = [&](int count) { bytesWritten = count; };
    const Outcome outcome = WriteConfiguration(link, file.Image, observer, &file.Instrument.Raw);
    line.clear();
    if (outcome == Outcome::Cancelled) return interrupted();
    if (outcome == Outcome::Failed) return lineFailure(link);
    // Only the bytes that differed travel; --trace shows each of them.
    std::printf("Записано байт: %d%s\n", bytesWritten,
                bytesWritten == 0 ? " (прибор уже хранил эту конфигурацию)" : "");
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
    OpenedLine opened;
    if (const int code = SetUpLine(options, opened); code != kExitDone) return code;
    Link& link = opened.link;

    const SweepResult sweep = Sweep(link, PlanOf(options, allSpeeds, first, last));
    if (sweep.outcome == Outcome::Failed) {
        std::fprintf(stderr, "%s\n", StatusText(static_cast<uint32_t>(sweep.status)).c_str());
        return kExitFailure;
    }
    if (sweep.outcome == Outcome::Cancelled) return interrupted();

    struct Row {
        const FoundInstrument* found;
        std::string model;
        std::string result;
        bool ok;
    };
    std::vector<Row> rows;
    bool anyFailed = false;
    bool fileFailed = false;
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
        if (outcome == Outcome::Cancelled) return interrupted();
        if (outcome == Outcome::Failed) {
            rows.push_back({&found, "", StatusText(static_cast<uint32_t>(link.LinkStatus)), false});
            anyFailed = true;
            continue;
        }
        const std::string path =
            Utf8FromPath(folder / PathFromUtf8(DefaultConfigurationFileName(image, found.netNumber,
                                                                            LocalDateText())));
        std::string error;
        if (!SaveConfigurationFile(path, image, record, error)) {
            rows.push_back({&found, ModelName(image.ChannelsFitted), error, false});
            anyFailed = true;
            fileFailed = true;
            continue;
        }
        rows.push_back({&found, ModelName(image.ChannelsFitted), path, true});
    }

    if (rows.empty()) {
        std::printf("Приборы не найдены\n");
        return kExitDone;
    }
    std::printf("Номер\tСкорость, бод\tМодель\tФайл или ошибка\n");
    for (const Row& row : rows) {
        std::printf("%u\t%u\t%s\t%s\n", row.found->netNumber, row.found->baud,
                    row.model.empty() ? "-" : row.model.c_str(), row.result.c_str());
    }
    if (fileFailed) return kExitFile;
    return anyFailed ? kExitFailure : kExitDone;
}

}  // namespace rv::cli
