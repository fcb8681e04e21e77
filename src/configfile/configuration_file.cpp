#include "configfile/configuration_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "configfile/file_format.h"
#include "configfile/value_texts.h"
#include "fileio/atomic_file.h"
#include "fileio/platform_io.h"

namespace rv {

using file_format::hexNumber;

bool SaveConfigurationFile(const std::string& path, const ConfigImage& image,
                           const InstrumentRecord& instrument, std::string& error) {
    const std::string text = FormatConfiguration(image, instrument, UtcTimeStamp());
    AtomicWriteError failure;
    if (!WriteFileAtomically(path, text, failure)) {
        error = AtomicWriteErrorText(path, failure);
        return false;
    }
    return true;
}

bool SaveNewConfigurationFile(const std::string& directory, const std::string& name,
                              const std::string& timeText, const ConfigImage& image,
                              const InstrumentRecord& instrument, std::string& path,
                              std::string& error) {
    const std::string text = FormatConfiguration(image, instrument, UtcTimeStamp());
    const std::string extension = kConfigurationExtension;
    const bool hasExtension =
        name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
    const std::string stem = hasExtension ? name.substr(0, name.size() - extension.size()) : name;
    const std::string tail = hasExtension ? extension : std::string();
    constexpr int kTries = 1000;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        std::string candidate = stem;
        if (attempt > 0) candidate += "_" + timeText;
        if (attempt > 1) candidate += "_" + std::to_string(attempt);
        path = Utf8FromPath(PathFromUtf8(directory) / PathFromUtf8(candidate + tail));
        AtomicWriteError failure;
        if (WriteFileAtomically(path, text, failure, ExistingFile::Keep)) return true;
        if (failure.code != EEXIST) {
            error = AtomicWriteErrorText(path, failure);
            return false;
        }
    }
    error = "Не удалось подобрать свободное имя файла для «" + name + "»";
    return false;
}

LoadResult LoadConfigurationFile(const std::string& path, ConfigurationFile& out) {
    LoadResult result;
    std::error_code code;
    if (!std::filesystem::is_regular_file(PathFromUtf8(path), code)) {
        result.error = "Не удалось открыть файл «" + path + "»: " +
                       (std::filesystem::exists(PathFromUtf8(path), code) ? "это не обычный файл"
                                                                          : "файл не существует");
        return result;
    }
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) {
        result.error = "Не удалось открыть файл «" + path + "»: " + std::strerror(errno);
        return result;
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<size_t>(in.tellg());
    if (size > kConfigurationFileLimit) {
        result.error = "(весь файл): файл больше 1 МБ (" + std::to_string(size) +
                       " байт), это не файл конфигурации";
        return result;
    }
    in.seekg(0);
    std::string text(size, '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size))) {
        result.error = "Не удалось прочитать файл «" + path + "»";
        return result;
    }
    return ParseConfiguration(text, out);
}

std::string DefaultConfigurationFileName(const ConfigImage& image, uint32_t netNumber,
                                         const std::string& date) {
    return ModelName(image.ChannelsFitted) + "_" + std::to_string(netNumber) + "_" +
           hexNumber(image.LoadedId, 6) + "_" + date + kConfigurationExtension;
}

namespace {

// The time now in strftime's `format`, on the local clock or in UTC.
std::string timeNowText(const char* format, bool utc) {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (utc) {
        gmtime_r(&now, &parts);
    } else {
        localtime_r(&now, &parts);
    }
    char buffer[32];
    std::strftime(buffer, sizeof buffer, format, &parts);
    return buffer;
}

}  // namespace

std::string LocalDateText() { return timeNowText("%Y-%m-%d", false); }

std::string UtcTimeStamp() { return timeNowText("%Y-%m-%dT%H:%M:%SZ", true); }

std::string LocalTimeText() { return timeNowText("%H%M%S", false); }

std::string LocalDateTimeText() { return timeNowText("%Y-%m-%d %H:%M", false); }

}  // namespace rv
