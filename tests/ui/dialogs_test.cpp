#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <random>

#include "config/image.h"
#include "link/status.h"
#include "sim_log.h"
#include "ui/text_spin_box.h"
#include "window_fixture.h"

Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

// The requests the simulator heard, as "net/baud/text".
QStringList heard(const rv::test::SimProcess& sim) {
    QStringList lines;
    for (const auto& request : rv::test::HeardRequests(sim.logPath()))
        lines << QString("%1/%2/%3")
                     .arg(request.net)
                     .arg(request.baud)
                     .arg(QString::fromStdString(request.text));
    return lines;
}

int cellIndex(int relay, int channel, int event) { return 24 * relay + 3 * channel + event; }

}  // namespace

// The password and network dialog and the relay dialog, alone and as the main window opens
// them.
class DialogsTest : public QObject, private WindowFixture {
    Q_OBJECT

    std::vector<int> gauge;

    rv::ConfigImage& image() { return form->image(); }

    // Opens the password dialog from the main window, runs `whileOpen` while it is up and
    // closes it with "Ok".
    void withPasswordDialog(const std::function<void()>& whileOpen) {
        form->BtnPASSClick();
        QVERIFY(!form->isEnabled());
        QVERIFY(pass->isVisible());
        whileOpen();
        pass->Button1Click();
    }

    void checkWriteEnded() {
        QVERIFY(pass->isEnabled());
        QVERIFY(pass->isVisible());
        QVERIFY(!info->isVisible());
        QVERIFY(child<QPushButton>(info, "BtnCancel")->isEnabled());
        QVERIFY(portFree());
    }

    void popupAndChoose(int cell, QAction* action) {
        QLabel* label = child<QLabel>(rele, QString("RelayCell%1").arg(cell));
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                label->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(label, &event);
        QCOMPARE(rele->popupCell(), cell);
        QMenu* menu =
            cell % 3 == 2 ? child<QMenu>(rele, "PopError") : child<QMenu>(rele, "PopUstav");
        QVERIFY(menu->isVisible());
        action->trigger();
        menu->hide();
    }

  private slots:
    void init() {
        createWindow();
        // The progress window's gauge as a dialog write shows it: on show, and at every step.
        QProgressBar* stepper = child<QProgressBar>(info, "Stepper");
        const auto look = [this, stepper] {
            if (info->isVisible() && (gauge.empty() || gauge.back() != stepper->value()))
                gauge.push_back(stepper->value());
        };
        watchWait = look;
        QObject::connect(stepper, &QProgressBar::valueChanged, info, look);
        gauge.clear();
    }
    void cleanup() { destroyWindow(); }

    void passwordDialogControls() {
        QCOMPARE(pass->windowTitle(), utf8("Изменение пароля и сетевого номера"));
        QVERIFY(!(pass->windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(child<QPushButton>(pass, "BtnPASS")->text(), utf8("Изменить"));
        QCOMPARE(child<QPushButton>(pass, "BtnSENO")->text(), utf8("Изменить"));
        QCOMPARE(child<QPushButton>(pass, "Button1")->text(), QString("Ok"));
        QCOMPARE(child<QComboBox>(pass, "MenuSPD")->count(), 7);
        QCOMPARE(child<QComboBox>(pass, "MenuSPD")->itemText(0), utf8("  300  бод"));
        QCOMPARE(child<QComboBox>(pass, "MenuSPD")->itemText(6), utf8(" 19200  бод"));
        for (QLineEdit* sym : {child<QLineEdit>(pass, "Sym1"), child<QLineEdit>(pass, "Sym2"),
                               child<QLineEdit>(pass, "Sym3"), child<QLineEdit>(pass, "Sym4")}) {
            QCOMPARE(sym->maxLength(), 1);
            QCOMPARE(sym->toolTip(),
                     utf8("Допустимые значения: 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, A, B, C, D, E, F."));
        }
        QCOMPARE(child<QLineEdit>(pass, "EdSENO")->toolTip(),
                 utf8("Номер прибора который будет установлен после записи"));
        QCOMPARE(child<QComboBox>(pass, "MenuSPD")->toolTip(),
                 utf8("Скорость интерфейса которая будет установлена после записи"));
        QCOMPARE(child<QLabel>(pass, "Label1")->text(), utf8("Пароль"));
        QCOMPARE(child<QLabel>(pass, "Label1")->toolTip(),
                 utf8("Пароль для доступа к изменению уставок"));
        QCOMPARE(child<QLabel>(pass, "Label2")->text(), utf8("Сетевой  номер"));
        QCOMPARE(child<QLabel>(pass, "Label3")->text(), utf8("Скор.  интерф."));
        // Tab order: the digits, their button, number, speed, its button, Ok.
        QWidget* w = child<QLineEdit>(pass, "Sym1");
        const QList<QWidget*> order{
            child<QLineEdit>(pass, "Sym2"),      child<QLineEdit>(pass, "Sym3"),
            child<QLineEdit>(pass, "Sym4"),      child<QPushButton>(pass, "BtnPASS"),
            child<QLineEdit>(pass, "EdSENO"),    child<QComboBox>(pass, "MenuSPD"),
            child<QPushButton>(pass, "BtnSENO"), child<QPushButton>(pass, "Button1")};
        for (QWidget* next : order) {
            QWidget* following = w->nextInFocusChain();
            while (!(following->focusPolicy() & Qt::TabFocus))
                following = following->nextInFocusChain();
            QCOMPARE(following->objectName(), next->objectName());
            w = next;
        }
    }

    void startupValuesShown() {
        withPasswordDialog([&] {
            QCOMPARE(child<QLineEdit>(pass, "EdSENO")->text(), QString("  1"));
            QCOMPARE(child<QComboBox>(pass, "MenuSPD")->currentText(), utf8("  9600  бод"));
            for (QLineEdit* sym : {child<QLineEdit>(pass, "Sym1"), child<QLineEdit>(pass, "Sym2"),
                                   child<QLineEdit>(pass, "Sym3"), child<QLineEdit>(pass, "Sym4")})
                QCOMPARE(sym->text(), QString("0"));
        });
        QVERIFY(form->isEnabled());
        QVERIFY(!pass->isVisible());
    }

    void digitEntry_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("value");
        // Each field starts at 5.
        QTest::newRow("lower a in Sym2") << 2 << "a"
                                         << "A" << 10;
        QTest::newRow("upper B in Sym3") << 3 << "B"
                                         << "b" << 11;
        QTest::newRow("lower c") << 1 << "c"
                                 << "C" << 12;
        QTest::newRow("upper D") << 4 << "D"
                                 << "d" << 13;
        QTest::newRow("lower e") << 1 << "e"
                                 << "E" << 14;
        QTest::newRow("lower f") << 2 << "f"
                                 << "F" << 15;
        QTest::newRow("digit 9") << 3 << "9"
                                 << "9" << 9;
        QTest::newRow("beyond F") << 2 << "g"
                                  << "5" << 5;
        QTest::newRow("blank") << 4 << " "
                               << "5" << 5;
        QTest::newRow("emptied") << 1 << ""
                                 << "5" << 5;
    }
    void digitEntry() {
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, value);
        image().Password = 0x5555;
        QLineEdit* sym =
            std::array{child<QLineEdit>(pass, "Sym1"), child<QLineEdit>(pass, "Sym2"),
                       child<QLineEdit>(pass, "Sym3"), child<QLineEdit>(pass, "Sym4")}[field - 1];
        pass->show();
        pass->FormActivate();
        sym->setFocus();
        sym->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(sym, Qt::Key_Backspace);
        else
            QTest::keyClicks(sym, typed);
        QCOMPARE(sym->text(), shown);
        QCOMPARE((pass->passwordOfDigits() >> (4 * (4 - field))) & 0xF, value);
        // The whole digit is selected, so the next key replaces it.
        QCOMPARE(sym->selectedText(), shown);
        const int shift = 4 * (4 - field);
        QCOMPARE(pass->passwordOfDigits(), (0x5555 & ~(0xF << shift)) | (value << shift));
        pass->Button1Click();
        QCOMPARE(image().Password, pass->passwordOfDigits());
    }

    // After a read, the dialog opens with Sym1 holding the focus and its digit selected: the
    // first key typed, without a click, replaces it.
    void firstKeyReplacesTheFirstDigit() {
        rv::test::SimProcess sim({"1,password=1234"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QCOMPARE(image().Password, uint16_t(0x1234));
        withPasswordDialog([&] {
            QVERIFY(QTest::qWaitForWindowActive(pass));
            QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(pass, "Sym1"));
            for (QLineEdit* sym : {child<QLineEdit>(pass, "Sym1"), child<QLineEdit>(pass, "Sym2"),
                                   child<QLineEdit>(pass, "Sym3"), child<QLineEdit>(pass, "Sym4")})
                QCOMPARE(sym->selectedText(), sym->text());
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_A);
            QCOMPARE(child<QLineEdit>(pass, "Sym1")->text(), QString("A"));
            QCOMPARE(pass->passwordOfDigits(), uint16_t(0xA234));
        });
        QCOMPARE(image().Password, uint16_t(0xA234));
    }

    // Typed digits survive a switch to another application and back; a window of this
    // program taking the activation and giving it back still reloads them from the image.
    void digitsSurviveAnApplicationSwitch() {
        image().Password = 0x1234;
        withPasswordDialog([&] {
            QVERIFY(QTest::qWaitForWindowActive(pass));
            for (auto key : {Qt::Key_9, Qt::Key_Tab, Qt::Key_8, Qt::Key_Tab, Qt::Key_7, Qt::Key_Tab,
                             Qt::Key_6})
                QTest::keyClick(static_cast<QWidget*>(nullptr), key);
            QCOMPARE(pass->passwordOfDigits(), uint16_t(0x9876));

            // A window that is no widget of this program stands in for another application.
            QWindow elsewhere;
            elsewhere.resize(50, 50);
            elsewhere.show();
            elsewhere.requestActivate();
            QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
            QCOMPARE(QApplication::activeWindow(), nullptr);
            QCOMPARE(image().Password, uint16_t(0x1234));
            pass->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(pass));
            QCOMPARE(pass->passwordOfDigits(), uint16_t(0x9876));
            QCOMPARE(child<QLineEdit>(pass, "Sym4")->text(), QString("6"));
            elsewhere.hide();

            // The main window stands in for a message box of this program: leaving for it
            // stores the digits, coming back reloads them from the image.
            QVERIFY(QTest::qWaitForWindowActive(pass));
            QCOMPARE(image().Password, uint16_t(0x1234));
            form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form));
            QCOMPARE(image().Password, uint16_t(0x9876));
            image().Password = 0x5555;
            pass->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(pass));
            QCOMPARE(pass->passwordOfDigits(), uint16_t(0x5555));
        });
        QCOMPARE(image().Password, uint16_t(0x5555));
    }

    void networkNumberEntry_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("decimal") << "  17" << 17 << "  17";
        QTest::newRow("dollar hex") << "$FE" << 254 << "$FE";
        QTest::newRow("0x hex") << "0x10" << 16 << "0x10";
        QTest::newRow("lowest") << "1" << 1 << "1";
        QTest::newRow("zero refused") << "0" << 42 << "  42";
        QTest::newRow("255 refused") << "255" << 42 << "  42";
        QTest::newRow("no number") << "7a" << 42 << "  42";
        QTest::newRow("negative") << "-3" << 42 << "  42";
    }
    void networkNumberEntry() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(QString, shown);
        image().DialogNetNumber = 42;
        pass->FormActivate();
        child<QLineEdit>(pass, "EdSENO")->setText(typed);
        QCOMPARE(int(image().DialogNetNumber), stored);
        QCOMPARE(child<QLineEdit>(pass, "EdSENO")->text(), shown);
    }

    void speedChoiceStored() {
        pass->FormActivate();
        child<QComboBox>(pass, "MenuSPD")->setCurrentIndex(2);
        QCOMPARE(int(image().DialogSpeedIndex), 2);
    }

    void answeringNoSendsNothing() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {false, false};
        withPasswordDialog([&] {
            child<QLineEdit>(pass, "EdSENO")->setText("9");
            pass->BtnSENOClick();
            pass->BtnPASSClick();
        });
        QCOMPARE(boxes->shown.size(), size_t(2));
        QCOMPARE(boxes->shown[0].text, utf8(" Изменить сетевой номер прибора и скорость обмена ?"));
        QCOMPARE(boxes->shown[1].text, utf8(" Изменить пароль доступа к уставкам ?"));
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmYesNo), 2);
        QVERIFY(heard(sim).isEmpty());
        QCOMPARE(settings().NetNumber, 1u);
        QVERIFY(gauge.empty());
    }

    void passwordWriteLandsInBlock20() {
        rv::test::SimProcess sim({"1,password=1111"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        const std::vector<uint8_t> before = rv::test::ReadBlockCopy(sim.stateFile(1), 20, false);
        QCOMPARE(before.size(), size_t(8));
        image().DisplayPeriodByte = rv::DisplayCodeFromSeconds(7);
        boxes->answers = {true};
        withPasswordDialog([&] {
            QTest::keyClicks(child<QLineEdit>(pass, "Sym1"), "");
            for (auto [sym, text] : {std::pair{child<QLineEdit>(pass, "Sym1"), "a"},
                                     std::pair{child<QLineEdit>(pass, "Sym2"), "B"},
                                     std::pair{child<QLineEdit>(pass, "Sym3"), "c"},
                                     std::pair{child<QLineEdit>(pass, "Sym4"), "D"}})
                sym->setText(text);
            pass->BtnPASSClick();
            checkWriteEnded();
        });
        QVERIFY(errors().isEmpty());
        QCOMPARE(image().Password, uint16_t(0xABCD));
        for (bool backup : {false, true}) {
            const std::vector<uint8_t> copy = rv::test::ReadBlockCopy(sim.stateFile(1), 20, backup);
            QVERIFY(rv::test::BlockCopyValid(copy, 20));
            QCOMPARE(int(copy[1]), 0xCD);  // Sym3, Sym4
            QCOMPARE(int(copy[2]), 0xAB);  // Sym1, Sym2
            QCOMPARE(int(copy[3]), int(before[3]));
            QCOMPARE(int(copy[4]), int(before[4]));
            // The display period stays as the instrument holds it, whatever the window shows.
            QCOMPARE(int(copy[5]), int(before[5]));
        }
        QCOMPARE(gauge, (std::vector<int>{0, 30, 75}));
        // The program keeps addressing the instrument as before.
        QCOMPARE(settings().NetNumber, 1u);
        QCOMPARE(settings().BaudRate, 9600u);
        QCOMPARE(heard(sim).last(), QString("1/9600/3;"));
    }

    // The password write leaves the addressed instrument's display period alone, whether the
    // window holds its start-up value or the value of another instrument it read.
    void passwordWriteKeepsTheDisplayPeriod_data() {
        QTest::addColumn<bool>("readOtherFirst");
        QTest::newRow("nothing read") << false;
        QTest::newRow("instrument 1 read, 2 addressed") << true;
    }
    void passwordWriteKeepsTheDisplayPeriod() {
        QFETCH(bool, readOtherFirst);
        rv::test::TempDir state;
        rv::test::SimOptions options;
        options.instruments = {"1", "2,model=RV7406"};
        options.stateDir = state.path();
        {
            rv::test::SimProcess factory(options);
            QVERIFY2(factory.started(), factory.error().c_str());
        }
        // Instrument 2 shows each channel for 8 s (code 30); instrument 1 and the window's
        // start-up value have 3 s (code 11).
        const std::string memory2 = state.path() + "/2.mem";
        QVERIFY(rv::test::PatchBlockData(memory2, 20, 5, {30}));
        rv::test::SimProcess sim(options);
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        if (readOtherFirst) {
            boxes->answers = {true};
            transfer().BtnLoadClick();
            QVERIFY(image().LoadedId != 0);
        }
        QCOMPARE(int(image().DisplayPeriodByte), 11);
        control<QSpinBox>("Pribor")->setValue(2);
        const std::vector<uint8_t> before = rv::test::ReadBlockCopy(memory2, 20, false);
        boxes->answers.push_back(true);
        withPasswordDialog([&] {
            child<QLineEdit>(pass, "Sym4")->setText("7");
            pass->BtnPASSClick();
            checkWriteEnded();
        });
        QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        for (bool backup : {false, true}) {
            std::vector<uint8_t> expected = before;
            expected[1] = 0x07;
            expected[2] = 0x00;
            const uint16_t crc = rv::test::BlockCrc(expected.data(), 6);
            expected[6] = static_cast<uint8_t>(crc & 0xFF);
            expected[7] = static_cast<uint8_t>(crc >> 8);
            QCOMPARE(rv::test::ReadBlockCopy(memory2, 20, backup), expected);
        }
        QCOMPARE(int(before[5]), 30);
    }

    void networkChangeIsFollowedByTheProgram() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {true};
        withPasswordDialog([&] {
            child<QLineEdit>(pass, "EdSENO")->setText("  7");
            child<QComboBox>(pass, "MenuSPD")->setCurrentIndex(6);
            pass->BtnSENOClick();
            checkWriteEnded();
        });
        QVERIFY(errors().isEmpty());
        QCOMPARE(gauge, (std::vector<int>{0, 30, 75}));
        QCOMPARE(control<QSpinBox>("Pribor")->value(), 7);
        QCOMPARE(control<QComboBox>("MenuTecSPD")->currentText(), utf8("  19200  бод"));
        QCOMPARE(settings().NetNumber, 7u);
        QCOMPARE(settings().BaudRate, 19200u);

        const qsizetype before = heard(sim).size();
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        QVERIFY(image().LoadedId != 0);
        const QStringList read = heard(sim).mid(before);
        QVERIFY(!read.isEmpty());
        for (const QString& request : read)
            QVERIFY2(request.startsWith("7/19200/"), qPrintable(request));
        QCOMPARE(int(image().DialogNetNumber), 7);
        QCOMPARE(int(image().DialogSpeedIndex), 6);
    }

    void writeFailures_data() {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QString>("instrument");
        QTest::addColumn<int>("status");
        QTest::newRow("network, port missing") << true << "" << int(rv::status::kPortOpen);
        QTest::newRow("password, port missing") << false << "" << int(rv::status::kPortOpen);
        QTest::newRow("network, no answer") << true << "1,silent" << int(rv::status::kNoReply);
        QTest::newRow("network, other family")
            << true << "1,family=18" << int(rv::status::kNotRv740x);
        QTest::newRow("password, other family")
            << false << "1,family=18" << int(rv::status::kNotRv740x);
        QTest::newRow("network, block unreadable")
            << true << "1,bad-both=1" << int(rv::status::kMemoryData);
        QTest::newRow("password, block unreadable")
            << false << "1,bad-both=20" << int(rv::status::kMemoryData);
        QTest::newRow("network, byte echo wrong")
            << true << "1,bad-echo=2" << int(rv::status::kMemoryData);
        QTest::newRow("network, closing refused")
            << true << "1,close=5" << int(rv::status::kExchange);
        QTest::newRow("password, closing refused")
            << false << "1,close=5" << int(rv::status::kExchange);
    }
    void writeFailures() {
        QFETCH(bool, network);
        QFETCH(QString, instrument);
        QFETCH(int, status);
        rv::test::SimProcess sim(
            {instrument.isEmpty() ? std::string("1") : instrument.toStdString()});
        QVERIFY2(sim.started(), sim.error().c_str());
        settings().Device = instrument.isEmpty() ? sim.linkPath() + ".missing" : sim.linkPath();
        boxes->answers = {true};
        withPasswordDialog([&] {
            child<QLineEdit>(pass, "EdSENO")->setText("  9");
            child<QComboBox>(pass, "MenuSPD")->setCurrentIndex(6);
            if (network)
                pass->BtnSENOClick();
            else
                pass->BtnPASSClick();
            checkWriteEnded();
        });
        QCOMPARE(errors(), QStringList{QString::fromStdString(rv::StatusText(status))});
        // The error box comes while the dialog is still disabled.
        QVERIFY(!boxes->shown.back().parentEnabled);
        QCOMPARE(settings().NetNumber, 1u);
        QCOMPARE(settings().BaudRate, 9600u);
        QCOMPARE(control<QSpinBox>("Pribor")->value(), 1);
        if (instrument.isEmpty()) QVERIFY(heard(sim).isEmpty());
    }

    void relayDialogLayout() {
        QCOMPARE(rele->windowTitle(), utf8("Управление коммутацией РЕЛЕ"));
        QCOMPARE(child<QScrollArea>(rele, "Scroll")->horizontalScrollBarPolicy(),
                 Qt::ScrollBarAlwaysOff);
        QCOMPARE(child<QPushButton>(rele, "BtnER")->text(), QString("Ok"));
        QVERIFY(child<QPushButton>(rele, "BtnER")->geometry().left() >
                child<QScrollArea>(rele, "Scroll")->geometry().right());
        for (int r = 0; r < 8; ++r) {
            QCOMPARE(child<QLabel>(rele, QString("LabelRelay%1").arg((r) + 1))->text(),
                     utf8("Реле") + QString::number(r + 1));
            QVERIFY(child<QLabel>(rele, QString("LabelRelay%1").arg((r) + 1))->font().bold());
            for (int c = 0; c < 8; ++c) {
                for (int e = 0; e < 3; ++e) {
                    const QLabel* cell =
                        child<QLabel>(rele, QString("RelayCell%1").arg(cellIndex(r, c, e)));
                    QCOMPARE(cell->geometry(), QRect(110 + 65 * r, 22 + 88 * c + 21 * e, 59, 20));
                    QCOMPARE(cell->frameShadow(), QFrame::Sunken);
                    QCOMPARE(cell->parentWidget(), child<QScrollArea>(rele, "Scroll")->widget());
                    QCOMPARE(cell->text(), utf8("Нет"));
                }
            }
            // The relay label stands over its column.
            const QPoint cellLeft =
                child<QLabel>(rele, QString("RelayCell%1").arg(cellIndex(r, 0, 0)))
                    ->mapTo(rele, QPoint(0, 0));
            QCOMPARE(child<QLabel>(rele, QString("LabelRelay%1").arg((r) + 1))->geometry().left(),
                     cellLeft.x());
        }
        QStringList groups;
        for (const QGroupBox* g :
             child<QScrollArea>(rele, "Scroll")->widget()->findChildren<QGroupBox*>())
            groups << g->title();
        QCOMPARE(groups.size(), 8);
        QVERIFY(groups.contains(utf8("Канал  1")) && groups.contains(utf8("Канал  8")));
        QStringList items;
        for (QAction* a : child<QMenu>(rele, "PopUstav")->actions())
            items << a->objectName() + "=" + a->text();
        QCOMPARE(items, QStringList({utf8("N1=Нет"), utf8("N2=Нижняя"), utf8("N3=Верхняя"),
                                     utf8("N4=Выкл")}));
        items.clear();
        for (QAction* a : child<QMenu>(rele, "PopError")->actions())
            items << a->objectName() + "=" + a->text();
        QCOMPARE(items, QStringList({utf8("E1=Нет"), utf8("E2=Вкл"), utf8("E3=Выкл")}));
    }

    void relayCodesLook_data() {
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        const QColor face = QApplication::palette().color(QPalette::Button);
        QTest::newRow("N1") << 0 << "N1" << utf8("Нет") << face;
        QTest::newRow("N2") << 0 << "N2" << utf8("Нижняя") << QColor(0, 255, 255);
        QTest::newRow("N3") << 1 << "N3" << utf8("Верхняя") << QColor(255, 0, 255);
        QTest::newRow("N4") << 1 << "N4" << utf8("Выкл") << QColor(0, 255, 0);
        QTest::newRow("E1") << 2 << "E1" << utf8("Нет") << face;
        QTest::newRow("E2") << 2 << "E2" << utf8("Вкл") << QColor(255, 0, 0);
        QTest::newRow("E3") << 5 << "E3" << utf8("Выкл") << QColor(0, 255, 0);
    }
    void relayCodesLook() {
        QFETCH(int, cell);
        QFETCH(QString, item);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        image().RelayMask = 0xFF;
        image().RelayTable.fill(0x55);  // every cell at code 1 first
        rele->show();
        popupAndChoose(cell, rele->findChild<QAction*>(item));
        QCOMPARE(child<QLabel>(rele, QString("RelayCell%1").arg(cell))->text(), text);
        QCOMPARE(child<QLabel>(rele, QString("RelayCell%1").arg(cell))
                     ->palette()
                     .color(QPalette::Window),
                 colour);
        QVERIFY(rele->isVisible());
    }

    void relayBitExamples_data() {
        QTest::addColumn<QList<int>>("cells");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("value");
        QTest::newRow("relay 1, channel 1, set point 1 low")
            << QList<int>{cellIndex(0, 0, 0)} << QStringList{"N2"} << 0 << 0x01;
        QTest::newRow("and channel 2, set point 1 high")
            << QList<int>{cellIndex(0, 0, 0), cellIndex(0, 1, 0)} << QStringList{"N2", "N3"} << 0
            << 0x81;
        QTest::newRow("relay 8, channel 8, fault on")
            << QList<int>{cellIndex(7, 7, 2)} << QStringList{"E2"} << 47 << 0x40;
        QTest::newRow("relay 3, channel 4, set point 2 off")
            << QList<int>{cellIndex(2, 3, 1)} << QStringList{"N4"} << 14 << 0x30;
    }
    void relayBitExamples() {
        QFETCH(QList<int>, cells);
        QFETCH(QStringList, items);
        QFETCH(int, byte);
        QFETCH(int, value);
        image().RelayMask = 0xFF;
        image().RelayTable.fill(0);
        rele->show();
        for (int i = 0; i < cells.size(); ++i)
            popupAndChoose(cells[i], rele->findChild<QAction*>(items[i]));
        rele->BtnERClick();
        QVERIFY(!rele->isVisible());
        for (int b = 0; b < rv::kRelayTableSize; ++b)
            QCOMPARE(int(image().RelayTable[b]), b == byte ? value : 0);
    }

    void byteFFShowsThreeOffAndFaultNone() {
        image().RelayMask = 0xFF;
        image().RelayTable.fill(0);
        image().RelayTable[1] = 0xFF;  // relay 1, events 4..7
        rele->show();
        QCOMPARE(child<QLabel>(rele, QString("RelayCell%1").arg(4))->text(), utf8("Выкл"));
        QCOMPARE(child<QLabel>(rele, QString("RelayCell%1").arg(5))->text(), utf8("Нет"));
        QCOMPARE(rele->cellCode(5), 0);
        QCOMPARE(child<QLabel>(rele, QString("RelayCell%1").arg(6))->text(), utf8("Выкл"));
        QCOMPARE(child<QLabel>(rele, QString("RelayCell%1").arg(7))->text(), utf8("Выкл"));
        QCOMPARE(rele->cellCode(7), 3);
        rele->BtnERClick();
        QCOMPARE(int(image().RelayTable[1]), 0xF3);
    }

    void openCloseKeepsAllButFaultThrees_data() {
        QTest::addColumn<int>("mask");
        QTest::newRow("relays 1 and 2 fitted") << 0x0003;
        QTest::newRow("all fitted") << 0x00FF;
        QTest::newRow("none fitted") << 0x0000;
    }
    void openCloseKeepsAllButFaultThrees() {
        QFETCH(int, mask);
        std::mt19937 generator(7);
        std::array<uint8_t, rv::kRelayTableSize> original{};
        for (uint8_t& b : original) b = static_cast<uint8_t>(generator());
        original[47] = 0xFF;
        image().RelayTable = original;
        image().RelayMask = static_cast<uint16_t>(mask);
        rele->show();
        for (int r = 0; r < 8; ++r)
            for (int n = 0; n < 24; ++n)
                QCOMPARE(
                    child<QLabel>(rele, QString("RelayCell%1").arg(24 * r + n))->isVisibleTo(rele),
                    bool((mask >> r) & 1));
        rele->BtnERClick();
        for (int b = 0; b < rv::kRelayTableSize; ++b) {
            int want = original[b];
            for (int slot = 0; slot < 4; ++slot) {
                const int event = 4 * (b % 6) + slot;
                if (event % 3 == 2 && ((want >> (2 * slot)) & 3) == 3) want &= ~(3 << (2 * slot));
            }
            QCOMPARE(int(image().RelayTable[b]), want);
        }
    }

    void escapeOrCloseLeavesTheDialogUp_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("escape");
        for (const char* dialog : {"FormPASS", "FormRELE", "InfoForm"}) {
            QTest::addRow("%s, Esc", dialog) << dialog << true;
            QTest::addRow("%s, close request", dialog) << dialog << false;
        }
    }
    void escapeOrCloseLeavesTheDialogUp() {
        QFETCH(QString, dialog);
        QFETCH(bool, escape);
        QDialog* window = dialog == "FormPASS"   ? static_cast<QDialog*>(pass)
                          : dialog == "FormRELE" ? static_cast<QDialog*>(rele)
                                                 : static_cast<QDialog*>(info);
        if (window == info)
            info->startOperation(utf8("  Чтение ..."), true);
        else
            window->show();
        if (escape)
            QTest::keyClick(window, Qt::Key_Escape);
        else
            window->close();
        QVERIFY(window->isVisible());
    }

    void relayEditsSurviveEscape() {
        image().RelayMask = 0xFF;
        image().RelayTable.fill(0);
        control<QPushButton>("BtnRELE")->setEnabled(true);
        form->BtnRELEClick();
        popupAndChoose(cellIndex(0, 0, 0), child<QAction>(rele, "N2"));
        QTest::keyClick(rele, Qt::Key_Escape);
        if (rele->isVisible()) rele->BtnERClick();
        QVERIFY(form->isEnabled());
        QCOMPARE(int(image().RelayTable[0]), 0x01);
    }

    void enterInAFieldStartsNoWrite_data() {
        QTest::addColumn<QString>("field");
        for (const char* field : {"Sym1", "Sym4", "EdSENO", "MenuSPD"})
            QTest::newRow(field) << field;
    }
    void enterInAFieldStartsNoWrite() {
        QFETCH(QString, field);
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {true};
        withPasswordDialog([&] {
            QWidget* w = pass->findChild<QWidget*>(field);
            QVERIFY(w);
            w->setFocus();
            QTest::keyClick(w, Qt::Key_Return);
            QTest::keyClick(w, Qt::Key_Enter);
        });
        QVERIFY2(boxes->shown.empty(),
                 boxes->shown.empty() ? "" : qPrintable(boxes->shown[0].text));
        QVERIFY(heard(sim).isEmpty());
    }

    void setPointItemOnAFaultCell() {
        image().RelayMask = 0xFF;
        image().RelayTable.fill(0);
        rele->show();
        const int fault = cellIndex(1, 2, 2);
        rele->popupCellMenu(fault, rele->mapToGlobal(QPoint(5, 5)));
        child<QAction>(rele, "N4")->trigger();
        child<QMenu>(rele, "PopError")->hide();
        // A fault has no code 3: the cell stays at none.
        QCOMPARE(rele->cellCode(fault), 0);
        QCOMPARE(child<QLabel>(rele, QString("RelayCell%1").arg(fault))->text(), utf8("Нет"));
        rele->BtnERClick();
        for (int b = 0; b < rv::kRelayTableSize; ++b) QCOMPARE(int(image().RelayTable[b]), 0);
    }

    void relayDialogWaitsAndLeavesOnActivation() {
        image().RelayMask = 0xFF;
        image().RelayTable.fill(0);
        control<QPushButton>("BtnRELE")->setEnabled(true);
        QWidget other;
        form->BtnRELEClick();
        QVERIFY(!form->isEnabled());
        QVERIFY(rele->isVisible());
        popupAndChoose(0, child<QAction>(rele, "N2"));
        // Another window of the program becomes active: the dialog hides and packs.
        other.show();
        other.activateWindow();
        QTRY_VERIFY(!rele->isVisible());
        QVERIFY(form->isEnabled());
        QVERIFY(!rele->isVisible());
        QCOMPARE(int(image().RelayTable[0]), 0x01);
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
