#include "line/line_table.h"

#include <algorithm>

#include "fileio/atomic_file.h"
#include "link/status.h"

namespace rv {

namespace {

void sortByNumber(std::vector<LineRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const LineRow& a, const LineRow& b) {
        return a.instrument.NetNumber < b.instrument.NetNumber;
    });
}

size_t indexOf(const std::vector<LineRow>& rows, const LineRow* row) {
    return static_cast<size_t>(row - rows.data());
}

LineRow* rowOfNumber(std::vector<LineRow>& rows, uint32_t net) {
    for (LineRow& row : rows)
        if (row.instrument.NetNumber == net) return &row;
    return nullptr;
}

std::string csvCell(const std::string& text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Whether TakeFound put `found` in this row.
bool isRowOf(const LineRow& row, const FoundInstrument& found) {
    if (row.instrument.NetNumber != found.netNumber || row.state != RowState::Answers) return false;
    return !found.identified ||
           (row.instrument.Id == found.id && row.instrument.Model == found.model);
}

bool wasFound(const std::vector<FoundInstrument>& found, uint32_t net) {
    return std::any_of(found.begin(), found.end(),
                       [net](const FoundInstrument& f) { return f.netNumber == net; });
}

}  // namespace

const std::array<const char*, kLineColumnCount>& LineColumnTitles() {
    static const std::array<const char*, kLineColumnCount> titles{
        "Номер",     "Модель",          "Версия",      "ID",   "Скорость, бод",
        "Состояние", "Последняя копия", "Как в копии", "Метка"};
    return titles;
}

std::string StateText(const LineRow& row) {
    switch (row.state) {
        case RowState::Unchecked:
            return "не проверен";
        case RowState::Answers:
            return "отвечает";
        case RowState::NoAnswer:
            return "нет ответа";
        case RowState::Failed:
            return StatusText(static_cast<uint32_t>(row.status));
    }
    return {};
}

std::string MatchText(const LineRow& row) {
    switch (row.match) {
        case LineRow::CopyMatch::Unknown:
            return {};
        case LineRow::CopyMatch::NoCopy:
            return "нет копии";
        case LineRow::CopyMatch::Same:
            return "да";
        case LineRow::CopyMatch::Unchanged:
            return "без изменений с " + row.lastCopy;
        case LineRow::CopyMatch::Differs:
            return DifferenceCountText(row.differences);
    }
    return {};
}

std::vector<std::string> RowTexts(const LineRow& row) {
    const LineInstrument& m = row.instrument;
    return {std::to_string(m.NetNumber),
            m.Model,
            row.firmware,
            IdText(m.Id),
            std::to_string(m.BaudRate),
            StateText(row),
            row.lastCopy,
            MatchText(row),
            m.Tag};
}

std::vector<LineRow> RowsOfLine(const LineFile& line, const std::string& copiesFolder) {
    std::vector<LineRow> rows;
    rows.reserve(line.Instruments.size());
    for (const LineInstrument& m : line.Instruments) {
        LineRow row;
        row.instrument = m;
        if (m.Id != 0) row.lastCopy = LastCopyDate(copiesFolder, m.Model, m.Id);
        rows.push_back(std::move(row));
    }
    sortByNumber(rows);
    return rows;
}

std::vector<LineInstrument> InstrumentsOf(const std::vector<LineRow>& rows) {
    std::vector<LineInstrument> instruments;
    instruments.reserve(rows.size());
    for (const LineRow& row : rows) instruments.push_back(row.instrument);
    return instruments;
}

size_t TakeFound(std::vector<LineRow>& rows, const FoundInstrument& found) {
    LineRow* row = nullptr;
    if (found.identified) {
        for (LineRow& r : rows) {
            if (r.instrument.Id == found.id && r.instrument.Model == found.model) row = &r;
        }
    }
    if (row == nullptr) {
        LineRow* atNumber = rowOfNumber(rows, found.netNumber);
        // Another instrument that was known there gets a row of its own.
        const bool other = atNumber != nullptr && found.identified && atNumber->instrument.Id != 0;
        if (atNumber != nullptr && !other) row = atNumber;
    }
    if (row == nullptr) {
        rows.emplace_back();
        row = &rows.back();
    }
    row->instrument.NetNumber = found.netNumber;
    row->instrument.BaudRate = found.baud;
    if (found.identified) {
        row->instrument.Model = found.model;
        row->instrument.Id = found.id;
    }
    if (found.versionStatus == 0) row->firmware = found.version;
    row->state = RowState::Answers;
    row->status = 0;
    return indexOf(rows, row);
}

void MarkUnanswered(std::vector<LineRow>& rows, const SpeedSearchResult& search) {
    const std::vector<FoundInstrument>& found = search.found;
    std::vector<LineRow> kept;
    kept.reserve(rows.size());
    for (LineRow& row : rows) {
        const bool answered = std::any_of(
            found.begin(), found.end(), [&](const FoundInstrument& f) { return isRowOf(row, f); });
        const uint32_t net = row.instrument.NetNumber;
        // Another instrument answered at its number: the row is gone (its copies stay in
        // the instrument's own folder).
        if (!answered && wasFound(found, net)) continue;
        if (!answered && WasAsked(search, net, SpeedIndexOfBaud(row.instrument.BaudRate))) {
            row.state = RowState::NoAnswer;
            row.status = status::kNoReply;
        }
        kept.push_back(std::move(row));
    }
    rows = std::move(kept);
    sortByNumber(rows);
}

void TakeResult(std::vector<LineRow>& rows, const InstrumentResult& result, JobKind kind) {
    LineRow* row = rowOfNumber(rows, result.instrument.NetNumber);
    if (row == nullptr || result.outcome == Outcome::Cancelled) return;
    if (result.outcome == Outcome::Failed) {
        row->state = result.status == status::kNoReply ? RowState::NoAnswer : RowState::Failed;
        row->status = result.status;
        return;
    }
    row->state = RowState::Answers;
    row->status = 0;
    if (!result.instrument.Model.empty()) row->instrument.Model = result.instrument.Model;
    if (result.instrument.Id != 0) row->instrument.Id = result.instrument.Id;
    if (!result.firmware.empty()) row->firmware = result.firmware;
    switch (kind) {
        case JobKind::Backup:
            if (!result.copy.ok) break;
            row->lastCopy = LocalDateOfStamp(result.copy.savedAt);
            row->match =
                result.copy.newVersion ? LineRow::CopyMatch::Same : LineRow::CopyMatch::Unchanged;
            row->differences = 0;
            row->differenceList.clear();
            break;
        case JobKind::Compare:
            row->differenceList = result.differences;
            row->differences = result.differences.size();
            if (!result.compared) {
                row->match = LineRow::CopyMatch::NoCopy;
            } else {
                row->lastCopy = LocalDateOfStamp(result.copySavedAt);
                row->match = result.differences.empty() ? LineRow::CopyMatch::Same
                                                        : LineRow::CopyMatch::Differs;
            }
            break;
        case JobKind::Preview:
            break;
        case JobKind::Write:
            // What the instrument holds now is for a comparison to tell.
            if (!result.skipped) row->match = LineRow::CopyMatch::Unknown;
            break;
    }
}

std::string LineTableCsv(const std::vector<LineRow>& rows) {
    std::string text = "\xEF\xBB\xBF";
    const auto line = [&text](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) text += ';';
            text += csvCell(cells[i]);
        }
        text += "\r\n";
    };
    const auto& titles = LineColumnTitles();
    line(std::vector<std::string>(titles.begin(), titles.end()));
    for (const LineRow& row : rows) line(RowTexts(row));
    return text;
}

bool SaveLineTableCsv(const std::string& path, const std::vector<LineRow>& rows,
                      std::string& error) {
    AtomicWriteError failure;
    if (WriteFileAtomically(path, LineTableCsv(rows), failure)) return true;
    error = AtomicWriteErrorText(path, failure);
    return false;
}

}  // namespace rv
