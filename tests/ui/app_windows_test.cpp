#include "ui/app_windows.h"

#include <QApplication>
#include <QTimer>
#include <QtTest>

#include "scripted_boxes.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/Info.h"
#include "ui/WN1.h"

// The program's start-up as main() runs it: which windows come up, and how the program ends.
class AppWindowsTest : public QObject {
    Q_OBJECT

    // Runs the application's event loop until something ends it, or fails after a time limit.
    static int runEventLoop() {
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        limit.start(10000);
        return QCoreApplication::exec();
    }

  private slots:
    void startsWithTheMainWindowOnly() {
        ScriptedBoxes boxes;
        AppWindows windows(boxes);
        QVERIFY(windows.desk().isVisible());
        QVERIFY(windows.desk().isEnabled());
        QVERIFY(!windows.rele().isVisible());
        QVERIFY(!windows.pass().isVisible());
        QVERIFY(!windows.info().isVisible());
        // The dialogs are windows of their own, usable while the main window is disabled.
        QVERIFY(windows.rele().parentWidget() == nullptr);
        QVERIFY(windows.pass().parentWidget() == nullptr);
        QVERIFY(windows.info().parentWidget() == nullptr);
        QCOMPARE(QApplication::font().pixelSize(), 13);
        QCOMPARE(windows.desk().font().pixelSize(), 13);
        QCOMPARE(windows.pass().font().pixelSize(), 13);
        QVERIFY(boxes.shown.empty());
    }

    void closingTheMainWindowEndsTheProgram_data() {
        QTest::addColumn<bool>("progressUp");
        QTest::newRow("idle") << false;
        QTest::newRow("progress window up") << true;
    }
    void closingTheMainWindowEndsTheProgram() {
        QFETCH(bool, progressUp);
        ScriptedBoxes boxes;
        AppWindows windows(boxes);
        if (progressUp) windows.info().startOperation(QString::fromUtf8("  Чтение ..."), true);
        QTimer::singleShot(0, &windows.desk(), [&] { windows.desk().close(); });
        QCOMPARE(runEventLoop(), 0);
    }

    // A dialog disables the main window while it is up; its hiding gives the window back,
    // without a loop of its own: the button's handler has returned meanwhile.
    void dialogsHoldTheMainWindowUntilTheyHide() {
        ScriptedBoxes boxes;
        AppWindows windows(boxes);
        TDeskForm& desk = windows.desk();

        desk.BtnPASSClick();
        QVERIFY(windows.pass().isVisible());
        QVERIFY(!desk.isEnabled());
        windows.pass().Button1Click();
        QVERIFY(!windows.pass().isVisible());
        QVERIFY(desk.isEnabled());

        desk.BtnRELEClick();
        QVERIFY(windows.rele().isVisible());
        QVERIFY(!desk.isEnabled());
        windows.rele().BtnERClick();
        QVERIFY(!windows.rele().isVisible());
        QVERIFY(desk.isEnabled());
    }
};

QTEST_MAIN(AppWindowsTest)
#include "app_windows_test.moc"
