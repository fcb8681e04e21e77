#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "line/line_file.h"
#include "line/line_jobs.h"
#include "line/line_search.h"

namespace rv {

// The table of a line: one row per instrument, with what the program has learnt of it since
// the line was opened. The window's table and the command line's show the same texts.

enum class RowState { Unchecked, Answers, NoAnswer, Failed };

struct LineRow {
    LineInstrument instrument;
    std::string firmware;  // UTF-8; empty while not read
    RowState state = RowState::Unchecked;
    int32_t status = 0;    // the failure, for Failed and NoAnswer
    std::string lastCopy;  // the date of its last copy, "DD.MM.YYYY"; empty: none known
    // "как в копии": what the last backup or comparison found.
    enum class CopyMatch { Unknown, NoCopy, Same, Unchanged, Differs } match = CopyMatch::Unknown;
    size_t differences = 0;                       // for Differs
    std::vector<FieldDifference> differenceList;  // the copy (left) against the instrument
};

// The table's columns, in order.
enum class LineColumn {
    Number,
    Model,
    Firmware,
    Id,
    Speed,
    State,
    LastCopy,
    AsInCopy,
    Tag,
};
inline constexpr size_t kLineColumnCount = 9;
// Their headings: "Номер", "Модель", "Версия", "ID", "Скорость, бод", "Состояние",
// "Последняя копия", "Как в копии", "Метка".
const std::array<const char*, kLineColumnCount>& LineColumnTitles();

// A row's text in each column.
std::vector<std::string> RowTexts(const LineRow& row);
std::string StateText(const LineRow& row);  // "не проверен", "отвечает", "нет ответа", ...
std::string MatchText(const LineRow& row);  // "да", "3 различия", "нет копии", ...

// The rows of a line as opened: every instrument unchecked, with the date of its last copy
// when the copies folder has one.
std::vector<LineRow> RowsOfLine(const LineFile& line, const std::string& copiesFolder);

// The instruments of rows, for a job or the line file.
std::vector<LineInstrument> InstrumentsOf(const std::vector<LineRow>& rows);

// Takes an instrument a search found into the table: the row of the same instrument (same
// model and ID) is updated, else the row at its number when that row's instrument is not
// known to be another; otherwise a row is added at the end. Returns the index of the row.
size_t TakeFound(std::vector<LineRow>& rows, const FoundInstrument& found);

// After a search, finished or stopped: the rows it asked for (their number at their speed)
// and did not hear are marked as not answering, rows it never asked for stay as they were, and
// a row whose number another instrument answered at is dropped, so that each number is in one
// row; the rows end sorted by number.
void MarkUnanswered(std::vector<LineRow>& rows, const SpeedSearchResult& search);

// Takes a job's result for one instrument into its row (found by network number).
void TakeResult(std::vector<LineRow>& rows, const InstrumentResult& result, JobKind kind);

// The table as CSV for a spreadsheet: UTF-8 with a byte order mark, ';' between cells, CRLF
// line ends, the headings first; a cell with ';', '"' or a line break is quoted.
std::string LineTableCsv(const std::vector<LineRow>& rows);
bool SaveLineTableCsv(const std::string& path, const std::vector<LineRow>& rows,
                      std::string& error);

}  // namespace rv
