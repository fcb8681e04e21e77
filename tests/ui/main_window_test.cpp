#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>

#include "channel/fields.h"
#include "link/session.h"
#include "link/timeouts.h"
#include "named_child.h"
#include "pty_peer.h"
#include "rv740x_version.h"
#include "scripted_boxes.h"
#include "ui/Info.h"
#include "ui/WN1.h"
#include "ui/bus_panel.h"
#include "ui/channel_page.h"
#include "ui/line_owner.h"
#include "ui/main_menu.h"
#include "ui/transfer_buttons.h"

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedBoxes> boxes;
    std::unique_ptr<LineOwner> line;
    std::unique_ptr<TDeskForm> form;

    template <typename T>
    T* control(const char* name) {
        T* found = form->findChild<T*>(name);
        if (!found) qFatal("no control %s", name);
        return found;
    }
    QLineEdit* pauseText() { return control<QSpinBox>("EdPause")->findChild<QLineEdit*>(); }
    QLineEdit* priborText() { return control<QSpinBox>("Pribor")->findChild<QLineEdit*>(); }

    // Starts a use of the line that waits for an answer from a peer that never gives one, up to
    // its time-out, unless it is cancelled; `ended` receives its result.
    void startSilentUse(rv::test::PtyPeer& peer, std::optional<LineResult>& ended) {
        line->settings().Device = peer.path();
        line->settings().ReplyTimeout = std::chrono::seconds(30);
        QVERIFY(line->start(
            {LineTask::Read, false, {}}, nullptr,
            [](LineUse& use) {
                const rv::Session session(use.link(), rv::Session::Check::Identify);
                return session.outcome();
            },
            [&ended](const LineResult& result) { ended = result; }));
    }

    void showActive() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

  private slots:
    void init() {
        boxes = std::make_unique<ScriptedBoxes>();
        line = std::make_unique<LineOwner>(*boxes);
        form = std::make_unique<TDeskForm>(*line, *boxes);
    }
    void cleanup() {
        form.reset();
        line.reset();
        boxes.reset();
    }

    void startUpState() {
        QCOMPARE(form->windowTitle(),
                 QString::fromUtf8("Конфигурация   приборов  RV7406 и RV7408  (Ver " RV740X_VERSION
                                   ")"));
        // The controls' area keeps its size; the menu bar sits above it.
        const MainMenu* menu = form->mainMenu();
        QCOMPARE(menu->clientArea()->size(), QSize(688, 473));
        QCOMPARE(menu->clientArea()->pos(), QPoint(0, menu->height()));
        QVERIFY(menu->height() > 0);
        QCOMPARE(form->size(), QSize(688, 473 + menu->height()));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(menu->clientArea()->isAncestorOf(control<QPushButton>("BtnLoad")));
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));

        QCOMPARE(control<QComboBox>("MenuCOM")->currentText(), QString::fromUtf8("  COM2"));
        QCOMPARE(line->settings().Device, std::string("/dev/ttyS1"));
        QCOMPARE(control<QComboBox>("MenuTecSPD")->currentText(), QString::fromUtf8("  9600  бод"));
        QCOMPARE(line->settings().BaudRate, 9600u);
        QCOMPARE(line->settings().ReplyTimeout.count(), rv::ReplyTimeoutOfSpeedIndex(5).count());
        QCOMPARE(priborText()->text(), QString("1"));
        QCOMPARE(line->settings().NetNumber, 1u);
        QCOMPARE(pauseText()->text(), QString("3"));
        QCOMPARE(form->image().DisplayPeriodByte, uint8_t{11});
        QCOMPARE(form->image().UsedChannels, uint16_t{0});
        QVERIFY(!control<BusPanel>("BusPanel")->searchActive());

        QVERIFY(!control<QPushButton>("BtnSave")->isEnabled());
        QVERIFY(!control<QPushButton>("BtnRELE")->isEnabled());
        for (const char* enabled : {"BtnLoad", "BtnSearch", "BtnPASS"}) {
            QVERIFY2(control<QPushButton>(enabled)->isEnabled(), enabled);
        }
        for (int i = 1; i <= 8; ++i) {
            auto* box = control<QCheckBox>(qPrintable(QString("CC%1").arg(i)));
            QVERIFY(!box->isEnabled());
            QVERIFY(!box->isChecked());
            QCOMPARE(box->geometry(), QRect(490 + 19 * (i - 1), 56, 17, 17));
            // Each box stands for its own channel's bit of the used-channel mask.
            box->setChecked(true);
            QCOMPARE(int(form->image().UsedChannels), 1 << (i - 1));
            box->setChecked(false);
            QCOMPARE(int(form->image().UsedChannels), 0);
        }

        QVERIFY(!control<QLabel>("Label6")->isVisibleTo(form.get()));
        QVERIFY(control<QLabel>("LabelVersion")->isVisibleTo(form.get()));
        QVERIFY(control<QLabel>("LabelVersion")->text().isEmpty());
        QVERIFY(!control<QLabel>("LabelMenu")->isVisibleTo(form.get()));
        QVERIFY(!control<QComboBox>("MenuPribor")->isVisibleTo(form.get()));
        QVERIFY(!control<QProgressBar>("Stepper")->isVisibleTo(form.get()));
        QCOMPARE(control<QLabel>("Label14")->text(),
                 QString("  1    2    3    4    5    6    7    8"));

        // Channel 1 with its defaults, not editable.
        QCOMPARE(control<ChannelPage>("TabCtrl")->currentChannel(), 0);
        QCOMPARE(control<QLineEdit>("EdRt0")->text(), QString("  100.00000"));
        QCOMPARE(control<QLineEdit>("EdGist1")->text(), QString("  0.100"));
        QCOMPARE(control<QLineEdit>("EdAlarmLow")->text(), QString("  -10000.00000"));
        QCOMPARE(control<QLineEdit>("EdFrac")->text(), QString("  1"));
        QCOMPARE(control<QLineEdit>("EdUsred")->text(), QString("  1"));
        QCOMPARE(control<QComboBox>("MenuTIDA")->currentText(), QString("  Pt100  (W=1.385)"));
        QVERIFY(!control<QLineEdit>("EdRt0")->isEnabled());
        QVERIFY(!control<QComboBox>("MenuTIDA")->isEnabled());
        QVERIFY(control<QWidget>("TabCtrl")->isEnabled());
        QVERIFY(boxes->shown.empty());
    }

    void hintsAndTheirDuration_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("hint");
        QTest::newRow("EdPause") << "EdPause"
                                 << "Время индикации каждого канала при циклической индикации";
        QTest::newRow("BtnLoad") << "BtnLoad"
                                 << "Считать данные из прибора";
        QTest::newRow("BtnSave") << "BtnSave"
                                 << "Записать  данные в прибор";
        QTest::newRow("Pribor") << "Pribor"
                                << "Номер  прибора";
        QTest::newRow("MenuTecSPD") << "MenuTecSPD"
                                    << "Текущая  скорость  обмена";
        QTest::newRow("MenuCOM") << "MenuCOM"
                                 << "COM-порт компьютера к которому подключен прибор";
        QTest::newRow("BtnR0") << "BtnR0"
                               << "Измерение сопротивления датчика в 0°C";
        QTest::newRow("Btn2X") << "Btn2X"
                               << "Измерение сопротивления двухпроводной линии";
        QTest::newRow("EdRLine") << "EdRLine"
                                 << "Используется только для двухпроводной схемы подключения ТС";
        QTest::newRow("EdDiap1") << "EdDiap1"
                                 << "Нижний предел диапазона преобразования";
        QTest::newRow("EdDiap2") << "EdDiap2"
                                 << "Верхний предел диапазона преобразования";
        QTest::newRow("BitSQRT") << "BitSQRT"
                                 << "Функция извлечения квадратного корня";
        QTest::newRow("EdGist1") << "EdGist1"
                                 << "Величина гистерезиса Уставки 1";
        QTest::newRow("EdGist2") << "EdGist2"
                                 << "Величина гистерезиса Уставки 2";
    }
    void hintsAndTheirDuration() {
        QFETCH(QString, name);
        QFETCH(QString, hint);
        QWidget* w = control<QWidget>(qPrintable(name));
        QCOMPARE(w->toolTip(), hint);
        QCOMPARE(w->toolTipDuration(), 10000);
    }

    void menuBar() {
        const MainMenu* menu = form->mainMenu();
        QStringList titles;
        for (QAction* action : menu->actions()) titles << action->text().remove('&');
        QCOMPARE(titles, QStringList({QString::fromUtf8("Файл"), QString::fromUtf8("Порт"),
                                      QString::fromUtf8("Прибор"), QString::fromUtf8("Линия"),
                                      QString::fromUtf8("Справка")}));
        QCOMPARE(menu->actions().at(0)->menu(), menu->fileMenu());
        QCOMPARE(menu->actions().at(1)->menu(), menu->portMenu());
        QCOMPARE(menu->actions().at(3)->menu(), menu->lineMenu());
        QCOMPARE(menu->actions().at(4)->menu(), menu->helpMenu());
        QCOMPARE(menu->lineOverviewAction()->text().remove('&'), QString::fromUtf8("Обзор линии…"));
        QCOMPARE(menu->quitAction()->text().remove('&'), QString::fromUtf8("Выход"));
        QCOMPARE(menu->quitAction()->shortcut(), QKeySequence(QString("Ctrl+Q")));
        QVERIFY(menu->fileMenu()->actions().contains(menu->quitAction()));
        QCOMPARE(menu->portDevicesAction()->text().remove('&'),
                 QString::fromUtf8("Устройства COM-портов…"));
        QVERIFY(menu->portMenu()->actions().contains(menu->portDevicesAction()));
        QCOMPARE(menu->aboutAction()->text().remove('&'), QString::fromUtf8("О программе"));
        QVERIFY(menu->helpMenu()->actions().contains(menu->aboutAction()));
        QCOMPARE(menu->aboutQtAction()->text().remove('&'), QString::fromUtf8("О Qt"));
        QVERIFY(menu->helpMenu()->actions().contains(menu->aboutQtAction()));

        // "Выход" closes the window as its close button does.
        showActive();
        QSignalSpy closed(form.get(), &TDeskForm::closed);
        QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!form->isVisible());
    }

    void keyboardOrder() {
        const QStringList expected = {"MenuCOM", "MenuTecSPD", "Pribor",    "BtnLoad",   "TabCtrl",
                                      "EdPause", "BtnPASS",    "BtnRELE",   "BtnSave",   "CC1",
                                      "CC2",     "CC3",        "CC4",       "CC5",       "CC6",
                                      "CC7",     "CC8",        "BtnSearch", "MenuPribor"};
        // Walk the chain once from MenuCOM and note each keyboard stop by its named control;
        // a stop inside the tab strip (its tabs and the page) counts as the tab strip.
        QStringList seen;
        QWidget* start = control<QWidget>("MenuCOM");
        QWidget* w = start;
        do {
            if (w->focusPolicy() & Qt::TabFocus) {
                for (QWidget* up = w; up && up != form.get(); up = up->parentWidget()) {
                    if (expected.contains(up->objectName())) {
                        if (!seen.contains(up->objectName())) seen << up->objectName();
                        break;
                    }
                }
            }
            w = w->nextInFocusChain();
        } while (w != start);
        QCOMPARE(seen, expected);
    }

    void displayTimeTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("codeWhileTyping");
        QTest::addColumn<QString>("shownAfterLeaving");
        QTest::addColumn<int>("codeAfterLeaving");
        QTest::newRow("zero") << "0" << 0 << "1" << 4;
        QTest::newRow("99") << "99" << 93 << "70" << 247;
        QTest::newRow("minus") << "-" << 4 << "1" << 4;
        QTest::newRow("70") << "70" << 247 << "70" << 247;
        QTest::newRow("1") << "1" << 4 << "1" << 4;
        QTest::newRow("2") << "2" << 8 << "2" << 8;
        QTest::newRow("letter") << "a" << 4 << "1" << 4;
    }
    void displayTimeTyped() {
        QFETCH(QString, typed);
        QFETCH(int, codeWhileTyping);
        QFETCH(QString, shownAfterLeaving);
        QFETCH(int, codeAfterLeaving);
        showActive();
        auto* pause = control<QSpinBox>("EdPause");
        pause->setFocus();
        pauseText()->selectAll();
        QTest::keyClicks(pause, typed);
        QCOMPARE(pauseText()->text(), typed);
        QCOMPARE(int(form->image().DisplayPeriodByte), codeWhileTyping);

        control<QPushButton>("BtnLoad")->setFocus();
        QVERIFY(!pause->hasFocus());
        QCOMPARE(pauseText()->text(), shownAfterLeaving);
        QCOMPARE(int(form->image().DisplayPeriodByte), codeAfterLeaving);
    }

    void displayTimeKeepsReadCodeUntilNumberChanges() {
        auto* pause = control<QSpinBox>("EdPause");
        form->image().DisplayPeriodByte = 12;  // 3 s, as an instrument may hold it
        pause->setValue(3);
        QCOMPARE(int(form->image().DisplayPeriodByte), 12);
        pause->setValue(4);
        QCOMPARE(int(form->image().DisplayPeriodByte), 15);
        pause->setValue(0);
        QCOMPARE(pauseText()->text(), QString("1"));
        QCOMPARE(int(form->image().DisplayPeriodByte), 4);
    }

    void usedChannelBoxesFollowClicks() {
        form->image().ChannelsFitted = 0x0F;
        control<ChannelPage>("TabCtrl")->TabCtrlChange();
        auto* box3 = control<QCheckBox>("CC3");
        auto* box5 = control<QCheckBox>("CC5");
        QVERIFY(box3->isEnabled());
        QVERIFY(!box5->isEnabled());
        QTest::mouseClick(box3, Qt::LeftButton);
        QCOMPARE(form->image().UsedChannels, uint16_t{0x04});
        QTest::mouseClick(box5, Qt::LeftButton);
        QCOMPARE(form->image().UsedChannels, uint16_t{0x04});
        QTest::mouseClick(box3, Qt::LeftButton);
        QCOMPARE(form->image().UsedChannels, uint16_t{0});
    }

    void networkNumberTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<uint>("netNumber");
        QTest::newRow("254") << "254"
                             << "254" << 254u;
        QTest::newRow("0") << "0"
                           << "0" << 0u;
        QTest::newRow("255 reverts") << "255"
                                     << "1" << 1u;
        QTest::newRow("hex FE") << "$FE"
                                << "$FE" << 254u;
        QTest::newRow("letters revert") << "abc"
                                        << "1" << 1u;
        QTest::newRow("minus reverts") << "-"
                                       << "1" << 1u;
    }
    void networkNumberTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(uint, netNumber);
        priborText()->selectAll();
        priborText()->insert(typed);
        QCOMPARE(priborText()->text(), shown);
        QCOMPARE(line->settings().NetNumber, netNumber);
    }

    // The right column's controls keep their places in the client area, and the one under each
    // control's middle, as the mouse finds it, is that control.
    void rightColumnPlaces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::newRow("MenuPribor") << "MenuPribor" << QRect(612, 231, 69, 24);
        QTest::newRow("Stepper") << "Stepper" << QRect(464, 262, 217, 16);
        QTest::newRow("BtnLoad") << "BtnLoad" << QRect(464, 286, 105, 28);
        QTest::newRow("BtnSave") << "BtnSave" << QRect(576, 286, 105, 28);
        QTest::newRow("Pribor") << "Pribor" << QRect(612, 328, 69, 24);
        QTest::newRow("MenuTecSPD") << "MenuTecSPD" << QRect(464, 362, 217, 24);
        QTest::newRow("MenuCOM") << "MenuCOM" << QRect(464, 396, 217, 24);
        QTest::newRow("BtnSearch") << "BtnSearch" << QRect(464, 436, 217, 28);
        QTest::newRow("BtnPASS") << "BtnPASS" << QRect(464, 166, 217, 25);
        QTest::newRow("BtnRELE") << "BtnRELE" << QRect(464, 196, 217, 25);
        QTest::newRow("TabCtrl") << "TabCtrl" << QRect(8, 8, 441, 457);
    }
    void rightColumnPlaces() {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        form->show();
        auto* widget = control<QWidget>(qPrintable(name));
        widget->show();
        QWidget* client = form->mainMenu()->clientArea();
        const QRect inWindow(widget->mapTo(client, QPoint(0, 0)), widget->size());
        QCOMPARE(inWindow, place);
        QWidget* hit = client->childAt(place.center());
        QVERIFY(hit != nullptr);
        QVERIFY2(hit == widget || widget->isAncestorOf(hit), qPrintable(hit->objectName()));
    }
    void labelPlaces() {
        QWidget* client = form->mainMenu()->clientArea();
        QCOMPARE(control<QLabel>("LabelMenu")->mapTo(client, QPoint(0, 0)), QPoint(464, 234));
        QCOMPARE(control<QLabel>("Label5")->mapTo(client, QPoint(0, 0)), QPoint(464, 334));
    }

    void speedAndPortLists() {
        auto* speed = control<QComboBox>("MenuTecSPD");
        speed->setCurrentIndex(0);
        QCOMPARE(line->settings().BaudRate, 300u);
        QCOMPARE(line->settings().ReplyTimeout.count(), rv::ReplyTimeoutOfSpeedIndex(0).count());
        speed->setCurrentIndex(6);
        QCOMPARE(line->settings().BaudRate, 19200u);
        control<QComboBox>("MenuCOM")->setCurrentIndex(3);
        QCOMPARE(line->settings().Device, std::string("/dev/ttyS3"));
    }

    // Closing during a use of the line asks it to stop and closes once it has ended, without
    // waiting inside the close.
    void closingCancelsTheUseAndClosesOnceItEnded() {
        rv::test::PtyPeer peer;
        std::optional<LineResult> ended;
        form->show();
        QSignalSpy closed(form.get(), &TDeskForm::closed);
        startSilentUse(peer, ended);
        QVERIFY(!form->isEnabled());
        form->close();
        QCOMPARE(closed.count(), 0);
        QVERIFY(form->isVisible());
        // Well before the use's own time-out of 30 s.
        QTRY_VERIFY_WITH_TIMEOUT(ended.has_value(), 10000);
        QCOMPARE(int(ended->outcome), int(rv::Outcome::Cancelled));
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(!form->isVisible());
        QVERIFY(!line->busy());
    }

    // A window whose dialogs have not been given to it still answers every button.
    void buttonsWithoutDialogs_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("errorBox");
        QTest::newRow("BtnPASS") << "BtnPASS" << false;
        QTest::newRow("BtnRELE") << "BtnRELE" << false;
        QTest::newRow("BtnLoad") << "BtnLoad" << true;
        QTest::newRow("BtnSave") << "BtnSave" << true;
        QTest::newRow("BtnR0") << "BtnR0" << true;
        QTest::newRow("Btn2X") << "Btn2X" << true;
    }
    void buttonsWithoutDialogs() {
        QFETCH(QString, button);
        QFETCH(bool, errorBox);
        line->settings().Device = "/nonexistent/rv740x-line";
        form->show();
        control<QComboBox>("MenuSHEMA")->setCurrentIndex(1);
        boxes->answers = {true};
        TransferButtons* transfer = control<TransferButtons>("TransferButtons");
        ChannelPage* page = control<ChannelPage>("TabCtrl");
        const std::map<QString, std::function<void()>> handlers = {{"BtnPASS", [&] { form->BtnPASSClick(); }},
                                                                   {"BtnRELE", [&] { form->BtnRELEClick(); }},
                                                                   {"BtnLoad", [&] { transfer->BtnLoadClick(); }},
                                                                   {"BtnSave", [&] { transfer->BtnSaveClick(); }},
                                                                   {"BtnR0", [&] { page->BtnR0Click(); }},
                                                                   {"Btn2X", [&] { page->Btn2XClick(); }}};
        handlers.at(button)();
        QVERIFY(form->isEnabled());
        int errors = 0;
        for (const auto& s : boxes->shown) errors += s.kind == ScriptedBoxes::Kind::Error;
        QCOMPARE(errors, errorBox ? 1 : 0);
    }

    void progressWindow() {
        TInfoForm info(*line);
        QCOMPARE(info.objectName(), QString("InfoForm"));
        QCOMPARE(info.size(), QSize(242, 48));
        QCOMPARE(child<QPushButton>(&info, "BtnCancel")->text(), QString::fromUtf8("Отмена"));
        QVERIFY(!info.isVisible());
        QVERIFY(!(info.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowMaximizeButtonHint)));

        info.startOperation(QString::fromUtf8("  Запись ..."), false);
        QVERIFY(info.isVisible());
        QVERIFY(child<QProgressBar>(&info, "Stepper")->isVisible());
        QCOMPARE(child<QProgressBar>(&info, "Stepper")->value(), 0);
        QCOMPARE(info.windowTitle(), QString::fromUtf8("  Запись ..."));
        QVERIFY(!child<QPushButton>(&info, "BtnCancel")->isEnabled());
        info.setProgress(42);
        QCOMPARE(child<QProgressBar>(&info, "Stepper")->text(), QString("42%"));
        info.finishOperation();
        QVERIFY(!info.isVisible());
        QVERIFY(child<QPushButton>(&info, "BtnCancel")->isEnabled());

        // "Отмена" stops the running use.
        rv::test::PtyPeer peer;
        std::optional<LineResult> ended;
        startSilentUse(peer, ended);
        info.startOperation(QString::fromUtf8("  Чтение ..."), true);
        QTest::mouseClick(child<QPushButton>(&info, "BtnCancel"), Qt::LeftButton);
        QVERIFY(!info.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(ended.has_value(), 10000);
        QCOMPARE(int(ended->outcome), int(rv::Outcome::Cancelled));
    }

    void progressWindowHidesWhenAnotherWindowOfTheProgramIsActivated() {
        TInfoForm info(*line);
        rv::test::PtyPeer peer;
        std::optional<LineResult> ended;
        startSilentUse(peer, ended);
        info.startOperation(QString::fromUtf8("  Чтение ..."), true);
        QVERIFY(QTest::qWaitForWindowActive(&info));
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTRY_VERIFY(!info.isVisible());
        // Hiding is no cancel: the use goes on.
        QTest::qWait(50);
        QVERIFY(line->busy());
        QVERIFY(!ended.has_value());
        line->cancel();
        QTRY_VERIFY_WITH_TIMEOUT(ended.has_value(), 10000);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
