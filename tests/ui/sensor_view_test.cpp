#include "ui/sensor_view.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QtTest>
#include <cmath>

#include "channel/sensor_series.h"
#include "sim_log.h"
#include "ui/main_menu.h"
#include "ui/sensor_view_menu.h"
#include "window_fixture.h"

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

QStringList measuring(const rv::test::SimProcess& sim) {
    QStringList lines;
    for (const auto& request : rv::test::HeardRequests(sim.logPath()))
        if (request.text.rfind("2;", 0) == 0) lines << QString::fromStdString(request.text);
    return lines;
}

}  // namespace

// The live view of a sensor, through the main window's "Прибор" menu, against the simulator.
class SensorViewTest : public QObject, private WindowFixture {
    Q_OBJECT

    SensorViewMenu& menu() { return *form->sensorViewMenu(); }

    void read() {
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QCOMPARE(form->image().LoadedId != 0, true);
        boxes->shown.clear();
    }

  private slots:
    void init() { createWindow(); }
    void cleanup() { destroyWindow(); }

    void menuSitsAfterPortAndWaitsForARead() {
        const QList<QAction*> menus = form->mainMenu()->actions();
        int port = -1;
        int instrument = -1;
        for (int i = 0; i < menus.size(); ++i) {
            if (menus[i]->menu() == form->mainMenu()->portMenu()) port = i;
            if (menus[i]->menu() == menu().instrumentMenu()) instrument = i;
        }
        QCOMPARE(instrument, port + 1);
        QCOMPARE(menu().instrumentMenu()->title().remove('&'), utf8("Прибор"));
        QCOMPARE(menu().sensorViewAction()->text().remove('&'), utf8("Наблюдение за датчиком…"));
        QVERIFY(!menu().sensorViewAction()->isEnabled());
    }

    // A 50M sensor settling near 50.5 ohm with noise: the run plots its points, and "Принять как
    // R0" stores the mean of the shown span, after a confirmation, in the three-wire scheme
    // as it is; the main window is disabled only while the run goes.
    void acceptAsR0TakesTheSpansMean() {
        rv::test::SimProcess sim(
            rv::test::SimOptions{{"1,ramp=2:51.5:50.5:1,r-noise=2:0.02"}, {}, {}, true, {}});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        read();
        QVERIFY(menu().sensorViewAction()->isEnabled());
        page().TabCtrlChange();
        control<QTabBar>("TabBar")->setCurrentIndex(1);
        menu().sensorViewAction()->trigger();
        SensorView* view = menu().sensorView();
        QVERIFY(view != nullptr);
        QCOMPARE(view->windowTitle(), utf8("Наблюдение за датчиком — канал 2"));
        QVERIFY(boxes->shown.empty());

        QSignalSpy finished(view, &SensorView::runFinished);
        view->findChild<QPushButton*>("BtnStart")->click();
        QVERIFY(view->running());
        QCOMPARE(line().busyText(), utf8("идёт наблюдение за датчиком прибора 1"));
        QVERIFY(!form->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(view->series().size() >= 60, 20000);
        view->findChild<QPushButton*>("BtnStop")->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
        QVERIFY(form->isEnabled());
        QVERIFY(!view->running());
        QVERIFY(!line().busy());
        QCOMPARE(view->findChild<QLabel*>("SensorStatus")->text(), utf8("Остановлено"));

        // The shown span (5 minutes) holds every point of this run; the mean by hand.
        const rv::SensorSeries& series = view->series();
        double sum = 0;
        size_t count = 0;
        for (size_t i = 0; i < series.size(); ++i) {
            if (series[i].kind != rv::PointKind::Reading) continue;
            sum += series[i].resistance;
            ++count;
        }
        QVERIFY(count >= 60);
        const double mean = sum / static_cast<double>(count);
        QVERIFY(mean > 50.45 && mean < 51.5);
        QCOMPARE(view->shownStatistics().count, count);

        const rv::WorkingReal before = form->image().Channels[1].Rt0;
        boxes->answers = {false};
        view->findChild<QPushButton*>("BtnAcceptR0")->click();
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmYesNo), 1);
        QVERIFY(form->image().Channels[1].Rt0 == before);

        boxes->answers = {true};
        view->findChild<QPushButton*>("BtnAcceptR0")->click();
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmYesNo), 2);
        // Stored as the calibration stores it: rounded to the field's five decimals.
        QVERIFY2(std::fabs(form->image().Channels[1].Rt0.toDouble() - mean) < 6e-6,
                 qPrintable(QString::number(form->image().Channels[1].Rt0.toDouble(), 'f', 6) +
                            " vs " + QString::number(mean, 'f', 6)));
        // The line's resistance is for the two-wire scheme only.
        view->findChild<QPushButton*>("BtnAcceptLine")->click();
        QCOMPARE(boxes->shown.back().kind, ScriptedBoxes::Kind::Information);
        QCOMPARE(boxes->shown.back().text,
                 utf8("Этот параметр используется только для двухпроводной схемы."));
        QVERIFY(form->image().Channels[1].RLine.toDouble() == 0);

        // Closing the view during a run ends it as "Стоп" does, and the view goes once the
        // run has ended; the line then stays quiet.
        view->findChild<QPushButton*>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(view->series().size() >= 3, 5000);
        view->close();
        QVERIFY(view->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 5000);
        QVERIFY(!view->isVisible());
        QVERIFY(form->isEnabled());
        QVERIFY(!line().busy());
        const qsizetype heard = measuring(sim).size();
        QTest::qWait(300);
        QCOMPARE(measuring(sim).size(), heard);
    }

    // Closing the main window during a run ends the program as it does during a read: the run
    // stops, and the windows go with the view still open, the port closed.
    void closingTheMainWindowEndsARun() {
        rv::test::SimProcess sim({"1,model=RV7408"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        read();
        menu().sensorViewAction()->trigger();
        SensorView* view = menu().sensorView();
        QVERIFY(view != nullptr);
        view->findChild<QPushButton*>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(view->series().size() >= 3, 5000);
        QSignalSpy closed(form, &TDeskForm::closed);
        form->close();
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 5000);
        QVERIFY(!line().busy());
        destroyWindow();
        const qsizetype heard = measuring(sim).size();
        QTest::qWait(300);
        QCOMPARE(measuring(sim).size(), heard);
        createWindow();
    }

    // A view of another channel takes the place of an open view that holds points only when
    // the user says so; one without points goes unasked.
    void anotherChannelsViewAsksBeforeItReplacesPoints() {
        rv::test::SimProcess sim({"1,model=RV7408"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        read();
        auto* tabs = control<QTabBar>("TabBar");
        tabs->setCurrentIndex(0);
        menu().sensorViewAction()->trigger();
        SensorView* first = menu().sensorView();
        QVERIFY(first != nullptr);
        // No points yet: the view of channel 3 simply takes its place.
        tabs->setCurrentIndex(2);
        menu().sensorViewAction()->trigger();
        QVERIFY(boxes->shown.empty());
        QCOMPARE(menu().sensorView()->channelIndex(), 2);

        SensorView* view = menu().sensorView();
        QSignalSpy finished(view, &SensorView::runFinished);
        view->findChild<QPushButton*>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(view->series().size() >= 3, 5000);
        view->findChild<QPushButton*>("BtnStop")->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
        const size_t points = view->series().size();

        tabs->setCurrentIndex(0);
        boxes->answers = {false};
        menu().sensorViewAction()->trigger();
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::ConfirmRisky);
        QCOMPARE(boxes->shown[0].text, utf8("Окно наблюдения за каналом 3 закроется, его точки "
                                            "будут потеряны. Продолжить?"));
        QCOMPARE(menu().sensorView(), view);
        QCOMPARE(view->series().size(), points);

        boxes->answers = {true};
        menu().sensorViewAction()->trigger();
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmRisky), 2);
        QCOMPARE(menu().sensorView()->channelIndex(), 0);
    }

    // A thermocouple channel gets the calibration's refusal; no view opens and nothing is sent.
    void thermocoupleIsRefused() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        read();
        control<QComboBox>("MenuTIDA")->setCurrentIndex(7);
        menu().sensorViewAction()->trigger();
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::Information);
        QCOMPARE(boxes->shown[0].text,
                 utf8("Этот параметр используется только с термометрами сопротивления."));
        QVERIFY(menu().sensorView() == nullptr);
        QVERIFY(measuring(sim).isEmpty());
    }
};

QTEST_MAIN(SensorViewTest)
#include "sensor_view_test.moc"
