#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/image.h"
#include "configfile/difference.h"
#include "link/exchange.h"

namespace rv {

// The journal of writes: one JSON object per line (JSON Lines), only ever appended to, each
// entry written whole (see docs/line-file.md). A line's journal sits beside its file; writes
// made without a line file go to the user's own journal.

// Which write an entry records.
enum class WriteKind { Configuration, Password, Network, Relays };

// The instrument a write went to, and the port it went through.
struct WriteTarget {
    std::string Port;  // the device
    uint32_t NetNumber = 0;
    std::string Model;  // "RV7406", "RV7408", "RV740x"; empty when not known
    uint32_t Id = 0;    // 0 when not known
};

struct JournalEntry {
    std::string Time;     // UTC, "YYYY-MM-DDTHH:MM:SSZ"
    std::string Account;  // who was logged in
    std::string Port;
    uint32_t NetNumber = 0;
    std::string Model;
    uint32_t Id = 0;
    std::string Operation;  // the write, in the window's words ("Запись конфигурации", ...)
    std::string Result;  // "Выполнено", "Остановлено" or the failure's status text
    // Each changed setting: `left` the value before the write, `right` after it.
    std::vector<FieldDifference> Changes;

    friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

// The entry of one write, from the instrument's image before the write and after it (what
// it holds now: for a write cut short, the parts confirmed). Every writer builds its entry
// here: the time is now and the account the program's.
JournalEntry MakeWriteEntry(WriteKind kind, const WriteTarget& target, const ConfigImage& before,
                            const ConfigImage& after, Outcome outcome, int32_t status);

// "Выполнено", "Остановлено", or the status text of the failure.
std::string ResultText(Outcome outcome, int32_t status);

// One entry as one line of JSON, with its newline.
std::string FormatJournalEntry(const JournalEntry& entry);
// Reads one line; on failure `error` says why (Russian) and `entry` is unchanged.
bool ParseJournalEntry(std::string_view line, JournalEntry& entry, std::string& error);

// Appends the entry to the journal at `path`, making its folder when missing. On failure
// `error` says why (Russian); the journal is as it was or holds the whole entry.
bool AppendJournalEntry(const std::string& path, const JournalEntry& entry, std::string& error);

struct JournalContents {
    bool ok = false;    // false: the file exists but cannot be read at all
    std::string error;  // then why
    std::vector<JournalEntry> entries;
    std::vector<size_t> lineNumbers;  // of each entry, from 1
    // Lines that are no entry (cut short by a crash, or edited), each "«path», строка N: why";
    // they are skipped and the rest is read.
    std::vector<std::string> problems;
};

// Reads a journal; a missing file is an empty journal.
JournalContents ReadJournal(const std::string& path);

// The user's own journal: "journal.jsonl" in UserDataDirectory(); "" when there is none.
std::string DefaultJournalPath();

// Whether an entry is about the instrument with this model and identification value or,
// when the ID is not known (0), about the instrument at network number `net`.
bool EntryConcerns(const JournalEntry& entry, const std::string& model, uint32_t id, uint32_t net);

// The operation's name of a write kind, as the entry gives it.
std::string OperationName(WriteKind kind);

}  // namespace rv
