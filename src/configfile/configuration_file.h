#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/image.h"
#include "config/transfer.h"
#include "rv740x_version.h"

namespace rv {

// A configuration file: one instrument's configuration as JSON (see
// docs/configuration-file.md), the image's fields by name beside the raw written blocks.

inline constexpr const char* kConfigurationFormat = "rv740x-configuration";
inline constexpr int kConfigurationFormatVersion = 1;
inline constexpr const char* kConfigurationExtension = ".rv740x.json";
inline constexpr const char* kProgramVersion = RV740X_VERSION;
inline constexpr size_t kConfigurationFileLimit = size_t{1024} * 1024;

// What a file gives back: the image (LoadedId from the file, never 0) and the instrument
// it came from, with the raw blocks whose password bytes are zero.
struct ConfigurationFile {
    ConfigImage Image;
    InstrumentRecord Instrument;
    std::string SavedAt;
    std::string ProgramVersion;
};

struct LoadResult {
    bool ok = false;
    std::string error;                  // Russian, starting with the JSON path at fault
    std::vector<std::string> warnings;  // unknown keys, each with its path
};

// The data bytes the configuration write would send: `raw` as read, with the image's fields
// encoded into it and the password bytes zeroed. A missing entry of `raw` counts as zeros.
RawBlocks WrittenData(const ConfigImage& image, const RawBlocks& raw);

// The file's text for a configuration read from (or opened as) `instrument`; `savedAt` is
// the time stamp to write, e.g. "2026-12-07T10:15:00Z".
std::string FormatConfiguration(const ConfigImage& image, const InstrumentRecord& instrument,
                                const std::string& savedAt);

// Reads a file's text. Refuses anything the instrument could not hold, naming the JSON path;
// `out` is changed only when the whole text is accepted.
LoadResult ParseConfiguration(std::string_view text, ConfigurationFile& out);

// Saves with the current time, atomically: a temporary file beside `path`, then a rename.
// On failure `error` says why (Russian) and no file at `path` has changed.
bool SaveConfigurationFile(const std::string& path, const ConfigImage& image,
                           const InstrumentRecord& instrument, std::string& error);

// Saves as `name` in `directory` without ever replacing a file: when the name is taken, the
// local time `timeText` ("HHMMSS") goes before the extension, then "_2", "_3"... On success
// `path` names the file written.
bool SaveNewConfigurationFile(const std::string& directory, const std::string& name,
                              const std::string& timeText, const ConfigImage& image,
                              const InstrumentRecord& instrument, std::string& path,
                              std::string& error);

// Reads a file from disk; a file over kConfigurationFileLimit is refused unread.
LoadResult LoadConfigurationFile(const std::string& path, ConfigurationFile& out);

// The suggested name, model_network_LoadedId_date, e.g. "RV7408_1_0A1B2C_2026-12-07.rv740x.json".
// `date` is "YYYY-MM-DD".
std::string DefaultConfigurationFileName(const ConfigImage& image, uint32_t netNumber,
                                         const std::string& date);
// Today's local date and the current UTC time stamp, as the functions above want them.
std::string LocalDateText();
std::string UtcTimeStamp();
// The local time of day as "HHMMSS".
std::string LocalTimeText();
// The local date and time as a person reads them: "2026-12-07 14:05".
std::string LocalDateTimeText();

}  // namespace rv
