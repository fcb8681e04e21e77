#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

// A line file: the instruments of one RS-485 line, where each answers and what it is, the
// port the line hangs on and the folder of the instruments' copies (see docs/line-file.md).

inline constexpr const char* kLineFormat = "rv740x-line";
inline constexpr int kLineFormatVersion = 1;
inline constexpr const char* kLineExtension = ".rv740x-line.json";
inline constexpr const char* kDefaultCopiesFolder = "copies";
inline constexpr size_t kLineFileLimit = size_t{1024} * 1024;
inline constexpr size_t kLongestTag = 200;  // characters

// One instrument of a line.
struct LineInstrument {
    uint32_t NetNumber = 1;
    uint32_t BaudRate = 9600;
    uint32_t Id = 0;    // its identification value (LoadedId); 0 while not known
    std::string Model;  // "RV7406", "RV7408" or "RV740x"; empty while not known
    std::string Tag;    // the user's own words for it ("Котёл 2, подача")

    friend bool operator==(const LineInstrument&, const LineInstrument&) = default;
};

struct LineFile {
    std::string Port = "COM1";  // COM1..COM4 or a device path
    // Where the copies are kept; a relative folder is taken from the line file's folder.
    std::string Copies = kDefaultCopiesFolder;
    std::vector<LineInstrument> Instruments;  // by network number, each number once

    friend bool operator==(const LineFile&, const LineFile&) = default;
};

struct LineLoadResult {
    bool ok = false;
    // Russian; names the file, then the place: a JSON pointer (/instruments/2/speed) or, for
    // text that is no JSON, the line and column.
    std::string error;
    std::vector<std::string> warnings;  // keys the program does not know, each with its place
};

// The file's text: two-space indent, one instrument per line, by network number.
std::string FormatLine(const LineFile& line);

// Reads a line file's text; `fileName` only names the file in the messages. `out` changes
// only when the whole text is accepted.
LineLoadResult ParseLine(std::string_view text, const std::string& fileName, LineFile& out);

// Reads a line file from disk; a file over kLineFileLimit is refused unread.
LineLoadResult LoadLineFile(const std::string& path, LineFile& out);

// Saves atomically (a temporary file beside `path`, then a rename); on failure `error` says
// why and the file at `path` is as it was.
bool SaveLineFile(const std::string& path, const LineFile& line, std::string& error);

// The folder of the line's copies: LineFile::Copies, taken from the line file's folder when
// relative.
std::string CopiesFolderOf(const std::string& linePath, const LineFile& line);

// The line's journal, beside its file: boiler.rv740x-line.json keeps boiler.rv740x-journal.jsonl.
std::string JournalPathOf(const std::string& linePath);

// An identification value as the files and tables show it: "0A1B2C"; "" for 0 (not known).
std::string IdText(uint32_t id);

// The instrument of the line at network number `net`, or nullptr.
const LineInstrument* FindInstrument(const LineFile& line, uint32_t net);

}  // namespace rv
