// The line overview driven through its buttons on a simulated line: a line file opened, the
// search, the copies, a change made behind the program's back found by the comparison, the
// main window's write and a write to several instruments in the journal.

#include "ui/line_window.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <future>

#include "config/device_float.h"
#include "config/transfer.h"
#include "line/journal.h"
#include "line/line_table.h"
#include "link/timeouts.h"
#include "twelve_line.h"
#include "ui/config_file_menu.h"
#include "ui/difference_window.h"
#include "ui/history_window.h"
#include "ui/journal_window.h"
#include "ui/line_job_dialog.h"
#include "ui/line_menu.h"
#include "ui/line_table_model.h"
#include "ui/main_menu.h"
#include "window_fixture.h"

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

// Instruments 1 and 5 are RV7408 at 9600 and 4800 baud, 2 an RV7406 at 9600.
const std::vector<unsigned> kNets{1, 2, 5};

std::vector<std::string> setups() {
    const std::vector<std::string> all = rv::test::TwelveSetups();
    std::vector<std::string> chosen;
    for (unsigned net : kNets) chosen.push_back(all[net - 1]);
    return chosen;
}

}  // namespace

class LineWindowTest : public QObject, private WindowFixture {
    Q_OBJECT

    rv::test::TempDir dir;
    std::unique_ptr<rv::test::SimProcess> sim;

    LineWindow& lineWindow() { return form->lineMenu()->lineWindow(); }

    // The cells of one column as the table shows them, top to bottom.
    QStringList column(rv::LineColumn c) {
        QStringList cells;
        const QAbstractItemModel* shown = lineWindow().table()->model();
        for (int r = 0; r < shown->rowCount(); ++r)
            cells << shown->index(r, static_cast<int>(c)).data().toString();
        return cells;
    }

    void click(const char* button) {
        auto* b = lineWindow().findChild<QPushButton*>(button);
        QVERIFY(b != nullptr);
        QVERIFY2(b->isEnabled(), button);
        b->click();
        QTRY_VERIFY_WITH_TIMEOUT(!lineWindow().jobRunning(), 120000);
    }

    // The instrument at `net` as a session of the test's own reads it, and writes it back
    // after `change` when one is given; off the window's thread, which never waits on the line.
    rv::ConfigImage behindTheBack(unsigned net,
                                  const std::function<void(rv::ConfigImage&)>& change = {}) {
        return std::async(
                   std::launch::async,
                   [this, net, change] {
                       rv::Link link;
                       link.Device = sim->linkPath();
                       link.NetNumber = net;
                       link.applySpeedIndex(rv::SpeedIndexOfBaud(rv::test::Member(net).baud));
                       rv::ConfigImage image;
                       if (rv::ReadConfiguration(link, image, {}) != rv::Outcome::Done)
                           image.LoadedId = 0;
                       if (change) {
                           change(image);
                           if (rv::WriteConfiguration(link, image, {}) != rv::Outcome::Done)
                               image.LoadedId = 0;
                       }
                       return image;
                   })
            .get();
    }

  private slots:
    void initTestCase() {
        sim = std::make_unique<rv::test::SimProcess>(setups());
        QVERIFY2(sim->started(), sim->error().c_str());
    }
    void init() { createWindow(); }
    void cleanup() { destroyWindow(); }

    void tableDrivenThroughItsButtons() {
        useLine(*sim);
        const std::string linePath = dir.path() + "/котельная.rv740x-line.json";
        std::ofstream(linePath) << rv::test::TwelveLineFile(sim->linkPath(), {1});
        const std::string badPath = dir.path() + "/битая.rv740x-line.json";
        std::ofstream(badPath) << "{\n  \"format\": \"rv740x-line\",\n  \"instruments\": [\n";

        // "Файл" → "Открыть линию…": the table at once, unchecked.
        LineMenu& menu = *form->lineMenu();
        QString answer = QString::fromStdString(linePath);
        menu.chooseOpenPath = [&answer](const QString&) { return answer; };
        menu.openLineAction()->trigger();
        LineWindow& window = lineWindow();
        QVERIFY(window.isVisible());
        QCOMPARE(column(rv::LineColumn::Number), QStringList{"1"});
        QCOMPARE(column(rv::LineColumn::State), QStringList{utf8("не проверен")});
        QCOMPARE(menu.recentLines().paths().value(0), QString::fromStdString(linePath));

        // A bad file names itself and the place; the line open stays.
        answer = QString::fromStdString(badPath);
        menu.openLineAction()->trigger();
        QCOMPARE(errors().size(), 1);
        QVERIFY2(errors().at(0).contains(utf8("битая.rv740x-line.json")), qPrintable(errors()[0]));
        QVERIFY2(errors().at(0).contains(utf8("строка")), qPrintable(errors()[0]));
        QCOMPARE(window.linePath(), QFileInfo(QString::fromStdString(linePath)).absoluteFilePath());
        QCOMPARE(column(rv::LineColumn::Number), QStringList{"1"});

        // The search at the two speeds the line runs at finds every instrument; the row of 1
        // is updated, its tag kept, not doubled.
        window.setSearchSpeeds({rv::SpeedIndexOfBaud(4800), rv::SpeedIndexOfBaud(9600)});
        window.setSearchRange(1, 6);
        click("SearchButton");
        QCOMPARE(column(rv::LineColumn::Number), (QStringList{"1", "2", "5"}));
        QCOMPARE(column(rv::LineColumn::Model), (QStringList{"RV7408", "RV7406", "RV7408"}));
        QCOMPARE(column(rv::LineColumn::Id), (QStringList{"0A0001", "0A0002", "0A0005"}));
        QCOMPARE(column(rv::LineColumn::Speed), (QStringList{"9600", "9600", "4800"}));
        QCOMPARE(column(rv::LineColumn::State),
                 (QStringList{utf8("отвечает"), utf8("отвечает"), utf8("отвечает")}));
        QCOMPARE(column(rv::LineColumn::Tag).at(0), utf8("Котёл 1; подача"));
        QCOMPARE(window.jobDialog()->results()->count(), 3);

        // "Сохранить линию…" keeps what the search learnt; the file opens back the same.
        const QString savedLine = QString::fromStdString(dir.path()) + "/найдено";
        menu.chooseSavePath = [&savedLine](const QString&) { return savedLine; };
        menu.saveLineAction()->trigger();
        QCOMPARE(window.linePath(), savedLine + ".rv740x-line.json");
        rv::LineFile reread;
        QVERIFY(rv::LoadLineFile((savedLine + ".rv740x-line.json").toStdString(), reread).ok);
        QCOMPARE(reread.Instruments.size(), size_t{3});
        QCOMPARE(reread.Instruments[2].Id, uint32_t{0x0A0005});
        QCOMPARE(reread.Instruments[2].BaudRate, 4800u);
        QCOMPARE(reread.Instruments[0].Tag, std::string("Котёл 1; подача"));
        QCOMPARE(menu.recentLines().paths().value(0), savedLine + ".rv740x-line.json");

        // The table as CSV for a Russian spreadsheet: a byte order mark, ';' between cells, a
        // cell holding ';' quoted.
        const QString csv = QString::fromStdString(dir.path()) + "/линия.csv";
        window.chooseCsvPath = [&csv](const QString&) { return csv; };
        window.findChild<QPushButton*>("CsvButton")->click();
        QFile csvFile(csv);
        QVERIFY(csvFile.open(QIODevice::ReadOnly));
        const QByteArray bytes = csvFile.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QStringList csvLines =
            QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(csvLines.size(), 4);
        QVERIFY2(csvLines[0].startsWith(utf8("Номер;Модель;Версия;ID;")), qPrintable(csvLines[0]));
        QVERIFY2(csvLines[1].startsWith("1;RV7408;"), qPrintable(csvLines[1]));
        QVERIFY2(csvLines[1].endsWith(utf8(";\"Котёл 1; подача\"")), qPrintable(csvLines[1]));

        // "Сохранить копии": one first copy per instrument, in a folder named by model and ID.
        click("BackupButton");
        const std::filesystem::path copies(window.copiesFolder());
        for (const char* folder : {"RV7408_0A0001", "RV7406_0A0002", "RV7408_0A0005"}) {
            const std::filesystem::path p = copies / folder;
            QVERIFY2(std::filesystem::is_directory(p), folder);
            QCOMPARE(std::distance(std::filesystem::directory_iterator(p), {}), 1L);
        }

        // Set point 1 of channel 1 of instrument 2 changed behind the program's back: the
        // comparison finds one difference there and none elsewhere.
        QVERIFY(behindTheBack(2, [](rv::ConfigImage& image) {
                    image.Channels[0].Ustav1 = rv::MakeWorkingReal(42.5L);
                }).LoadedId != 0);
        click("CompareButton");
        QCOMPARE(column(rv::LineColumn::AsInCopy),
                 (QStringList{utf8("да"), utf8("1 различие"), utf8("да")}));

        // A double click on the difference count shows it: the copy's 25 against the 42.5 now.
        emit window.table()->doubleClicked(window.table()->model()->index(1, 7));
        QVERIFY(window.differenceWindow() != nullptr);
        QTableWidget* differences = window.differenceWindow()->table();
        QCOMPARE(differences->rowCount(), 1);
        QCOMPARE(differences->item(0, 1)->text(), utf8("Уставка 1"));
        QCOMPARE(differences->item(0, 2)->text(), utf8("25"));
        QCOMPARE(differences->item(0, 3)->text(), utf8("42.5"));

        // A second backup makes instrument 2 a second version; "История…" on its row lists
        // both, the second with that one change.
        click("BackupButton");
        window.table()->setCurrentIndex(window.table()->model()->index(1, 0));
        window.findChild<QPushButton*>("HistoryButton")->click();
        QCOMPARE(window.historyWindow()->versions()->rowCount(), 2);
        QTableWidget* changed = window.historyWindow()->changes();
        QCOMPARE(changed->rowCount(), 1);
        QCOMPARE(changed->item(0, 1)->text() + changed->item(0, 3)->text(), utf8("Уставка 142.5"));

        // The filter finds a tag in any letter case, or a number.
        window.filterEdit()->setText(utf8("КОТЁЛ"));
        QCOMPARE(column(rv::LineColumn::Number), QStringList{"1"});
        window.filterEdit()->setText("5");
        QCOMPARE(column(rv::LineColumn::Number), QStringList{"5"});
        window.filterEdit()->clear();

        // A double click on the number: the main window reads instrument 5.
        QTableView* table = window.table();
        const QModelIndex five = table->model()->index(2, 0);
        boxes->answers = {true};
        emit table->doubleClicked(five);
        QCOMPARE(form->image().LoadedId, uint32_t{0x0A0005});
        QCOMPARE(settings().NetNumber, 5u);

        // The main window writes a changed set point: the line's journal gets its entry.
        form->image().Channels[0].Ustav1 = rv::MakeWorkingReal(77);
        form->windowImage().edited();
        boxes->answers = {true};
        transfer().BtnSaveClick();
        const std::string journal = rv::JournalPathOf(window.linePath().toStdString());
        rv::JournalContents written = rv::ReadJournal(journal);
        QCOMPARE(written.entries.size(), size_t{1});
        const rv::JournalEntry& entry = written.entries[0];
        QCOMPARE(entry.NetNumber, 5u);
        QCOMPARE(entry.Model, std::string("RV7408"));
        QCOMPARE(entry.Id, uint32_t{0x0A0005});
        QCOMPARE(entry.Result, std::string("Выполнено"));
        QCOMPARE(entry.Changes.size(), size_t{1});
        QCOMPARE(entry.Changes[0].field, std::string("Уставка 1"));
        QCOMPARE(entry.Changes[0].right, std::string("77"));

        // The configuration report sets the last copy against the instrument after the write.
        const QString pdf = QString::fromStdString(dir.path()) + "/отчёт.pdf";
        form->configFileMenu()->chooseReportPath = [&pdf](const QString&) { return pdf; };
        boxes->answers = {true};
        form->configFileMenu()->saveReport();
        QVERIFY2(errors().size() == 1, qPrintable(errors().join("; ")));  // the bad line file
        QProcess pdftotext;
        pdftotext.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY2(pdftotext.waitForFinished(30000), "pdftotext (poppler-utils) did not run");
        const QString report = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
        const qsizetype beforeAfter = report.indexOf(utf8("Как было / как стало (копия от"));
        QVERIFY2(beforeAfter >= 0, qPrintable(report));
        QVERIFY2(report.indexOf(utf8("Уставка 1"), beforeAfter) > beforeAfter, qPrintable(report));
        QVERIFY2(report.indexOf(utf8("77"), beforeAfter) > beforeAfter, qPrintable(report));

        // The window's configuration to instruments 1 and 2: the preview warns of 2's model, the
        // write to it is refused when asked, 1 is written and keeps its number.
        QItemSelectionModel* selection = table->selectionModel();
        selection->select(table->model()->index(0, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(table->model()->index(1, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        std::vector<rv::InstrumentResult> preview;
        window.confirmWrite = [&preview](const std::vector<rv::InstrumentResult>& results) {
            preview = results;
            return true;
        };
        boxes->answers = {false};
        window.findChild<QAction*>("WriteWindowAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.jobRunning() && !preview.empty(), 120000);
        QTRY_VERIFY_WITH_TIMEOUT(!window.jobRunning() && !line().busy(), 120000);
        QCOMPARE(preview.size(), size_t{2});
        QVERIFY(preview[0].identityWarnings.empty());
        QVERIFY(!preview[1].identityWarnings.empty());
        QCOMPARE(behindTheBack(1).Channels[0].Ustav1.toDouble(), 77.0);
        QCOMPARE(behindTheBack(2).Channels[0].Ustav1.toDouble(), 42.5);
        written = rv::ReadJournal(journal);
        QCOMPARE(written.entries.size(), size_t{2});
        QCOMPARE(written.entries[1].NetNumber, 1u);
        QCOMPARE(written.entries[1].Id, uint32_t{0x0A0001});

        // "Журнал…" on the row of 5 shows 5's write alone, and both once the filter is cleared.
        selection->clearSelection();
        table->setCurrentIndex(table->model()->index(2, 0));
        window.findChild<QPushButton*>("JournalButton")->click();
        JournalWindow* shown = window.journalWindow();
        QVERIFY(shown->filter()->currentText().startsWith("5"));
        QCOMPARE(shown->entries()->rowCount(), 1);
        QCOMPARE(shown->entries()->item(0, 5)->text(), utf8("0A0005"));
        shown->filter()->setCurrentIndex(0);
        QCOMPARE(shown->entries()->rowCount(), 2);

        // "Отчёт PDF…": the table, then a section per instrument with its last copy, where 2
        // has the 42.5 its second copy holds.
        const QString linePdf = QString::fromStdString(dir.path()) + "/линия.pdf";
        window.choosePdfPath = [&linePdf](const QString&) { return linePdf; };
        window.findChild<QPushButton*>("PdfButton")->click();
        pdftotext.start("pdftotext", {"-layout", linePdf, "-"});
        QVERIFY(pdftotext.waitForFinished(30000));
        const QString lines = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
        qsizetype at = 0;
        for (const char* piece : {"Отчёт о линии «найдено»", "0A0001", "0A0002", "0A0005",
                                  "Прибор 1 — Котёл 1; подача", "Прибор 2", "42.5", "Прибор 5"})
            QVERIFY2((at = lines.indexOf(utf8(piece), at)) >= 0, piece);
    }

    // "Сохранить линию…" keeps the port the line uses; opening the file has the jobs use it
    // again, whatever the main window chose meanwhile. A port no COM stands for is said and
    // left. Unsaved changes are asked about on closing the window and on quitting.
    void lineFileCarriesItsPortAndClosingAsks() {
        // COM1 is the test's line, COM3 another one whose instrument 1 is a different one.
        rv::test::SimProcess other({"1,model=RV7406,id=0x0B0001,speed=9600"});
        QVERIFY2(other.started(), other.error().c_str());
        form->setPortDevices({sim->linkPath(), "/dev/ttyS1", other.linkPath(), "/dev/ttyS3"});
        auto* com = form->findChild<QComboBox*>("MenuCOM");
        com->setCurrentIndex(2);
        LineWindow& window = lineWindow();
        window.setSearchSpeeds({rv::SpeedIndexOfBaud(9600)});
        window.setSearchRange(1, 1);
        click("SearchButton");
        QCOMPARE(column(rv::LineColumn::Id), QStringList{"0B0001"});
        LineMenu& menu = *form->lineMenu();
        const QString path = QString::fromStdString(dir.path() + "/порт.rv740x-line.json");
        menu.chooseSavePath = [&path](const QString&) { return path; };
        menu.saveLineAction()->trigger();
        rv::LineFile file;
        QVERIFY(rv::LoadLineFile(path.toStdString(), file).ok);
        QCOMPARE(file.Port, std::string("COM3"));

        // The main window goes over to COM1; opening the line (its new port not kept) brings
        // COM3 back, and a search there hears the instrument of COM3.
        com->setCurrentIndex(0);
        QString answer = path;
        menu.chooseOpenPath = [&answer](const QString&) { return answer; };
        boxes->saveAnswers = {MessageBoxes::SaveAnswer::Discard};
        menu.openLineAction()->trigger();
        QCOMPARE(com->currentIndex(), 2);
        QCOMPARE(settings().Device, other.linkPath());
        click("SearchButton");
        QCOMPARE(column(rv::LineColumn::Id), QStringList{"0B0001"});

        // A bad file, and a file whose port no COM stands for: COM3 stays.
        const std::string bad = dir.path() + "/не-линия.rv740x-line.json";
        std::ofstream(bad) << "{\"format\": \"rv740x-line\", \"port\": 5}";
        const std::string elsewhere = dir.path() + "/чужая.rv740x-line.json";
        std::ofstream(elsewhere) << rv::test::TwelveLineFile("/dev/ttyUSB97", {1});
        for (const std::string& p : {bad, elsewhere}) {
            answer = QString::fromStdString(p);
            menu.openLineAction()->trigger();
            QCOMPARE(settings().Device, other.linkPath());
        }
        QCOMPARE(errors().size(), 1);
        QCOMPARE(window.linePath(), answer);
        QVERIFY(
            shownOf(ScriptedBoxes::Kind::Warning).value(0).contains(utf8("ttyUSB97» не назначен")));

        // A typed tag: closing asks; "Отмена" keeps the window and the tag, "Сохранить"
        // writes it. On quitting "Отмена" keeps the program, "Не сохранять" leaves the file.
        const QModelIndex tag = window.model()->index(0, static_cast<int>(rv::LineColumn::Tag));
        window.show();
        QVERIFY(window.model()->setData(tag, utf8("Котёл 9"), Qt::EditRole));
        boxes->saveAnswers = {MessageBoxes::SaveAnswer::Cancel};
        QVERIFY(!window.close());
        QCOMPARE(column(rv::LineColumn::Tag), QStringList{utf8("Котёл 9")});
        boxes->saveAnswers = {MessageBoxes::SaveAnswer::Save};
        QVERIFY(window.close());
        QVERIFY(rv::LoadLineFile(elsewhere, file).ok);
        QCOMPARE(file.Instruments.at(0).Tag, std::string("Котёл 9"));
        QCOMPARE(file.Port, std::string("COM3"));
        QVERIFY(window.model()->setData(tag, utf8("Котёл 10"), Qt::EditRole));
        boxes->saveAnswers = {MessageBoxes::SaveAnswer::Cancel, MessageBoxes::SaveAnswer::Discard};
        QVERIFY(!form->close());
        QVERIFY(form->close());
        QVERIFY(rv::LoadLineFile(elsewhere, file).ok);
        QCOMPARE(file.Instruments.at(0).Tag, std::string("Котёл 9"));
        QCOMPARE(shownOf(ScriptedBoxes::Kind::AskSave).constLast(),
                 utf8("Изменения линии «чужая.rv740x-line.json» не сохранены. Сохранить их?"));
    }

    // A search stopped by "Отмена" marks only what it asked: a number it asked at a row's
    // speed and did not hear says "нет ответа"; numbers and speeds it never reached keep
    // their state.
    void stoppedSearchMarksOnlyWhatItAsked() {
        useLine(*sim);
        const std::string path = dir.path() + "/стоп.rv740x-line.json";
        rv::LineFile file{sim->linkPath(), "copies", {}};
        for (auto [net, baud] : {std::pair{1u, 9600u}, {3u, 9600u}, {5u, 4800u}, {9u, 9600u}})
            file.Instruments.push_back({net, baud, 0, {}, {}});
        std::string error;
        QVERIFY(rv::SaveLineFile(path, file, error));
        LineWindow& window = lineWindow();
        QVERIFY(window.openLine(QString::fromStdString(path)));
        window.setSearchSpeeds({rv::SpeedIndexOfBaud(9600)});
        window.setSearchRange(1, 254);
        duringWait = [&window] {
            if (window.jobDialog()->current()->text().startsWith(utf8("Опрос номера 4 ")))
                window.jobDialog()->cancelButton()->click();
        };
        click("SearchButton");
        QCOMPARE(window.jobDialog()->current()->text(), utf8("Остановлено"));
        QCOMPARE(column(rv::LineColumn::Number), (QStringList{"1", "2", "3", "5", "9"}));
        QCOMPARE(column(rv::LineColumn::State),
                 (QStringList{utf8("отвечает"), utf8("отвечает"), utf8("нет ответа"),
                              utf8("не проверен"), utf8("не проверен")}));
    }

    // "Отмена" of the job window inside the second instrument of a write: the first is
    // written, and every block of the second is as before or as the whole write leaves it.
    void writeStoppedInsideAnInstrument() {
        // Instruments that answer a few milliseconds late, as real ones do, so that the stop
        // lands while the write is under way.
        rv::test::SimProcess slow(Slowed(setups()));
        QVERIFY2(slow.started(), slow.error().c_str());
        useLine(slow);
        const std::string path = dir.path() + "/запись.rv740x-line.json";
        std::ofstream(path) << rv::test::TwelveLineFile(slow.linkPath(), {1, 5});
        LineWindow& window = lineWindow();
        QVERIFY(window.openLine(QString::fromStdString(path)));
        window.table()->setCurrentIndex(window.table()->model()->index(0, 0));
        boxes->answers = {true};
        window.findChild<QPushButton*>("OpenInWindowButton")->click();
        QCOMPARE(form->image().LoadedId, uint32_t{0x0A0001});
        for (auto& channel : form->image().Channels) {
            channel.Ustav1 = rv::MakeWorkingReal(61.5L);
            channel.Ustav2 = rv::MakeWorkingReal(-3);
        }
        form->windowImage().edited();
        window.table()->clearSelection();
        window.confirmWrite = [](const std::vector<rv::InstrumentResult>&) { return true; };
        std::map<unsigned, std::map<int, std::vector<uint8_t>>> before, cut, whole;
        for (unsigned net : {1u, 5u}) before[net] = rv::test::ShownBlocks(slow, net);
        const QString writing = utf8("Запись конфигурации в приборы");
        duringWait = [&window, &writing] {
            LineJobDialog* d = window.jobDialog();
            if (d->windowTitle() == writing && d->current()->text().contains(utf8("(2 из 2)")) &&
                d->gauge()->value() >= 60)
                d->cancelButton()->click();
        };
        for (auto* memory : {&cut, &whole}) {
            window.findChild<QAction*>("WriteWindowAction")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(
                window.jobDialog()->windowTitle() == writing && !window.jobRunning(), 120000);
            duringWait = nullptr;
            for (unsigned net : {1u, 5u}) (*memory)[net] = rv::test::ShownBlocks(slow, net);
        }
        int oldBlocks = 0, newBlocks = 0;
        for (int block : rv::kWrittenBlocks) {
            QCOMPARE(cut[1][block], whole[1][block]);
            const auto& shown = cut[5][block];
            QVERIFY(shown == before[5][block] || shown == whole[5][block]);
            oldBlocks += shown != whole[5][block];
            newBlocks += shown != before[5][block];
        }
        QVERIFY(oldBlocks > 0 && newBlocks > 0);  // the stop fell inside the instrument
    }

    // A job asked for while another use holds the line waits for it rather than racing it;
    // "Отмена" while it waits drops the job and leaves the use that holds the line alone.
    void jobsQueueBehindTheLine() {
        useLine(*sim);
        const std::string linePath = dir.path() + "/очередь.rv740x-line.json";
        std::ofstream(linePath) << rv::test::TwelveLineFile(sim->linkPath(), kNets);
        const std::string otherPath = dir.path() + "/другая.rv740x-line.json";
        std::ofstream(otherPath) << rv::test::TwelveLineFile(sim->linkPath(), {1});
        LineWindow& window = lineWindow();
        QVERIFY(window.openLine(QString::fromStdString(linePath)));
        auto* backup = window.findChild<QPushButton*>("BackupButton");
        QListWidget* results = window.jobDialog()->results();

        for (const bool cancelWhileWaiting : {true, false}) {
            rv::ConfigImage read;
            std::optional<LineResult> readEnded;
            QVERIFY(line().start(
                {LineTask::Read, false, {}}, form,
                [&read](LineUse& use) { return rv::ReadConfiguration(use.link(), read, {}); },
                [&readEnded](const LineResult& r) { readEnded = r; }));
            QVERIFY(!backup->isEnabled());
            window.backupSelected();
            QCOMPARE(line().queued(), size_t{1});
            QVERIFY2(
                window.jobDialog()->current()->text().startsWith(utf8("Ждёт линию: идёт чтение")),
                qPrintable(window.jobDialog()->current()->text()));
            // Another line is not opened under a job: its results belong to this table.
            const int rows = window.table()->model()->rowCount();
            QVERIFY(!window.openLine(QString::fromStdString(otherPath)));
            QCOMPARE(window.table()->model()->rowCount(), rows);
            if (cancelWhileWaiting) window.jobDialog()->cancelButton()->click();
            QTRY_VERIFY_WITH_TIMEOUT(!window.jobRunning() && !line().busy(), 60000);
            QVERIFY(readEnded && readEnded->outcome == rv::Outcome::Done);
            QCOMPARE(read.LoadedId, uint32_t{0x0A0001});
            QCOMPARE(results->count(), cancelWhileWaiting ? 0 : 3);
            QCOMPARE(window.jobDialog()->current()->text() == utf8("Остановлено"),
                     cancelWhileWaiting);
            QVERIFY(backup->isEnabled());
            QVERIFY(portFree());
        }
    }

    // The network write of the password and network dialog goes into the journal of the line
    // open in the overview, old number → new.
    void dialogWriteGoesIntoTheJournal() {
        useLine(*sim);
        const std::string linePath = dir.path() + "/сеть.rv740x-line.json";
        std::ofstream(linePath) << rv::test::TwelveLineFile(sim->linkPath(), {5});
        QVERIFY(lineWindow().openLine(QString::fromStdString(linePath)));
        settings().NetNumber = 5;
        settings().applySpeedIndex(rv::SpeedIndexOfBaud(4800));
        form->image().DialogNetNumber = 9;
        form->image().DialogSpeedIndex = static_cast<uint8_t>(rv::SpeedIndexOfBaud(4800));
        boxes->answers = {true};
        pass->BtnSENOClick();
        QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        const rv::JournalContents journal = rv::ReadJournal(rv::JournalPathOf(linePath));
        QCOMPARE(journal.entries.size(), size_t{1});
        const rv::JournalEntry& entry = journal.entries[0];
        QCOMPARE(entry.Operation, std::string("Изменение сетевого номера и скорости"));
        QCOMPARE(entry.NetNumber, 5u);
        QCOMPARE(entry.Result, std::string("Выполнено"));
        QCOMPARE(entry.Changes.size(), size_t{1});
        QCOMPARE(entry.Changes[0].left, std::string("5"));
        QCOMPARE(entry.Changes[0].right, std::string("9"));

        // The password write: its entry says the password changed, and never its digits.
        settings().NetNumber = 9;
        boxes->answers = {true};
        pass->BtnPASSClick();
        QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        const rv::JournalContents after = rv::ReadJournal(rv::JournalPathOf(linePath));
        QCOMPARE(after.entries.size(), size_t{2});
        QCOMPARE(after.entries[1].Operation, std::string("Изменение пароля"));
        QCOMPARE(after.entries[1].NetNumber, 9u);
        QCOMPARE(after.entries[1].Changes.size(), size_t{1});
        QCOMPARE(after.entries[1].Changes[0].field, std::string("Пароль"));
        QCOMPARE(after.entries[1].Changes[0].right, std::string("новый"));
    }
};

QTEST_MAIN(LineWindowTest)
#include "line_window_test.moc"
