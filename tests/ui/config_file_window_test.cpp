#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "channel/fields.h"
#include "config/relay_table.h"
#include "configfile/configuration_file.h"
#include "configfile/exact_real.h"
#include "e2e/sim_client.h"
#include "rv740x_version.h"
#include "sim_log.h"
#include "ui/config_file_menu.h"
#include "ui/difference_window.h"
#include "ui/main_menu.h"
#include "ui/message_boxes.h"
#include "ui/window_caption.h"
#include "window_fixture.h"

// The "Файл" menu's configuration items, against simulated instruments.
class ConfigFileWindowTest : public QObject, private WindowFixture {
    Q_OBJECT

    rv::test::TempDir dir;
    int dialogsAsked = 0;

    ConfigFileMenu* menu() { return form->configFileMenu(); }

    // The file dialogs answer with these paths.
    void answerDialogsWith(const QString& path) {
        menu()->chooseOpenPath = [this, path](const QString&) {
            ++dialogsAsked;
            return path;
        };
        menu()->chooseSavePath = [this, path](const QString&) {
            ++dialogsAsked;
            return path;
        };
        menu()->chooseComparePath = [this, path](const QString&) {
            ++dialogsAsked;
            return path;
        };
    }

    void readFrom(const rv::test::SimProcess& sim, uint32_t net) {
        useLine(sim);
        settings().NetNumber = net;
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(shownOf(ScriptedBoxes::Kind::Error).isEmpty());
        QVERIFY(form->image().LoadedId != 0);
    }

    QString savedFile(const rv::test::SimProcess& sim, uint32_t net, const char* name) {
        readFrom(sim, net);
        const QString path = QString::fromStdString(dir.path()) + "/" + name;
        answerDialogsWith(path);
        menu()->saveConfiguration();
        return path;
    }

    QStringList tableRow(int row) {
        QStringList cells;
        QTableWidget* t = menu()->differenceWindow()->table();
        for (int c = 0; c < t->columnCount(); ++c) cells << t->item(row, c)->text();
        return cells;
    }

    void showActive() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
    }

    QString baseTitle() {
        return QString::fromUtf8("Конфигурация   приборов  RV7406 и RV7408  (Ver " RV740X_VERSION
                                 ")");
    }

  private slots:
    void init() {
        createWindow();
        dialogsAsked = 0;
    }
    void cleanup() { destroyWindow(); }

    void itemsSitInTheFileMenuBeforeQuit() {
        QStringList texts;
        for (QAction* a : form->mainMenu()->fileMenu()->actions())
            texts << (a->isSeparator() ? QString("-") : a->text().remove('&'));
        QCOMPARE(
            texts,
            QStringList(
                {QString::fromUtf8("Открыть конфигурацию…"),
                 QString::fromUtf8("Сохранить конфигурацию…"), QString::fromUtf8("Последние файлы"),
                 "-", QString::fromUtf8("Открыть линию…"), QString::fromUtf8("Сохранить линию…"),
                 QString::fromUtf8("Последние линии"), "-",
                 QString::fromUtf8("Сравнить с прибором…"), QString::fromUtf8("Сравнить с файлом…"),
                 "-", QString::fromUtf8("Отчёт о конфигурации…"), "-",
                 QString::fromUtf8("Выход")}));
        QCOMPARE(menu()->openAction()->shortcut(), QKeySequence(QString("Ctrl+O")));
        QCOMPARE(menu()->saveAction()->shortcut(), QKeySequence(QString("Ctrl+S")));
        // Nothing loaded yet: only opening makes sense.
        QVERIFY(menu()->openAction()->isEnabled());
        QVERIFY(!menu()->saveAction()->isEnabled());
        QVERIFY(!menu()->compareDeviceAction()->isEnabled());
        QVERIFY(!menu()->compareFileAction()->isEnabled());
        answerDialogsWith("/nonexistent");
        showActive();
        QTest::keyClick(form, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(dialogsAsked, 0);
    }

    void itemsAreDisabledDuringAReadAndASearch() {
        rv::test::SimProcess sim(Slowed({"1", "3"}));
        QVERIFY2(sim.started(), sim.error().c_str());
        readFrom(sim, 1);
        menu()->updateActions();
        QVERIFY(menu()->saveAction()->isEnabled());
        QVERIFY(menu()->compareDeviceAction()->isEnabled());
        QVERIFY(menu()->compareFileAction()->isEnabled());

        answerDialogsWith(QString::fromStdString(dir.path()) + "/x.rv740x.json");
        dialogsAsked = 0;
        showActive();
        int waits = 0;
        duringWait = [&] {
            if (waits++ != 3) return;
            menu()->updateActions();
            for (QAction* a : {menu()->openAction(), menu()->saveAction(),
                               menu()->compareDeviceAction(), menu()->compareFileAction()}) {
                QVERIFY(!a->isEnabled());
                a->trigger();
            }
            QTest::keyClick(form, Qt::Key_O, Qt::ControlModifier);
            QTest::keyClick(form, Qt::Key_S, Qt::ControlModifier);
        };
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(waits > 3);
        QCOMPARE(dialogsAsked, 0);
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmOkCancel), 2);  // the two reads only

        bool sawSearch = false;
        duringWait = [&] {
            if (!bus().searchActive()) return;
            sawSearch = true;
            menu()->updateActions();
            QVERIFY(!menu()->openAction()->isEnabled());
            QVERIFY(!menu()->saveAction()->isEnabled());
            menu()->openAction()->trigger();
            menu()->saveConfiguration();
            QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        };
        bus().BtnSearchClick();
        QVERIFY(sawSearch);
        QCOMPARE(dialogsAsked, 0);
        menu()->updateActions();
        QVERIFY(menu()->openAction()->isEnabled());
        QVERIFY(menu()->saveAction()->isEnabled());
    }

    void openFillsTheWindowLikeARead() {
        rv::test::SimProcess sim({"1,model=RV7408,version=3.12"});
        QVERIFY2(sim.started(), sim.error().c_str());
        const QString path = savedFile(sim, 1, "first.rv740x.json");
        QCOMPARE(form->windowTitle(),
                 baseTitle() + QString::fromUtf8(" — first.rv740x.json (RV7408 № 1, ID 010203)"));
        const rv::ConfigImage read = form->image();

        destroyWindow();
        createWindow();
        answerDialogsWith(path);
        dialogsAsked = 0;
        control<QTabBar>("TabBar")->setCurrentIndex(2);
        showActive();
        QTest::keyClick(form, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(dialogsAsked, 1);
        QVERIFY(boxes->shown.empty());
        rv::ConfigImage expected = read;
        expected.Password = 0;
        QCOMPARE(form->image().DialogNetNumber, expected.DialogNetNumber);
        QCOMPARE(form->image().DialogSpeedIndex, expected.DialogSpeedIndex);
        QCOMPARE(form->image().DisplayPeriodByte, expected.DisplayPeriodByte);
        QCOMPARE(form->image().UsedChannels, expected.UsedChannels);
        QVERIFY(form->image().Channels == expected.Channels);
        QVERIFY(form->image() == expected);
        QVERIFY(form->source().fromFile);
        QCOMPARE(form->windowTitle(),
                 baseTitle() + QString::fromUtf8(" — first.rv740x.json (RV7408 № 1, ID 010203)"));
        QCOMPARE(control<QLabel>("LabelVersion")->text(), QString("3.12"));
        QVERIFY(control<QLabel>("Label6")->isVisibleTo(form));
        QVERIFY(control<QPushButton>("BtnSave")->isEnabled());
        QVERIFY(control<QPushButton>("BtnRELE")->isEnabled());
        QCOMPARE(control<QLineEdit>("EdUstav1")->text().toStdString(),
                 rv::FormatRealField(read.Channels[2].Ustav1, 5));
        for (int i = 0; i < 8; ++i) {
            auto* box = control<QCheckBox>(qPrintable(QString("CC%1").arg(i + 1)));
            QCOMPARE(box->isChecked(), bool(read.UsedChannels & (1 << i)));
        }
        menu()->updateActions();
        QVERIFY(menu()->saveAction()->isEnabled());

        // With "Номер прибора" at 5, the caption says that the window addresses another
        // instrument than the file's; back at 1, it no longer does.
        QLineEdit* pribor = control<QSpinBox>("Pribor")->findChild<QLineEdit*>();
        const auto typeNumber = [&](const char* number) {
            pribor->setFocus();
            pribor->selectAll();
            QTest::keyClicks(pribor, number);
            QTest::keyClick(pribor, Qt::Key_Tab);
            QCoreApplication::processEvents();
        };
        typeNumber("5");
        QCOMPARE(settings().NetNumber, 5u);
        QCOMPARE(form->windowTitle(),
                 baseTitle() + QString::fromUtf8(" — first.rv740x.json (RV7408 № 1, ID 010203; "
                                                 "адресован прибор № 5)"));
        typeNumber("1");
        QCOMPARE(form->windowTitle(),
                 baseTitle() + QString::fromUtf8(" — first.rv740x.json (RV7408 № 1, ID 010203)"));

        // A read puts the instrument back in the caption's place.
        readFrom(sim, 1);
        QCOMPARE(form->windowTitle(), baseTitle() + QString::fromUtf8(" — RV7408 № 1, ID 010203"));
        QVERIFY(!form->source().fromFile);
    }

    void badFilesChangeNothing_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("malformed")
            << QByteArray("{\"format\": ")
            << QString::fromUtf8("(весь файл): испорченный JSON, ошибка у байта 12");
        QTest::newRow("other format")
            << QByteArray("{\"format\": \"x\"}")
            << QString::fromUtf8("format: «x» — не файл конфигурации RV7406/RV7408");
        QTest::newRow("newer")
            << QByteArray("{\"format\": \"rv740x-configuration\", \"formatVersion\": 2}")
            << QString::fromUtf8(
                   "formatVersion: версия формата 2 новее, чем понимает программа (1)");
        QTest::newRow("missing")
            << QByteArray("{\"format\": \"rv740x-configuration\", \"formatVersion\": 1}")
            << QString::fromUtf8("savedAt: поле отсутствует");
        QTest::newRow("too big")
            << QByteArray(1024 * 1024 + 1, ' ')
            << QString::fromUtf8(
                   "(весь файл): файл больше 1 МБ (1048577 байт), это не файл конфигурации");
    }

    void badFilesChangeNothing() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        readFrom(sim, 1);
        const rv::ConfigImage before = form->image();
        const QString version = control<QLabel>("LabelVersion")->text();
        const QString ustav = control<QLineEdit>("EdUstav1")->text();
        const QString path = QString::fromStdString(dir.path()) + "/bad.rv740x.json";
        { std::ofstream(path.toStdString(), std::ios::binary).write(text.data(), text.size()); }
        answerDialogsWith(path);
        menu()->openConfiguration();
        QCOMPARE(shownOf(ScriptedBoxes::Kind::Error),
                 QStringList(QString::fromUtf8("Файл «bad.rv740x.json» не открыт.\n") + error));
        QVERIFY(form->image() == before);
        QVERIFY(!form->source().fromFile);
        QCOMPARE(form->windowTitle(), baseTitle() + QString::fromUtf8(" — RV7408 № 1, ID 010203"));
        QCOMPARE(control<QLabel>("LabelVersion")->text(), version);
        QCOMPARE(control<QLineEdit>("EdUstav1")->text(), ustav);
    }

    void fileOfAnRV7408WrittenToAnRV7406WarnsWithTheModel() {
        rv::test::SimProcess sim({"1,model=RV7408", "5,model=RV7406"});
        QVERIFY2(sim.started(), sim.error().c_str());
        const QString path = savedFile(sim, 1, "rv7408.rv740x.json");
        menu()->openConfiguration();
        QVERIFY(form->source().fromFile);
        const auto before6 = rv::test::ReadStateFile(sim.stateFile(5));

        settings().NetNumber = 5;
        boxes->shown.clear();
        boxes->answers = {false};
        transfer().BtnSaveClick();
        QCOMPARE(boxes->shown.size(), size_t{1});
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::ConfirmRisky);
        QCOMPARE(
            boxes->shown[0].text,
            QString::fromUtf8("Прибор не такой, как тот, с которого сохранён файл:\n"
                              "Модель: в файле RV7408 (каналы 00FF), прибор RV7406 (каналы 003F)\n"
                              "Маска реле: в файле 00FF, в приборе 003F\n\nПродолжить запись?"));
        QVERIFY(form->isEnabled());
        QVERIFY(rv::test::ReadStateFile(sim.stateFile(5)) == before6);
        QCOMPARE(rv::test::LogLinesWith(sim.logPath(), "202;"), 0);

        // Going on gives the usual confirmation and the write.
        boxes->shown.clear();
        boxes->answers = {true, true};
        transfer().BtnSaveClick();
        QCOMPARE(boxes->shown.size(), size_t{2});
        QCOMPARE(boxes->shown[1].text, QString::fromUtf8(" Записать данные ?"));
        QVERIFY(shownOf(ScriptedBoxes::Kind::Error).isEmpty());
        QVERIFY(rv::test::LogLinesWith(sim.logPath(), "202;") > 0);

        // The same kind of instrument gets no warning.
        settings().NetNumber = 1;
        boxes->shown.clear();
        boxes->answers = {false};
        transfer().BtnSaveClick();
        QCOMPARE(boxes->shown.size(), size_t{1});
        QCOMPARE(boxes->shown[0].text, QString::fromUtf8(" Записать данные ?"));
    }

    // A configuration read from one instrument and written to another number: the instrument
    // there is asked what it is, and another kind gets the warning, "Отмена" first.
    void writeToAnotherInstrumentWarnsFirst() {
        rv::test::SimProcess sim({"1,model=RV7408", "5,model=RV7406", "7,model=RV7408"});
        QVERIFY2(sim.started(), sim.error().c_str());
        readFrom(sim, 1);
        const auto before5 = rv::test::ReadStateFile(sim.stateFile(5));

        settings().NetNumber = 5;
        boxes->shown.clear();
        boxes->answers = {false};
        transfer().BtnSaveClick();
        QCOMPARE(boxes->shown.size(), size_t{1});
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::ConfirmRisky);
        QCOMPARE(
            boxes->shown[0].text,
            QString::fromUtf8("Прибор 5 не такой, как прибор 1, из которого считаны данные:\n"
                              "Модель: в окне RV7408 (каналы 00FF), прибор RV7406 (каналы 003F)\n"
                              "Маска реле: в окне 00FF, в приборе 003F\n\nПродолжить запись?"));
        QVERIFY(rv::test::ReadStateFile(sim.stateFile(5)) == before5);
        QCOMPARE(rv::test::LogLinesWith(sim.logPath(), "202;"), 0);

        // The same kind at another number, and the instrument read: the usual question only.
        for (const uint32_t net : {7u, 1u}) {
            settings().NetNumber = net;
            boxes->shown.clear();
            boxes->answers = {false};
            transfer().BtnSaveClick();
            QCOMPARE(boxes->shown.size(), size_t{1});
            QCOMPARE(boxes->shown[0].text, QString::fromUtf8(" Записать данные ?"));
        }
    }

    // The real boxes: Enter on a risky question takes the safe answer, and an error's detail
    // stands below its text.
    void riskyQuestionDefaultsToCancelAndErrorShowsItsDetail() {
        ModalMessageBoxes real;
        QString defaultText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QVERIFY(!real.confirmRisky(nullptr, "?"));
        QCOMPARE(defaultText, QString::fromUtf8("Отмена"));

        QString text;
        QString detail;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            text = box->text();
            detail = box->informativeText();
            box->reject();
        });
        real.errorWithDetail(nullptr, QString::fromUtf8("Нельзя открыть   COM-порт"),
                             QString::fromUtf8("Устройство: /dev/ttyUSB0"));
        QCOMPARE(text, QString::fromUtf8("Нельзя открыть   COM-порт"));
        QCOMPARE(detail, QString::fromUtf8("Устройство: /dev/ttyUSB0"));
    }

    // Every way the window edits the configuration marks the caption as the edit is made,
    // with no key, click or focus event around it.
    void everyEditMarksTheCaptionAsItIsMade_data() {
        QTest::addColumn<QString>("edit");
        for (const char* edit :
             {"set point", "frac digits", "averaging", "sensor type", "scheme", "square root",
              "used channel", "display time", "relay dialog", "R0 taken", "line taken"})
            QTest::newRow(edit) << QString(edit);
    }
    void everyEditMarksTheCaptionAsItIsMade() {
        QFETCH(QString, edit);
        rv::test::SimProcess sim({"1,model=RV7408"});
        QVERIFY2(sim.started(), sim.error().c_str());
        readFrom(sim, 1);
        QCOMPARE(form->windowTitle(),
                 baseTitle() + QString::fromUtf8(" — ") + form->caption().sourceText());
        const auto choose = [this](const char* name, int index) {
            auto* box = control<QComboBox>(name);
            box->setCurrentIndex(index);
            emit box->activated(index);
        };
        const std::map<QString, std::function<void()>> edits{
            {"set point", [&] { control<QLineEdit>("EdUstav1")->setText("27,5"); }},
            {"frac digits",
             [&] {
                 const int frac = (form->image().Channels[0].Frac + 1) % 4;
                 control<QLineEdit>("EdFrac")->setText(QString::number(frac));
             }},
            {"averaging", [&] { control<QLineEdit>("EdUsred")->setText("17"); }},
            {"sensor type", [&] { choose("MenuTIDA", 5); }},
            {"scheme", [&] { choose("MenuSHEMA", 1); }},
            {"square root", [&] { control<QCheckBox>("BitSQRT")->toggle(); }},
            {"used channel", [&] { usedBoxes()[0]->toggle(); }},
            {"display time", [&] { control<QSpinBox>("EdPause")->setValue(9); }},
            {"relay dialog",
             [&] {
                 form->BtnRELEClick();
                 rele->popupCellMenu(0, QPoint());
                 child<QAction>(rele, "N2")->trigger();
                 rele->BtnERClick();
             }},
            {"R0 taken", [&] { page().acceptR0(0, 123.456L); }},
            {"line taken", [&] { page().acceptLineResistance(0, 1.5L); }},
        };
        const rv::ConfigImage before = form->image();
        edits.at(edit)();
        QVERIFY(!(form->image() == before));
        QVERIFY2(form->windowTitle().startsWith("* "), qPrintable(form->windowTitle()));
    }

    // Edits neither written nor saved: the caption marks them, and opening a file, "Выход"
    // and closing the window ask first; saving or writing them ends the asking.
    void unsavedEditsAreMarkedAndAskedAbout() {
        rv::test::SimProcess sim({"1,model=RV7408"});
        QVERIFY2(sim.started(), sim.error().c_str());
        const QString path = savedFile(sim, 1, "saved.rv740x.json");
        const QString question =
            QString::fromUtf8("Изменения не записаны в прибор и не сохранены. Продолжить?");
        showActive();
        QVERIFY(!form->windowTitle().startsWith("* "));

        QLineEdit* ustav = control<QLineEdit>("EdUstav1");
        ustav->setFocus();
        ustav->selectAll();
        QTest::keyClicks(ustav, "27,5");
        QCoreApplication::processEvents();
        QVERIFY2(form->windowTitle().startsWith("* "), qPrintable(form->windowTitle()));
        const rv::ConfigImage edited = form->image();

        boxes->shown.clear();
        dialogsAsked = 0;
        boxes->answers = {false};
        menu()->openConfiguration();
        boxes->answers = {false};
        form->mainMenu()->quitAction()->trigger();
        boxes->answers = {false};
        QVERIFY(!form->close());
        QCOMPARE(shownOf(ScriptedBoxes::Kind::ConfirmRisky),
                 QStringList({question, question, question}));
        QCOMPARE(dialogsAsked, 0);
        QVERIFY(form->isVisible());
        QVERIFY(form->image() == edited);

        // "Прочитать" warns the same way before its own question, and stops at either "no".
        const qsizetype heard = rv::test::HeardRequests(sim.logPath()).size();
        boxes->shown.clear();
        boxes->answers = {false};
        transfer().BtnLoadClick();
        boxes->answers = {true, false};
        transfer().BtnLoadClick();
        QCOMPARE(boxes->shown.size(), size_t(3));
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::ConfirmRisky);
        QCOMPARE(boxes->shown[0].text, question);
        QCOMPARE(boxes->shown[1].kind, ScriptedBoxes::Kind::ConfirmRisky);
        QCOMPARE(boxes->shown[2].kind, ScriptedBoxes::Kind::ConfirmOkCancel);
        QCOMPARE(boxes->shown[2].text, QString::fromUtf8(" Считать данные ?"));
        QVERIFY(form->image() == edited);
        QCOMPARE(rv::test::HeardRequests(sim.logPath()).size(), heard);

        // Going on opens the file: its configuration, no edits.
        boxes->answers = {true};
        menu()->openConfiguration();
        QCOMPARE(dialogsAsked, 1);
        QVERIFY(!(form->image() == edited));
        QVERIFY(!form->windowTitle().startsWith("* "));

        // Edits written to the instrument are no longer unsaved: closing asks nothing.
        ustav->setFocus();
        ustav->selectAll();
        QTest::keyClicks(ustav, "30");
        QCoreApplication::processEvents();
        QVERIFY(form->windowTitle().startsWith("* "));
        boxes->shown.clear();
        boxes->answers = {true};
        transfer().BtnSaveClick();
        QVERIFY(shownOf(ScriptedBoxes::Kind::Error).isEmpty());
        QVERIFY(!form->windowTitle().startsWith("* "));
        QVERIFY(form->close());
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmRisky), 0);
    }

    // The report of a configuration read: what pdftotext finds in the PDF.
    void reportHoldsTheInstrumentChannelsAndRelays() {
        rv::test::SimProcess sim({"1,model=RV7406,version=3.12"});
        QVERIFY2(sim.started(), sim.error().c_str());
        readFrom(sim, 1);
        // Channel 2 measures with a Pt100 (°C), channel 3 a current (no unit of its own).
        form->image().Channels[1].SensorType = 6;
        form->image().Channels[1].Ustav1 = rv::MakeWorkingReal(27.5L);
        form->image().Channels[2].SensorType = 13;
        form->image().Channels[2].Ustav1 = rv::MakeWorkingReal(12.25L);
        const QString pdf = QString::fromStdString(dir.path()) + "/report.pdf";
        QString suggested;
        menu()->chooseReportPath = [&](const QString& path) {
            suggested = path;
            return pdf;
        };
        menu()->updateActions();
        QVERIFY(menu()->reportAction()->isEnabled());
        menu()->reportAction()->trigger();
        QVERIFY(shownOf(ScriptedBoxes::Kind::Error).isEmpty());
        QVERIFY2(suggested.endsWith(QString::fromUtf8("RV7406_1_010203_") +
                                    QString::fromStdString(rv::LocalDateText()) + ".pdf"),
                 qPrintable(suggested));

        QProcess pdftotext;
        pdftotext.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY2(pdftotext.waitForFinished(30000), "pdftotext (poppler-utils) did not run");
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        const QStringList lines = text.split('\n');
        // The first cell of the line that starts with `label`, collapsed blanks.
        const auto line = [&](const QString& label) {
            for (const QString& l : lines)
                if (l.simplified().startsWith(label)) return l.simplified();
            return QString();
        };
        QCOMPARE(line(QString::fromUtf8("Отчёт о конфигурации прибора")),
                 QString::fromUtf8("Отчёт о конфигурации прибора RV7406"));
        QCOMPARE(line(QString::fromUtf8("Модель")), QString::fromUtf8("Модель RV7406"));
        QCOMPARE(line(QString::fromUtf8("Сетевой номер")), QString::fromUtf8("Сетевой номер 1"));
        QCOMPARE(line(QString::fromUtf8("Скорость")), QString::fromUtf8("Скорость, бод 9600"));
        QCOMPARE(line(QString::fromUtf8("Версия")),
                 QString::fromUtf8("Версия внутр. программы 3.12"));
        QCOMPARE(line(QString::fromUtf8("Идентификатор")),
                 QString::fromUtf8("Идентификатор 010203"));
        QVERIFY2(QRegularExpression(QString::fromUtf8("^Дата отчёта ") +
                                    QString::fromStdString(rv::LocalDateText()) +
                                    " [0-2][0-9]:[0-5][0-9]$")
                     .match(line(QString::fromUtf8("Дата")))
                     .hasMatch(),
                 qPrintable(line(QString::fromUtf8("Дата"))));
        QCOMPARE(line(QString::fromUtf8("Источник")),
                 QString::fromUtf8("Источник считано из прибора"));
        // Six fitted channels, six columns.
        QVERIFY2(line(QString::fromUtf8("Параметр")) ==
                     QString::fromUtf8("Параметр Канал 1 Канал 2 Канал 3 Канал 4 Канал 5 Канал 6"),
                 qPrintable(text));
        const QStringList setPoint = line(QString::fromUtf8("Уставка 1")).split(' ');
        QVERIFY2(setPoint.size() >= 7, qPrintable(line(QString::fromUtf8("Уставка 1"))));
        QVERIFY2(
            line(QString::fromUtf8("Уставка 1")).contains(QString::fromUtf8(" 27.5 °C 12.25 ")),
            qPrintable(line(QString::fromUtf8("Уставка 1"))));
        QVERIFY2(line(QString::fromUtf8("Сопр. датчика в 0°C")).contains(QString::fromUtf8("Ом")),
                 qPrintable(text));
        // The relay table: the six relays of an RV7406, one row per channel and event.
        QCOMPARE(line(QString::fromUtf8("Событие")),
                 QString::fromUtf8("Событие Реле1 Реле2 Реле3 Реле4 Реле5 Реле6"));
        QVERIFY2(!line(QString::fromUtf8("Канал 6: Ошибка")).isEmpty(), qPrintable(text));
        QVERIFY2(line(QString::fromUtf8("Канал 7")).isEmpty(), qPrintable(text));
    }

    // The report of an RV7408 with a sensor of every kind, read page by page as pdftotext reads
    // it: every page carries the running line and "стр. N из M", every page with rows of a
    // table has that table's column heads, each row's name stands whole on one line of one
    // page, the long sensor names are not broken, a setting that means nothing for a channel's
    // sensor shows "—", and the signatures' block is whole on the last page.
    void reportPrintsCleanlyPageByPage() {
        rv::test::SimProcess sim({"1,model=RV7408"});
        QVERIFY2(sim.started(), sim.error().c_str());
        readFrom(sim, 1);
        // Pt100 (3-wire), 50M (2-wire), two thermocouples, a current, a voltage, the resistance
        // input, a third thermocouple.
        const int types[8] = {6, 0, 7, 10, 14, 15, 17, 11};
        for (int c = 0; c < 8; ++c) {
            form->image().Channels[static_cast<size_t>(c)].SensorType =
                static_cast<uint8_t>(types[c]);
            form->image().Channels[static_cast<size_t>(c)].Scheme = c == 1 ? 1 : 0;
        }
        form->image().Channels[1].Rt0 = rv::MakeWorkingReal(50.125L);
        form->image().Channels[1].RLine = rv::MakeWorkingReal(1.25L);
        const QString pdf = QString::fromStdString(dir.path()) + "/report8.pdf";
        menu()->chooseReportPath = [&](const QString&) { return pdf; };
        menu()->updateActions();
        menu()->reportAction()->trigger();
        QVERIFY(shownOf(ScriptedBoxes::Kind::Error).isEmpty());
        if (const QByteArray shots = qgetenv("RV740X_SHOTS_DIR"); !shots.isEmpty())
            QFile::remove(QString::fromLocal8Bit(shots) + "/report8.pdf"),
                QFile::copy(pdf, QString::fromLocal8Bit(shots) + "/report8.pdf");

        const auto run = [](const QString& program, const QStringList& args) {
            QProcess process;
            process.start(program, args);
            if (!process.waitForFinished(30000)) return QString();
            return QString::fromUtf8(process.readAllStandardOutput());
        };
        const QRegularExpressionMatch pagesLine =
            QRegularExpression("Pages:\\s+([0-9]+)").match(run("pdfinfo", {pdf}));
        QVERIFY2(pagesLine.hasMatch(), "pdfinfo (poppler-utils) did not run");
        const int pages = pagesLine.captured(1).toInt();
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));

        const QStringList channelRows = {"Тип датчика",
                                         "Тип схемы подкл.ТС",
                                         "Кол-во знаков после запятой",
                                         "Сопр. датчика в 0°C",
                                         "Сопротивл. провода",
                                         "Поправка по темп.",
                                         "Кол-во усреднений",
                                         "Значение при min сигнала",
                                         "Значение при max сигнала",
                                         "БИК",
                                         "Уставка 1",
                                         "Гистерезис уставки 1",
                                         "Уставка 2",
                                         "Гистерезис уставки 2",
                                         "Обрыв датчика (низ)",
                                         "Обрыв датчика (верх)",
                                         "Используемые каналы"};
        QStringList relayRows;
        for (int c = 1; c <= 8; ++c)
            for (const char* event : {"Уставка 1", "Уставка 2", "Ошибка"})
                relayRows << QString::fromUtf8("Канал %1: %2").arg(c).arg(QString::fromUtf8(event));
        const QString channelHead =
            "Параметр Канал 1 Канал 2 Канал 3 Канал 4 Канал 5 Канал 6 Канал 7 Канал 8";
        const QString relayHead = "Событие Реле1 Реле2 Реле3 Реле4 Реле5 Реле6 Реле7 Реле8";
        const QStringList* const lists[] = {&channelRows, &relayRows};
        QMap<QString, int> seen;  // row name: times found at a line's start
        QMap<QString, QStringList> cells;
        QString all;
        for (int page = 1; page <= pages; ++page) {
            const QString text = run("pdftotext", {"-layout", "-f", QString::number(page), "-l",
                                                   QString::number(page), pdf, "-"});
            all += text;
            const QString at = QString("page %1 of %2:\n").arg(page).arg(pages) + text;
            // Every word lies inside the printed area: A4 landscape, 842 × 595 points, less the
            // margins of 12 mm (34 points).
            const QString boxes = run("pdftotext", {"-bbox", "-f", QString::number(page), "-l",
                                                    QString::number(page), pdf, "-"});
            const QRegularExpression word(
                "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                "yMax=\"([0-9.]+)\">([^<]*)</word>");
            int words = 0;
            for (auto it = word.globalMatch(boxes); it.hasNext(); ++words) {
                const QRegularExpressionMatch m = it.next();
                const QString where = m.captured(5) + " " + m.captured(0);
                QVERIFY2(m.captured(1).toDouble() >= 33 && m.captured(3).toDouble() <= 842 - 33,
                         qPrintable(where));
                QVERIFY2(m.captured(2).toDouble() >= 33 && m.captured(4).toDouble() <= 595 - 33,
                         qPrintable(where));
            }
            QVERIFY2(words > 10, qPrintable(boxes));
            QVERIFY2(text.contains(QString::fromUtf8("стр. %1 из %2").arg(page).arg(pages)),
                     qPrintable(at));
            QVERIFY2(text.contains(QString::fromUtf8("Отчёт о конфигурации RV7408, ID 010203, ") +
                                   QString::fromStdString(rv::LocalDateText())),
                     qPrintable(at));
            bool channelRow = false;
            bool relayRow = false;
            bool channelHeadSeen = false;
            bool relayHeadSeen = false;
            for (const QString& raw : text.split('\n')) {
                const QString l = raw.simplified();
                channelHeadSeen |= l == channelHead;
                relayHeadSeen |= l == relayHead;
                for (const QStringList* rows : lists) {
                    for (const QString& name : *rows) {
                        if (l != name && !l.startsWith(name + ' ')) continue;
                        // "Уставка 1" also starts "Уставка 1 ..." rows of the relays: only
                        // the longest name that fits counts.
                        bool longer = false;
                        for (const QString& other : *rows)
                            longer |= other.size() > name.size() && l.startsWith(other + ' ');
                        if (longer) continue;
                        ++seen[name];
                        (rows == &channelRows ? channelRow : relayRow) = true;
                        cells[name] = raw.trimmed().split(QRegularExpression(" {2,}"));
                    }
                }
            }
            QVERIFY2(!channelRow || channelHeadSeen, qPrintable(at));
            QVERIFY2(!relayRow || relayHeadSeen, qPrintable(at));
            if (page == pages) {
                for (const char* closing :
                     {"Выполнил", "Принял", "Подпись:", "Ф. И. О.:", "Должность:", "Дата:"})
                    QVERIFY2(text.contains(QString::fromUtf8(closing)), qPrintable(at));
            }
        }
        for (const QStringList* rows : lists)
            for (const QString& name : *rows)
                QVERIFY2(seen.value(name) == 1, qPrintable(name + "\n" + all));
        for (const char* word : {"ХромельАлюмель", "ВольфрамРений(A)-1", "ЖелезоКонстантан"})
            QVERIFY2(all.contains(QString::fromUtf8(word)), qPrintable(all));
        // R0 for the thermometers only, the line's resistance for the two-wire one only, the
        // range for the current and the voltage only.
        const auto row = [&](const char* name) { return cells.value(QString::fromUtf8(name)); };
        const QString dash = QString::fromUtf8("—");
        QCOMPARE(row("Сопр. датчика в 0°C").mid(1),
                 QStringList({"100 " + QString::fromUtf8("Ом"), "50.125 " + QString::fromUtf8("Ом"),
                              dash, dash, dash, dash, dash, dash}));
        QCOMPARE(row("Сопротивл. провода").mid(1),
                 QStringList({dash, "1.25 " + QString::fromUtf8("Ом"), dash, dash, dash, dash, dash,
                              dash}));
        const QStringList range = row("Значение при min сигнала").mid(1);
        QCOMPARE(range.size(), 8);
        for (int c = 0; c < 8; ++c) QCOMPARE(range[c] == dash, c != 4 && c != 5);
    }

    // Files opened and saved come back under "Последние файлы", newest first, eight of them,
    // in this run and the next.
    void recentFilesAreKeptAndReopened() {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "rv740x", "rv740x-config").clear();
        destroyWindow();
        createWindow();
        QVERIFY(menu()->recentFiles().paths().isEmpty());
        rv::test::SimProcess sim({"1,model=RV7408", "5,model=RV7406"});
        QVERIFY2(sim.started(), sim.error().c_str());
        QStringList saved;
        for (int i = 1; i <= 9; ++i) {
            saved.prepend(
                savedFile(sim, i == 9 ? 5 : 1, qPrintable(QString("f%1.rv740x.json").arg(i))));
        }
        QStringList items;
        for (QAction* a : menu()->recentMenu()->actions())
            if (a->isVisible()) items << a->text();
        QCOMPARE(items.size(), 8);
        QCOMPARE(items.first(), QString("&1 f9.rv740x.json"));
        QCOMPARE(items.last(), QString("&8 f2.rv740x.json"));

        // The next run finds them; the first item opens the RV7406's file.
        destroyWindow();
        createWindow();
        QCOMPARE(menu()->recentFiles().paths(), saved.mid(0, 8));
        menu()->updateActions();
        QVERIFY(menu()->recentMenu()->isEnabled());
        menu()->recentMenu()->actions().first()->trigger();
        QVERIFY(shownOf(ScriptedBoxes::Kind::Error).isEmpty());
        QVERIFY(form->source().fromFile);
        QCOMPARE(form->image().ChannelsFitted, uint16_t{0x3F});
        // The new window addresses instrument 1, the file is of instrument 5.
        QCOMPARE(form->windowTitle(),
                 baseTitle() + QString::fromUtf8(" — f9.rv740x.json (RV7406 № 5, ID 010203; "
                                                 "адресован прибор № 1)"));

        // A file that is gone says so and leaves the list.
        QFile::remove(saved[1]);
        menu()->recentMenu()->actions()[1]->trigger();
        QCOMPARE(shownOf(ScriptedBoxes::Kind::Error).size(), 1);
        QCOMPARE(menu()->recentFiles().paths().size(), 7);
        QVERIFY(!menu()->recentMenu()->actions()[7]->isVisible());
        QVERIFY(!menu()->recentFiles().paths().contains(saved[1]));
    }

    void openAndWritePutTheMemoryBack() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        const QString path = savedFile(sim, 1, "backup.rv740x.json");
        const auto before = rv::test::ReadStateFile(sim.stateFile(1));
        // Another program changes channel 2's settings, spare byte included.
        auto main2 = rv::test::ReadBlockCopy(sim.stateFile(1), 4, false);
        std::vector<uint8_t> data(main2.begin() + 1, main2.begin() + 36);
        data[0] = 13;
        data[34] ^= 0xA5;
        {
            // Another program, on a thread of its own: the window's thread never uses the line.
            bool written = false;
            std::thread([&] {
                rv::test::SimClient client(sim.linkPath(), 9600, 1);
                written = client.opened && rv::test::WriteBlockImage(client, 4, data);
            }).join();
            QVERIFY(written);
        }
        QVERIFY(rv::test::ReadStateFile(sim.stateFile(1)) != before);

        menu()->openConfiguration();
        boxes->shown.clear();
        boxes->answers = {true};
        transfer().BtnSaveClick();
        QCOMPARE(boxes->shown.size(), size_t{1});  // same instrument: no warning
        QVERIFY(shownOf(ScriptedBoxes::Kind::Error).isEmpty());
        QVERIFY(rv::test::ReadStateFile(sim.stateFile(1)) == before);
    }

    void compareFindsExactlyTheChangedFields() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        const QString path = savedFile(sim, 1, "before.rv740x.json");
        const rv::ConfigImage read = form->image();

        // Set point 2 of channel 4 becomes 30 in the instrument.
        auto points4 = rv::test::ReadBlockCopy(sim.stateFile(1), 14, false);
        std::vector<uint8_t> data(points4.begin() + 1, points4.begin() + 17);
        data[8] = 0x85;
        data[9] = 0x70;
        data[10] = data[11] = 0;
        {
            // Another program, on a thread of its own: the window's thread never uses the line.
            bool written = false;
            std::thread([&] {
                rv::test::SimClient client(sim.linkPath(), 9600, 1);
                written = client.opened && rv::test::WriteBlockImage(client, 14, data);
            }).join();
            QVERIFY(written);
        }
        boxes->answers = {true};
        menu()->compareWithInstrument();
        // Its own question: the window's data are not replaced.
        QCOMPARE(shownOf(ScriptedBoxes::Kind::ConfirmOkCancel).last(),
                 QString::fromUtf8("Считать конфигурацию из прибора для сравнения?"));
        QVERIFY(form->image() == read);
        QVERIFY(menu()->differenceWindow());
        QTableWidget* table = menu()->differenceWindow()->table();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(tableRow(0), QStringList({"4", QString::fromUtf8("Уставка 2"),
                                           QString::fromStdString(rv::ShortestRealText(
                                               rv::ToDeviceFloat(read.Channels[3].Ustav2))),
                                           "30"}));
        QCOMPARE(table->horizontalHeaderItem(3)->text(), QString::fromUtf8("В приборе"));

        // The saved file holds what the window shows; the file is chosen in a dialog of its
        // own, not the opening one.
        menu()->chooseOpenPath = [](const QString&) { return QString(); };
        menu()->compareWithFile();
        QCOMPARE(menu()->differenceWindow()->summary()->text(), QString::fromUtf8("Различий нет."));
        QVERIFY(!menu()->differenceWindow()->table()->isVisibleTo(menu()->differenceWindow()));
    }

    void fieldNamesAreThePageLabels() {
        rv::ConfigImage a;
        rv::ConfigImage b;
        for (rv::ChannelConfig& c : b.Channels) {
            c.SensorType = 0;
            c.Scheme = 1;
            c.Frac = 3;
            c.Usred = 7;
            c.Flags = 1;
            for (rv::WorkingReal* r : {&c.Rt0, &c.RLine, &c.Delta, &c.Diap1, &c.Diap2, &c.Ustav1,
                                       &c.Ustav2, &c.AlarmLow, &c.AlarmHigh})
                *r = rv::MakeWorkingReal(7.0L);
        }
        QStringList labels;
        for (QLabel* l : control<QWidget>("TabCtrl")->findChildren<QLabel*>())
            labels << l->text().replace('\n', ' ');
        labels << control<QCheckBox>("BitSQRT")->text();
        for (const rv::FieldDifference& d : rv::CompareConfigurations(a, b))
            QVERIFY2(labels.contains(QString::fromStdString(d.field)), d.field.c_str());
    }
};

QTEST_MAIN(ConfigFileWindowTest)
#include "config_file_window_test.moc"
