// The line overview's pieces on a real line: the table sorted and filtered, a tag typed in,
// the history of an instrument changed between two backups, the journal filtered by
// instrument, and the PDF line report.

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "line/journal.h"
#include "line/line_jobs.h"
#include "line/line_table.h"
#include "sim_harness.h"
#include "twelve_line.h"
#include "ui/history_window.h"
#include "ui/journal_window.h"
#include "ui/line_report.h"
#include "ui/line_table_model.h"

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

const std::vector<unsigned> kNets{1, 2, 5, 7, 10};

std::vector<std::string> setupsOf(const std::vector<unsigned>& nets) {
    std::vector<std::string> all = rv::test::TwelveSetups();
    std::vector<std::string> chosen;
    for (unsigned net : nets) chosen.push_back(all[net - 1]);
    return chosen;
}

}  // namespace

class LineViewsTest : public QObject {
    Q_OBJECT

    rv::test::TempDir dir;
    std::unique_ptr<rv::test::SimProcess> sim;
    rv::Link link;
    std::vector<rv::LineRow> rows;
    std::string copies;
    std::string journal;

    std::vector<rv::LineInstrument> only(unsigned net) {
        for (const rv::LineRow& r : rows)
            if (r.instrument.NetNumber == net) return {r.instrument};
        return {};
    }

  private slots:
    void initTestCase() {
        sim = std::make_unique<rv::test::SimProcess>(setupsOf(kNets));
        QVERIFY2(sim->started(), sim->error().c_str());
        link.Device = sim->linkPath();
        const std::string path = dir.path() + "/котельная.rv740x-line.json";
        std::ofstream(path) << rv::test::TwelveLineFile(sim->linkPath(), kNets);
        rv::LineFile line;
        QVERIFY(rv::LoadLineFile(path, line).ok);
        copies = rv::CopiesFolderOf(path, line);
        journal = rv::JournalPathOf(path);
        rows = rv::RowsOfLine(line, copies);

        // Two backups with a write to instrument 1 between them, then a comparison after
        // another change: two versions, a journal entry, a difference.
        const auto backup = rv::BackupInstruments(link, rv::InstrumentsOf(rows), copies, {});
        for (const auto& r : backup.results) rv::TakeResult(rows, r, rv::JobKind::Backup);
        rv::WriteSource source;
        rv::InstrumentRecord record;
        rv::AddressInstrument(link, only(1)[0]);
        QCOMPARE(rv::ReadConfiguration(link, source.image, {}, &record), rv::Outcome::Done);
        source.identity = rv::IdentityOf(source.image, record.Family);
        source.image.Channels[0].Ustav1 = rv::MakeWorkingReal(61);
        QCOMPARE(rv::WriteInstruments(link, only(1), source, journal, {}).outcome,
                 rv::Outcome::Done);
        QCOMPARE(rv::BackupInstruments(link, only(1), copies, {}).outcome, rv::Outcome::Done);
        source.image.Channels[0].Ustav2 = rv::MakeWorkingReal(62);
        QCOMPARE(rv::WriteInstruments(link, only(1), source, journal, {}).outcome,
                 rv::Outcome::Done);
        const auto compared = rv::CompareWithCopies(link, rv::InstrumentsOf(rows), copies, {});
        for (const auto& r : compared.results) rv::TakeResult(rows, r, rv::JobKind::Compare);
    }

    void tableSortsFiltersAndTakesATag() {
        LineTableModel model;
        model.setRows(rows);
        LineFilterModel shown;
        shown.setSourceModel(&model);
        const auto column = [&](int c) {
            QStringList cells;
            for (int r = 0; r < shown.rowCount(); ++r) cells << shown.index(r, c).data().toString();
            return cells;
        };
        QCOMPARE(shown.headerData(7, Qt::Horizontal).toString(), utf8("Как в копии"));
        QCOMPARE(column(0), (QStringList{"1", "2", "5", "7", "10"}));
        QCOMPARE(column(5), (QStringList{utf8("отвечает"), utf8("отвечает"), utf8("отвечает"),
                                         utf8("нет ответа"), utf8("отвечает")}));
        QCOMPARE(column(7).at(0), utf8("1 различие"));

        shown.sort(0, Qt::DescendingOrder);
        QCOMPARE(column(0), (QStringList{"10", "7", "5", "2", "1"}));
        // By speed, as numbers: 4800 before 9600.
        shown.sort(4, Qt::AscendingOrder);
        QCOMPARE(column(4).mid(0, 2), (QStringList{"4800", "4800"}));
        shown.sort(0, Qt::AscendingOrder);

        shown.setFilterText(utf8("котёл"));
        QCOMPARE(column(0), (QStringList{"1", "2", "7", "10"}));
        shown.setFilterText("1");
        QCOMPARE(column(0), (QStringList{"1"}));
        shown.setFilterText(utf8("ГВС"));
        QCOMPARE(column(0), (QStringList{"5"}));
        shown.setFilterText({});

        QSignalSpy edited(&model, &LineTableModel::tagEdited);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(shown.setData(shown.index(3, 8), utf8("  Котёл 2, обратка "), Qt::EditRole));
        QCOMPARE(edited.count(), 1);
        QCOMPARE(model.rows()[3].instrument.Tag, std::string("Котёл 2, обратка"));
    }

    void historyListsVersionsAndComparesAnyTwo() {
        const rv::LineInstrument one = only(1)[0];
        HistoryWindow window(one, rv::LoadHistory(copies, one.Model, one.Id));
        QCOMPARE(window.versions()->rowCount(), 2);
        QCOMPARE(window.versions()->item(1, 4)->text(), utf8("1 различие"));
        QVERIFY(window.problems()->text().isEmpty());
        // The newest version is shown: set point 1 of channel 1 went to 61.
        QCOMPARE(window.changes()->rowCount(), 1);
        QCOMPARE(window.changes()->item(0, 1)->text(), utf8("Уставка 1"));
        QCOMPARE(window.changes()->item(0, 3)->text(), utf8("61"));
        window.firstVersion()->setCurrentIndex(1);
        window.secondVersion()->setCurrentIndex(1);
        window.compareButton()->click();
        QCOMPARE(window.changes()->rowCount(), 0);
        window.versions()->setCurrentCell(0, 0);
        QVERIFY(window.findChild<QLabel*>("HistoryCaption")->text().contains(utf8("первая копия")));
    }

    void journalIsFilteredByInstrument() {
        std::vector<rv::LineInstrument> instruments = rv::InstrumentsOf(rows);
        rv::WriteSource source;
        rv::InstrumentRecord record;
        rv::AddressInstrument(link, only(5)[0]);
        QCOMPARE(rv::ReadConfiguration(link, source.image, {}, &record), rv::Outcome::Done);
        source.identity = rv::IdentityOf(source.image, record.Family);
        QCOMPARE(rv::WriteInstruments(link, only(5), source, journal, {}).outcome,
                 rv::Outcome::Done);

        JournalWindow window(QString::fromStdString(journal), rv::ReadJournal(journal),
                             instruments);
        QCOMPARE(window.entries()->rowCount(), 3);
        // Newest first: the write to 5 changed nothing.
        QCOMPARE(window.entries()->item(0, 3)->text(), utf8("5"));
        QCOMPARE(window.entries()->item(0, 8)->text(), utf8("0"));
        QCOMPARE(window.filter()->count(), 6);
        window.filter()->setCurrentIndex(1);  // instrument 1
        QCOMPARE(window.entries()->rowCount(), 2);
        QCOMPARE(window.entries()->item(0, 7)->text(), utf8("Выполнено"));
        QCOMPARE(window.changes()->rowCount(), 1);
        QCOMPARE(window.changes()->item(0, 1)->text(), utf8("Уставка 2"));
        QCOMPARE(window.changes()->item(0, 3)->text(), utf8("62"));
    }

    void reportHoldsTheTableThenEachInstrument() {
        const QString pdf = QString::fromStdString(dir.path()) + "/линия.pdf";
        QString error;
        QVERIFY2(WriteLineReport(pdf, utf8("котельная"), QString::fromStdString(sim->linkPath()),
                                 LineReportInstruments(rows, copies), error),
                 qPrintable(error));
        QProcess pdftotext;
        pdftotext.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY2(pdftotext.waitForFinished(30000), "pdftotext (poppler-utils) did not run");
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
        const QStringList inOrder{utf8("Отчёт о линии «котельная»"),
                                  utf8("Номер Модель Версия ID"),
                                  utf8("Прибор 1 — Котёл 1; подача"),
                                  utf8("Каналы по копии"),
                                  utf8("Отличия прибора от копии"),
                                  utf8("Уставка 2"),
                                  utf8("Прибор 2 — Котёл 1, \"обратка\""),
                                  utf8("Прибор 5 — ГВС"),
                                  utf8("Прибор 7 — Котёл 2, подача"),
                                  utf8("нет ответа"),
                                  utf8("Прибор 10 — Котёл 3")};
        qsizetype at = 0;
        for (const QString& part : inOrder) {
            const qsizetype found = text.indexOf(part, at);
            QVERIFY2(found >= 0, qPrintable(part + "\n" + text));
            at = found + part.size();
        }
    }
};

QTEST_MAIN(LineViewsTest)
#include "line_views_test.moc"
