#include "ui/port_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <future>

#include "ports/port_map.h"
#include "rv740x_version.h"
#include "sim_log.h"
#include "ui/line_owner.h"
#include "ui/main_menu.h"
#include "ui/port_menus.h"
#include "window_fixture.h"

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

const char* const kFtdiLink = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// What a machine with one FTDI adapter and one CDC device the user may not open lists.
std::vector<rv::SerialDevice> benchDevices() {
    return {{"/dev/ttyUSB0", kFtdiLink, "FTDI", "FT232R USB UART", "A50285BI", true},
            {"/dev/ttyACM0", "/dev/ttyACM0", "", "", "", false}};
}

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "<missing>";
}

}  // namespace

// The port dialog with a given device list, and a device chosen through it as the program
// uses it: the window's next read goes to that device, in this run and the next.
class PortDialogTest : public QObject, private WindowFixture {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> config;
    QString settingsFile() const { return config->filePath("rv740x/ports.conf"); }

    QStringList row(const QTableWidget* table, int r) const {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c) cells << table->item(r, c)->text();
        return cells;
    }

    // Reads the instrument through the window, as "Прочитать" does.
    void readThroughTheWindow() {
        boxes->answers = {true};
        QTest::mouseClick(control<QPushButton>("BtnLoad"), Qt::LeftButton);
    }

  private slots:
    void init() {
        config = std::make_unique<QTemporaryDir>();
        for (int i = 1; i <= 4; ++i) unsetenv(qPrintable(QString("RV740X_COM%1").arg(i)));
    }
    void cleanup() {
        destroyWindow();
        for (int i = 1; i <= 4; ++i) unsetenv(qPrintable(QString("RV740X_COM%1").arg(i)));
        config.reset();
    }

    void showsMappingSourcesAndDevices() {
        QFile file(settingsFile());
        QDir().mkpath(config->filePath("rv740x"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("COM2=/dev/ttyUSB0\n");
        file.close();
        setenv("RV740X_COM3", "/dev/ttyUSB7", 1);
        rv::PortSetup setup({"/tmp/rv740x-cli", "", "", ""}, settingsFile().toStdString());
        ScriptedBoxes quiet;
        LineOwner owner(quiet);
        PortDialog dialog(setup, benchDevices(), owner);

        QCOMPARE(dialog.windowTitle(), utf8("Устройства COM-портов"));
        QCOMPARE(row(dialog.PortTable, 0),
                 QStringList({"COM1", "/tmp/rv740x-cli", utf8("параметр --com1")}));
        QCOMPARE(row(dialog.PortTable, 1),
                 QStringList({"COM2", "/dev/ttyUSB0", utf8("файл настроек")}));
        QCOMPARE(row(dialog.PortTable, 2),
                 QStringList({"COM3", "/dev/ttyUSB7", utf8("переменная RV740X_COM3")}));
        QCOMPARE(row(dialog.PortTable, 3),
                 QStringList({"COM4", "/dev/ttyS3", utf8("по умолчанию")}));

        QCOMPARE(dialog.DeviceList->count(), 2);
        QCOMPARE(
            dialog.DeviceList->item(0)->text(),
            QString(kFtdiLink) + utf8("\n    FTDI FT232R USB UART, № A50285BI (/dev/ttyUSB0)"));
        QCOMPARE(dialog.DeviceList->item(1)->text(),
                 utf8("/dev/ttyACM0\n    нет прав на это устройство: добавьте себя в группу "
                      "dialout (sudo usermod -aG dialout $USER) и войдите в систему заново"));

        // Picking a found device fills the path with its stable name.
        dialog.DeviceList->setCurrentRow(0);
        QCOMPARE(dialog.DevicePath->text(), QString(kFtdiLink));

        // "Проверить" is a use of the line: not while another use holds it.
        QVERIFY(dialog.BtnCheck->isEnabled());
        std::promise<void> release;
        QVERIFY(owner.start({LineTask::Read, false, {}}, nullptr,
                            [held = release.get_future().share()](LineUse&) {
                                held.wait();
                                return rv::Outcome::Done;
                            }));
        QVERIFY(!dialog.BtnCheck->isEnabled());
        const QString note = dialog.AccessNote->text();
        QTest::mouseClick(dialog.BtnCheck, Qt::LeftButton);
        QCOMPARE(dialog.AccessNote->text(), note);
        release.set_value();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.BtnCheck->isEnabled(), 10000);

        // The command line and the environment decide their names; the dialog says so.
        for (const int index : {0, 2}) {
            dialog.PortChoice->setCurrentIndex(index);
            QVERIFY(!dialog.BtnAssign->isEnabled());
            QVERIFY(!dialog.BtnDefault->isEnabled());
            QVERIFY2(dialog.Status->text().contains(utf8("здесь его не изменить")),
                     qPrintable(dialog.Status->text()));
        }
        dialog.PortChoice->setCurrentIndex(3);
        QVERIFY(dialog.BtnAssign->isEnabled());
        QVERIFY(!dialog.BtnDefault->isEnabled());  // nothing in the file to remove
        dialog.PortChoice->setCurrentIndex(1);
        QVERIFY(dialog.BtnDefault->isEnabled());

        // Back to the default: the file loses its line.
        QTest::mouseClick(dialog.BtnDefault, Qt::LeftButton);
        QCOMPARE(row(dialog.PortTable, 1),
                 QStringList({"COM2", "/dev/ttyS1", utf8("по умолчанию")}));
        QCOMPARE(fileText(settingsFile()), QString());
    }

    void emptyListAndBadPathChangeNothing() {
        rv::PortSetup setup({"", "", "", ""}, settingsFile().toStdString());
        ScriptedBoxes quiet;
        LineOwner owner(quiet);
        PortDialog dialog(setup, {}, owner);
        QCOMPARE(dialog.DeviceList->count(), 1);
        QVERIFY(!(dialog.DeviceList->item(0)->flags() & Qt::ItemIsSelectable));
        QSignalSpy changed(&dialog, &PortDialog::mappingChanged);
        dialog.PortChoice->setCurrentIndex(1);
        for (const char* bad : {"ttyUSB0", "/dev/tty USB0"}) {
            dialog.DevicePath->setText(bad);
            QTest::mouseClick(dialog.BtnAssign, Qt::LeftButton);
            QVERIFY2(dialog.Status->text().startsWith(utf8("Не сохранено:")),
                     qPrintable(dialog.Status->text()));
        }
        QCOMPARE(changed.count(), 0);
        QCOMPARE(fileText(settingsFile()), QString("<missing>"));
        QCOMPARE(row(dialog.PortTable, 1),
                 QStringList({"COM2", "/dev/ttyS1", utf8("по умолчанию")}));
    }

    // A path that leads nowhere is warned of as it is typed and when it is saved; the notes
    // coming and going never move the buttons.
    void missingDeviceIsWarnedOfAndTheButtonsStayPut() {
        rv::PortSetup setup({"/tmp/rv740x-cli", "", "", ""}, settingsFile().toStdString());
        ScriptedBoxes quiet;
        LineOwner owner(quiet);
        PortDialog dialog(setup, benchDevices(), owner);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto buttonsAt = [&] {
            return QPoint(dialog.BtnAssign->mapTo(&dialog, QPoint()).y(),
                          dialog.findChild<QLabel*>("SettingsFile")->mapTo(&dialog, QPoint()).y());
        };
        const QPoint start = buttonsAt();
        const QSize size = dialog.size();

        const QString missing = QString::fromStdString(config->filePath("ttyUSB9").toStdString());
        dialog.PortChoice->setCurrentIndex(0);  // set by the command line: a note below
        QCoreApplication::processEvents();
        QCOMPARE(buttonsAt(), start);
        dialog.PortChoice->setCurrentIndex(1);
        dialog.DevicePath->setText(missing);
        QVERIFY2(dialog.AccessNote->text().contains(utf8("Устройства ") + missing + utf8(" нет")),
                 qPrintable(dialog.AccessNote->text()));
        QCoreApplication::processEvents();
        QCOMPARE(buttonsAt(), start);
        QTest::mouseClick(dialog.BtnAssign, Qt::LeftButton);
        QVERIFY2(dialog.Status->text().contains(utf8("такого устройства сейчас нет")),
                 qPrintable(dialog.Status->text()));
        QCoreApplication::processEvents();
        QCOMPARE(buttonsAt(), start);
        dialog.DevicePath->setText("/dev/null");
        QCOMPARE(dialog.AccessNote->text(), QString());
        QCoreApplication::processEvents();
        QCOMPARE(buttonsAt(), start);
        QCOMPARE(dialog.size(), size);
    }

    void chosenPseudoTerminalIsReadThisRunAndNext() {
        rv::test::SimProcess sim({"1,version=3.12"});
        QVERIFY2(sim.started(), sim.error().c_str());
        {
            createWindow();
            rv::PortSetup setup({"", "", "", ""}, settingsFile().toStdString());
            PortMenus menus(*form, setup, benchDevices);
            QCOMPARE(settings().Device, std::string("/dev/ttyS1"));

            form->mainMenu()->portDevicesAction()->trigger();
            auto* dialog = form->findChild<PortDialog*>();
            QVERIFY(dialog != nullptr);
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->DeviceList->count(), 2);
            dialog->PortChoice->setCurrentIndex(1);
            dialog->DevicePath->setText(QString::fromStdString(sim.linkPath()));
            QTest::mouseClick(dialog->BtnAssign, Qt::LeftButton);
            QVERIFY2(dialog->Status->text().contains(utf8("со следующего открытия порта")),
                     qPrintable(dialog->Status->text()));
            QCOMPARE(fileText(settingsFile()),
                     QString("COM2=%1\n").arg(QString::fromStdString(sim.linkPath())));
            dialog->close();

            // The window's start-up port is COM2: the read goes to the chosen device.
            readThroughTheWindow();
            QCOMPARE(errors(), QStringList());
            QCOMPARE(control<QLabel>("LabelVersion")->text(), QString("3.12"));
            QVERIFY(!rv::test::HeardRequests(sim.logPath()).empty());
            destroyWindow();
        }
        const size_t heardInFirstRun = rv::test::HeardRequests(sim.logPath()).size();

        // The next run reads the settings file afresh.
        createWindow();
        rv::PortSetup setup({"", "", "", ""}, settingsFile().toStdString());
        const PortMenus menus(*form, setup, benchDevices);
        QCOMPARE(settings().Device, sim.linkPath());
        readThroughTheWindow();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(control<QLabel>("LabelVersion")->text(), QString("3.12"));
        QVERIFY(rv::test::HeardRequests(sim.logPath()).size() > heardInFirstRun);
    }

    // A gateway's port for COM3: a malformed address is refused as it is typed and when it is
    // saved; "Проверить" connects and shows the round trip, or why it could not; the saved
    // address shows in the "Порт" menu, choosing it there chooses COM3, and the read goes
    // through the gateway.
    void networkAddressIsCheckedSavedAndRead() {
        rv::test::SimOptions options;
        options.instruments = {"1,version=4.01"};
        options.listen = {"rfc2217:0"};
        options.netDelayMs = 40;
        rv::test::SimProcess sim(options);
        QVERIFY2(sim.started(), sim.error().c_str());
        const QString address = QString::fromStdString(sim.address("rfc2217"));
        createWindow();
        rv::PortSetup setup({"", "", "", ""}, settingsFile().toStdString());
        PortMenus menus(*form, setup, benchDevices);
        form->mainMenu()->portDevicesAction()->trigger();
        auto* dialog = form->findChild<PortDialog*>();
        QVERIFY(dialog != nullptr);
        dialog->PortChoice->setCurrentIndex(2);

        dialog->DevicePath->setText("rfc2217://10.0.0.5");
        const QString malformed = utf8(
            "неверный сетевой адрес «rfc2217://10.0.0.5»: не указан порт (нужно "
            "rfc2217://УЗЕЛ:ПОРТ или tcp://УЗЕЛ:ПОРТ)");
        QCOMPARE(dialog->AccessNote->text(), utf8("Н") + malformed.mid(1));
        QTest::mouseClick(dialog->BtnAssign, Qt::LeftButton);
        QCOMPARE(dialog->Status->text(), utf8("Не сохранено: ") + malformed + ".");
        QCOMPARE(fileText(settingsFile()), QString("<missing>"));

        QSignalSpy checked(dialog, &PortDialog::checkFinished);
        const auto check = [&](const QString& typed) {
            dialog->DevicePath->setText(typed);
            QTest::mouseClick(dialog->BtnCheck, Qt::LeftButton);
            QVERIFY(!dialog->BtnCheck->isEnabled());
            QVERIFY(checked.wait(10000));
        };
        check(address);
        const QRegularExpression roundTrip(
            QRegularExpression::escape(address) +
            utf8(": Соединение установлено, время отклика (\\d+) мс"));
        const QRegularExpressionMatch match = roundTrip.match(dialog->AccessNote->text());
        QVERIFY2(match.hasMatch(), qPrintable(dialog->AccessNote->text()));
        QVERIFY2(match.captured(1).toInt() >= 40, qPrintable(match.captured(1)));
        QVERIFY(dialog->BtnCheck->isEnabled());

        check("tcp://127.0.0.1:1");
        QCOMPARE(dialog->AccessNote->text(),
                 utf8("Нельзя открыть   COM-порт\nАдрес: tcp://127.0.0.1:1\n"
                      "Причина: соединение отвергнуто: на этом порту шлюза никто не ждёт "
                      "соединений"));

        dialog->DevicePath->setText(address);
        QTest::mouseClick(dialog->BtnAssign, Qt::LeftButton);
        QCOMPARE(fileText(settingsFile()), "COM3=" + address + "\n");
        QCOMPARE(dialog->Status->text(),
                 "COM3 = " + address + utf8(" сохранено; действует со следующего открытия порта."));
        dialog->close();

        QAction* com3 = form->findChild<QAction*>("ComAction3");
        QVERIFY(com3 != nullptr);
        QCOMPARE(com3->text(), utf8("COM3 — ") + address);
        QCOMPARE(form->findChild<QAction*>("ComAction1")->text(), utf8("COM1 — /dev/ttyS0"));
        QVERIFY(form->findChild<QAction*>("ComAction2")->isChecked());
        com3->trigger();
        QCOMPARE(control<QComboBox>("MenuCOM")->currentIndex(), 2);
        QCOMPARE(settings().Device, address.toStdString());
        readThroughTheWindow();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(control<QLabel>("LabelVersion")->text(), QString("4.01"));
    }

    void aboutBox() {
        setenv("RV740X_COM4", "/dev/ttyACM2", 1);
        createWindow();
        rv::PortSetup setup({"", "/dev/ttyUSB1", "", ""}, settingsFile().toStdString());
        PortMenus menus(*form, setup, benchDevices);
        form->mainMenu()->aboutAction()->trigger();
        auto* box = form->findChild<QMessageBox*>("AboutBox");
        QVERIFY(box != nullptr);
        QCOMPARE(box->windowTitle(), utf8("О программе"));
        // The platform as Qt names the machine it runs on.
        QCOMPARE(box->text(),
                 utf8("Конфигуратор приборов RV7406 и RV7408\nВерсия " RV740X_VERSION "\n"
                      "Платформа: Linux ") +
                     QSysInfo::currentCpuArchitecture() +
                     utf8("\n\n"
                          "Лицензия: все права защищены; программа распространяется среди "
                          "сервисных инженеров для работы с приборами RV7406 и RV7408.\n"
                          "Сторонние компоненты и их лицензии (Qt 6 — LGPL-3.0 и другие): в "
                          "Linux файл /usr/share/doc/rv740x-configurator/copyright, в Windows "
                          "папка LICENSES рядом с программой.\n\n"
                          "COM1: /dev/ttyS0 (по умолчанию)\n"
                          "COM2: /dev/ttyUSB1 (параметр --com2)\n"
                          "COM3: /dev/ttyS2 (по умолчанию)\n"
                          "COM4: /dev/ttyACM2 (переменная RV740X_COM4)\n\n"
                          "Файл настроек: ") +
                     settingsFile());
        QCOMPARE(box->button(QMessageBox::Ok)->text(), utf8("ОК"));
        box->close();

        // "О Qt" is Qt's own box, which names the Qt the program runs with and its licence.
        QString qtBoxTitle;
        QString qtBoxText;
        QTimer::singleShot(0, [&] {
            auto* qtBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (qtBox == nullptr) return;
            qtBoxTitle = qtBox->windowTitle();
            qtBoxText = qtBox->text() + qtBox->informativeText();
            qtBox->close();
        });
        form->mainMenu()->aboutQtAction()->trigger();
        QCOMPARE(qtBoxTitle, utf8("О Qt"));
        QVERIFY2(qtBoxText.contains(qVersion()) && qtBoxText.contains("GPL"),
                 qPrintable(qtBoxText));
    }
};

QTEST_MAIN(PortDialogTest)
#include "port_dialog_test.moc"
