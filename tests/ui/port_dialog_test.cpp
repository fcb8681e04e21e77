#include "ui/port_dialog.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>

#include "ports/port_map.h"
#include "rv740x_version.h"
#include "sim_log.h"
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
        PortDialog dialog(setup, benchDevices());

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
        PortDialog dialog(setup, {});
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
        PortDialog dialog(setup, benchDevices());
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
                          "COM1: /dev/ttyS0 (по умолчанию)\n"
                          "COM2: /dev/ttyUSB1 (параметр --com2)\n"
                          "COM3: /dev/ttyS2 (по умолчанию)\n"
                          "COM4: /dev/ttyACM2 (переменная RV740X_COM4)\n\n"
                          "Файл настроек: ") +
                     settingsFile());
        QCOMPARE(box->button(QMessageBox::Ok)->text(), utf8("ОК"));
        box->close();
    }
};

QTEST_MAIN(PortDialogTest)
#include "port_dialog_test.moc"
