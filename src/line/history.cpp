#include "line/history.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "configfile/code_page.h"
#include "configfile/hex_text.h"
#include "configfile/value_texts.h"
#include "fileio/atomic_file.h"
#include "fileio/platform_io.h"
#include "link/timeouts.h"

namespace rv {

namespace {

namespace fs = std::filesystem;

constexpr int kVersionDigits = 4;

std::string hexNumber(uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

// The version number a copy's name starts with ("0003_..."), 0 for any other name.
size_t versionOfName(const std::string& name) {
    size_t digits = 0;
    size_t value = 0;
    while (digits < name.size() && digits < 9 && name[digits] >= '0' && name[digits] <= '9') {
        value = value * 10 + static_cast<size_t>(name[digits] - '0');
        ++digits;
    }
    return digits > 0 && digits < name.size() && name[digits] == '_' ? value : 0;
}

bool isCopyName(const std::string& name) {
    const std::string extension = kConfigurationExtension;
    return versionOfName(name) > 0 && name.size() > extension.size() &&
           name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
}

// The copies of a folder by version number, oldest first.
std::vector<std::string> copyNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code code;
    for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
        const std::string name = Utf8FromPath(it->path().filename());
        if (isCopyName(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const size_t va = versionOfName(a);
        const size_t vb = versionOfName(b);
        return va != vb ? va < vb : a < b;
    });
    return names;
}

fs::path folderOf(const std::string& copiesFolder, const std::string& model, uint32_t id) {
    return PathFromUtf8(copiesFolder) / PathFromUtf8(InstrumentFolderName(model, id));
}

// Reads one copy into `history`, or notes why it cannot be read.
bool readCopy(const fs::path& file, InstrumentHistory& history) {
    StoredVersion version;
    version.number = versionOfName(Utf8FromPath(file.filename()));
    version.path = Utf8FromPath(file);
    const LoadResult result = LoadConfigurationFile(version.path, version.file);
    if (!result.ok) {
        history.problems.push_back("«" + version.path + "»: " + result.error);
        return false;
    }
    history.versions.push_back(std::move(version));
    return true;
}

std::string firmwareText(const std::string& bytes) {
    return InstrumentTextToUtf8(bytes).value_or("?");
}

// Parses "YYYY-MM-DDTHH:MM:SSZ" into the local time's parts.
bool localParts(const std::string& stamp, std::tm& local) {
    int y = 0;
    unsigned mo = 0;
    unsigned d = 0;
    unsigned h = 0;
    unsigned mi = 0;
    unsigned s = 0;
    char zone = 0;
    if (stamp.size() != 20 ||
        std::sscanf(stamp.c_str(), "%4d-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &zone) !=
            7 ||
        zone != 'Z' || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) {
        return false;
    }
    // Days since 1970-01-01 of a date on the proleptic Gregorian calendar.
    const int year = y - (mo <= 2 ? 1 : 0);
    const int era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (mo > 2 ? mo - 3 : mo + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = era * 146097LL + static_cast<long long>(doe) - 719468;
    const long long inDay = 3600LL * h + 60LL * mi + s;
    const auto seconds = static_cast<std::time_t>(days * 86400 + inDay);
    return localtime_r(&seconds, &local) != nullptr;
}

std::string formatLocal(const std::string& stamp, const char* format) {
    std::tm local{};
    if (!localParts(stamp, local)) return stamp;
    char buffer[32];
    std::strftime(buffer, sizeof buffer, format, &local);
    return buffer;
}

}  // namespace

std::string InstrumentFolderName(const std::string& model, uint32_t id) {
    return model + "_" + hexNumber(id, 6);  // 000000 for an instrument that gives none
}

InstrumentHistory LoadHistory(const std::string& copiesFolder, const std::string& model,
                              uint32_t id) {
    InstrumentHistory history;
    const fs::path folder = folderOf(copiesFolder, model, id);
    for (const std::string& name : copyNames(folder))
        readCopy(folder / PathFromUtf8(name), history);
    return history;
}

InstrumentHistory LoadLastVersion(const std::string& copiesFolder, const std::string& model,
                                  uint32_t id) {
    InstrumentHistory history;
    const fs::path folder = folderOf(copiesFolder, model, id);
    const std::vector<std::string> names = copyNames(folder);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (readCopy(folder / PathFromUtf8(*it), history)) break;
    }
    return history;
}

std::string LastCopyDate(const std::string& copiesFolder, const std::string& model, uint32_t id) {
    const std::vector<std::string> names = copyNames(folderOf(copiesFolder, model, id));
    if (names.empty()) return {};
    // "..._YYYY-MM-DD.rv740x.json": the local date the copy was made.
    const std::string& name = names.back();
    const size_t end = name.size() - std::string(kConfigurationExtension).size();
    if (end < 10) return {};
    const std::string date = name.substr(end - 10, 10);
    if (date[4] != '-' || date[7] != '-') return {};
    return date.substr(8, 2) + "." + date.substr(5, 2) + "." + date.substr(0, 4);
}

ConfigurationFile StoredForm(const ConfigImage& image, const InstrumentRecord& record) {
    ConfigurationFile stored;
    stored.Image = image;
    stored.Image.Password = 0;
    stored.Image.DialogNetNumber = static_cast<uint16_t>(record.NetNumber);
    const int speedIndex = SpeedIndexOfBaud(record.BaudRate);
    stored.Image.DialogSpeedIndex = static_cast<uint8_t>(speedIndex < 0 ? 0 : speedIndex);
    stored.Instrument = record;
    stored.Instrument.Raw = WrittenData(image, record.Raw);
    stored.ProgramVersion = kProgramVersion;
    return stored;
}

std::vector<FieldDifference> VersionDifferences(const ConfigurationFile& earlier,
                                                const ConfigurationFile& later) {
    std::vector<FieldDifference> out = CompareNetworkSettings(earlier.Image, later.Image);
    if (earlier.Instrument.Firmware != later.Instrument.Firmware) {
        out.push_back({0, "Версия", firmwareText(earlier.Instrument.Firmware),
                       firmwareText(later.Instrument.Firmware)});
    }
    if (earlier.Image.RelayMask != later.Image.RelayMask) {
        out.push_back({0, "Маска реле", hexNumber(earlier.Image.RelayMask, 4),
                       hexNumber(later.Image.RelayMask, 4)});
    }
    const std::vector<FieldDifference> settings = CompareConfigurations(earlier.Image, later.Image);
    out.insert(out.end(), settings.begin(), settings.end());
    // The later settings put on the earlier bytes: what remains is a change no setting shows.
    const RawBlocks explained = WrittenData(later.Image, earlier.Instrument.Raw);
    for (int index : kWrittenBlocks) {
        const auto i = static_cast<size_t>(index);
        const std::vector<uint8_t>& before = earlier.Instrument.Raw[i];
        const std::vector<uint8_t>& after = later.Instrument.Raw[i];
        if (explained[i] == after) continue;
        out.push_back({0, "Блок " + std::to_string(index) + ": прочие байты",
                       HexText(before.data(), before.size()), HexText(after.data(), after.size())});
    }
    return out;
}

KeptCopy KeepCopy(const std::string& copiesFolder, const ConfigImage& image,
                  const InstrumentRecord& record) {
    KeptCopy kept;
    const std::string model = ModelName(image.ChannelsFitted);
    const fs::path folder = folderOf(copiesFolder, model, image.LoadedId);
    std::error_code code;
    fs::create_directories(folder, code);
    if (code || !fs::is_directory(folder, code)) {
        kept.error = "Нельзя создать каталог копий «" + Utf8FromPath(folder) + "»";
        return kept;
    }
    InstrumentHistory last = LoadLastVersion(copiesFolder, model, image.LoadedId);
    kept.problems = std::move(last.problems);
    const ConfigurationFile stored = StoredForm(image, record);
    const std::vector<std::string> names = copyNames(folder);
    size_t version = names.empty() ? 1 : versionOfName(names.back()) + 1;
    if (!last.versions.empty()) {
        const StoredVersion& previous = last.versions.back();
        kept.changes = VersionDifferences(previous.file, stored);
        if (kept.changes.empty()) {
            kept.ok = true;
            kept.path = previous.path;
            kept.savedAt = previous.file.SavedAt;
            kept.version = previous.number;
            return kept;
        }
    }
    const std::string savedAt = UtcTimeStamp();
    const std::string text = FormatConfiguration(image, record, savedAt);
    const std::string name = DefaultConfigurationFileName(image, record.NetNumber, LocalDateText());
    // Another program may have taken the number meanwhile: the next one is tried.
    for (int attempt = 0; attempt < 1000; ++attempt, ++version) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%0*zu_", kVersionDigits, version);
        const std::string path = Utf8FromPath(folder / PathFromUtf8(prefix + name));
        AtomicWriteError failure;
        if (WriteFileAtomically(path, text, failure, ExistingFile::Keep)) {
            kept.ok = true;
            kept.newVersion = true;
            kept.path = path;
            kept.savedAt = savedAt;
            kept.version = version;
            return kept;
        }
        if (failure.code != EEXIST) {
            kept.error = AtomicWriteErrorText(path, failure);
            return kept;
        }
    }
    kept.error = "Не удалось подобрать свободный номер копии в «" + Utf8FromPath(folder) + "»";
    return kept;
}

std::string LocalDateOfStamp(const std::string& stamp) { return formatLocal(stamp, "%d.%m.%Y"); }

std::string LocalTimeOfStamp(const std::string& stamp) {
    return formatLocal(stamp, "%d.%m.%Y %H:%M");
}

std::string UnchangedSinceText(const std::string& savedAt) {
    return "без изменений с " + LocalDateOfStamp(savedAt);
}

}  // namespace rv
