// The line's table after a backup of the twelve, exported as CSV for a spreadsheet and read
// back cell by cell.

#include "line/line_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "line/line_jobs.h"
#include "sim_harness.h"
#include "twelve_line.h"

namespace rv {
namespace {

using test::Member;

// A spreadsheet's reading of the text: cells split at ';' outside quotes, "" inside quotes
// standing for one quote, rows ended by CRLF.
std::vector<std::vector<std::string>> readCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                rows.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.emplace_back(1);
            ++i;
        } else {
            rows.back().back() += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

TEST(LineTable, TheCsvOfABackedUpLineReadsBackAsTheTable) {
    test::SimProcess sim(test::TwelveSetups());
    ASSERT_TRUE(sim.started()) << sim.error();
    test::TempDir dir;
    LineFile line;
    line.Port = sim.linkPath();
    for (const test::TwelveMember& m : test::TwelveLine())
        line.Instruments.push_back({m.net, m.baud, 0, {}, m.tag});
    std::vector<LineRow> rows = RowsOfLine(line, dir.path());

    Link link;
    link.Device = sim.linkPath();
    const JobOutcome job = BackupInstruments(link, InstrumentsOf(rows), dir.path(), {});
    ASSERT_EQ(job.outcome, Outcome::Done);
    for (const InstrumentResult& r : job.results) TakeResult(rows, r, JobKind::Backup);
    const std::string path = dir.path() + "/линия.csv";
    std::string error;
    ASSERT_TRUE(SaveLineTableCsv(path, rows, error)) << error;

    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    const auto table = readCsv(text.substr(3));
    ASSERT_EQ(table.size(), 13u);
    EXPECT_EQ(table[0],
              (std::vector<std::string>{"Номер", "Модель", "Версия", "ID", "Скорость, бод",
                                        "Состояние", "Последняя копия", "Как в копии", "Метка"}));
    for (size_t i = 1; i < table.size(); ++i) {
        const test::TwelveMember& m = Member(static_cast<unsigned>(i));
        const auto& cells = table[i];
        SCOPED_TRACE("instrument " + std::to_string(m.net));
        ASSERT_EQ(cells.size(), 9u);
        EXPECT_EQ(cells[0], std::to_string(m.net));
        EXPECT_EQ(cells[4], std::to_string(m.baud));
        EXPECT_EQ(cells[8], m.tag);
        if (m.net == 7) {
            EXPECT_EQ(cells[5], "нет ответа");
            EXPECT_EQ(cells[1], "");
            continue;
        }
        if (m.net == 8) {
            EXPECT_EQ(cells[5], "Ошибка памяти данных");
            continue;
        }
        EXPECT_EQ(cells[1], m.model);
        EXPECT_EQ(cells[2], m.net == 6 ? "2.10" : "2.07");
        EXPECT_EQ(cells[3], test::IdHex(m.id));
        EXPECT_EQ(cells[5], "отвечает");
        EXPECT_EQ(cells[7], "да");
        EXPECT_EQ(cells[6].size(), 10u);
    }
}

}  // namespace
}  // namespace rv
