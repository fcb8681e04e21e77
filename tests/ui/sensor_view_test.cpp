#include "ui/sensor_view.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QtTest>
#include <cmath>

#include "channel/sensor_series.h"
#include "channel/sensors.h"
#include "sim_log.h"
#include "ui/main_menu.h"
#include "ui/sensor_plot.h"
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

    // Reads the instrument on the simulator's line and opens the view of the page's channel.
    SensorView* openView(const rv::test::SimProcess& sim) {
        useLine(sim);
        read();
        menu().sensorViewAction()->trigger();
        return menu().sensorView();
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

    // A 50M sensor settling from 51.5 Ω to 50.5 Ω in a second, watched at the line's own pace
    // with a stability window of 2 s: "Принять как R0" takes the window's readings, which hold
    // the settled 50.5 Ω (within the instrument's 0.01-Ω count), not the span's mean, which
    // holds the settling too. The heading then shows the new R0. "Принять как Rлинии" is off in
    // the three-wire scheme and takes the same window in the two-wire one. Before the window
    // has filled, taking asks with a warning, "Отмена" first.
    void acceptTakesTheStabilityWindow() {
        rv::test::SimOptions options{{"1,ramp=2:51.5:50.5:1"}, {}, {}, true, {}};
        rv::test::SimProcess sim(options);
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
        view->findChild<QSpinBox*>("HoldSeconds")->setValue(2);

        QSignalSpy finished(view, &SensorView::runFinished);
        view->findChild<QPushButton*>("BtnStart")->click();
        QVERIFY(view->running());
        QCOMPARE(line().busyText(), utf8("идёт наблюдение за датчиком прибора 1"));
        QVERIFY(!form->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(view->stable(), 20000);
        view->findChild<QPushButton*>("BtnStop")->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
        QVERIFY(form->isEnabled());
        QVERIFY(!view->running());
        QVERIFY(!line().busy());
        QCOMPARE(view->findChild<QLabel*>("SensorStatus")->text(), utf8("Остановлено"));
        QVERIFY(view->stable());

        // The window by hand: the readings of the last 2 s; and the whole run's.
        const rv::SensorSeries& series = view->series();
        const double from = series.back().seconds - 2;
        double windowSum = 0;
        double spanSum = 0;
        size_t windowCount = 0;
        size_t spanCount = 0;
        for (size_t i = 0; i < series.size(); ++i) {
            if (series[i].kind != rv::PointKind::Reading) continue;
            spanSum += series[i].resistance;
            ++spanCount;
            if (series[i].seconds < from) continue;
            windowSum += series[i].resistance;
            ++windowCount;
        }
        const double windowMean = windowSum / static_cast<double>(windowCount);
        QVERIFY2(windowCount >= 20, qPrintable(QString::number(windowCount)));
        QVERIFY2(std::fabs(windowMean - 50.5) < 0.006, qPrintable(QString::number(windowMean)));
        QVERIFY2(spanSum / static_cast<double>(spanCount) > 50.55,
                 qPrintable(QString::number(spanSum / static_cast<double>(spanCount))));
        QCOMPARE(view->shownStatistics().count, spanCount);
        QCOMPARE(view->settledValue().count, windowCount);

        const rv::WorkingReal before = form->image().Channels[1].Rt0;
        boxes->answers = {false};
        view->findChild<QPushButton*>("BtnAcceptR0")->click();
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmYesNo), 1);
        QVERIFY2(boxes->shown.back().text.contains(utf8("окно стабильности, последние 2 с")),
                 qPrintable(boxes->shown.back().text));
        QVERIFY(form->image().Channels[1].Rt0 == before);

        boxes->answers = {true};
        view->findChild<QPushButton*>("BtnAcceptR0")->click();
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmYesNo), 2);
        // Stored as the calibration stores it: rounded to the field's five decimals.
        const double r0 = form->image().Channels[1].Rt0.toDouble();
        QVERIFY2(
            std::fabs(r0 - windowMean) < 6e-6,
            qPrintable(QString::number(r0, 'f', 6) + " vs " + QString::number(windowMean, 'f', 6)));
        QVERIFY2(view->findChild<QLabel*>("SensorLabel")
                     ->text()
                     .contains(utf8("R0 = ") + QString::number(r0, 'f', 3) + utf8(" Ом")),
                 qPrintable(view->findChild<QLabel*>("SensorLabel")->text()));

        // The line's resistance is for the two-wire scheme only.
        auto* acceptLine = view->findChild<QPushButton*>("BtnAcceptLine");
        QVERIFY(!acceptLine->isEnabled());
        form->image().Channels[1].Scheme = rv::kTwoWireScheme;
        view->refresh();
        QVERIFY(acceptLine->isEnabled());
        boxes->answers = {true};
        acceptLine->click();
        QCOMPARE(boxes->count(ScriptedBoxes::Kind::ConfirmYesNo), 3);
        QVERIFY(std::fabs(form->image().Channels[1].RLine.toDouble() - windowMean) < 6e-6);
        QVERIFY(view->findChild<QLabel*>("SensorLabel")
                    ->text()
                    .contains(utf8("двухпроводная, Rлинии = ")));

        // A run shorter than the window: taking warns, with "Отмена" the default.
        view->findChild<QPushButton*>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(view->series().size() >= 3, 5000);
        view->findChild<QPushButton*>("BtnStop")->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 5000);
        QVERIFY(!view->stable());
        boxes->answers = {false};
        view->findChild<QPushButton*>("BtnAcceptR0")->click();
        QCOMPARE(boxes->shown.back().kind, ScriptedBoxes::Kind::ConfirmRisky);
        QVERIFY2(boxes->shown.back().text.startsWith(
                     utf8("Показания ещё не установились: наблюдение идёт ")),
                 qPrintable(boxes->shown.back().text));
        QVERIFY(form->image().Channels[1].Rt0.toDouble() == r0);

        // Closing the view during a run ends it as "Стоп" does, and the view goes once the
        // run has ended; the line then stays quiet.
        view->findChild<QPushButton*>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(view->series().size() >= 3, 5000);
        view->close();
        QVERIFY(view->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, 5000);
        QVERIFY(!view->isVisible());
        QVERIFY(form->isEnabled());
        QVERIFY(!line().busy());
        const qsizetype heard = measuring(sim).size();
        QTest::qWait(300);
        QCOMPARE(measuring(sim).size(), heard);
    }

    // The Pt100 cooling from 109.73 Ω to 100 Ω, at the view's smallest size and at a
    // large one: each line shows in its own colour in its own pane (counted in the picture),
    // and no text is cut, pushed out of the view or drawn over another.
    void plotShowsBothLinesAndCutsNothing() {
        rv::test::SimProcess sim({"1,ramp=1:109.73:100:2,r-noise=1:0.01"});
        QVERIFY2(sim.started(), sim.error().c_str());
        SensorView* view = openView(sim);
        QVERIFY(view != nullptr);
        view->setSpan(SensorView::Span::OneMinute);
        view->show();
        QSignalSpy finished(view, &SensorView::runFinished);
        view->findChild<QPushButton*>("BtnStart")->click();
        QTest::qWait(4000);
        view->findChild<QPushButton*>("BtnStop")->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
        QVERIFY(view->series().size() >= 20);

        const QSize smallest = view->minimumSizeHint();
        // The view fits a screen of 1024 × 768 with room for the window's frame.
        QVERIFY2(smallest.width() <= 1000 && smallest.height() <= 700,
                 qPrintable(QString("%1x%2").arg(smallest.width()).arg(smallest.height())));
        for (const QSize& size : {smallest, QSize(2560, 1440)}) {
            const QString at = QString("%1x%2").arg(size.width()).arg(size.height());
            view->resize(size);
            QTest::qWait(50);
            const QImage shot = view->grab().toImage();
            if (const QByteArray dir = qgetenv("RV740X_SHOTS_DIR"); !dir.isEmpty())
                shot.save(QString::fromLocal8Bit(dir) + "/sensor_view_" + at + ".png");
            SensorPlot* plot = view->plot();
            QCOMPARE(plot->panes().size(), size_t(2));
            const QPoint origin = plot->mapTo(view, QPoint(0, 0));
            int counts[2][2] = {};  // pane, colour
            for (int p = 0; p < 2; ++p) {
                const QRect pane = plot->panes()[static_cast<size_t>(p)].translated(origin);
                for (int y = pane.top(); y <= pane.bottom(); ++y)
                    for (int x = pane.left(); x <= pane.right(); ++x) {
                        const QRgb c = shot.pixel(x, y) & 0xffffff;
                        counts[p][0] += c == (SensorPlot::kResistanceColour.rgb() & 0xffffff);
                        counts[p][1] += c == (SensorPlot::kTemperatureColour.rgb() & 0xffffff);
                    }
            }
            // R above, T below; each line some hundreds of pixels, neither a sliver of the
            // other's.
            QVERIFY2(counts[0][0] >= 100 && counts[1][1] >= 100,
                     qPrintable(at + QString(": R %1, T %2").arg(counts[0][0]).arg(counts[1][1])));
            QVERIFY2(counts[0][0] > counts[1][1] / 3 && counts[1][1] > counts[0][0] / 3,
                     qPrintable(at + QString(": R %1, T %2").arg(counts[0][0]).arg(counts[1][1])));
            QCOMPARE(counts[0][1], 0);
            QCOMPARE(counts[1][0], 0);

            // The plot's texts lie inside it, clear of each other.
            const std::vector<QRect>& texts = plot->textBoxes();
            QVERIFY(texts.size() >= 8);
            for (size_t i = 0; i < texts.size(); ++i) {
                QVERIFY2(plot->rect().contains(texts[i]), qPrintable(at));
                for (size_t j = i + 1; j < texts.size(); ++j)
                    QVERIFY2(!texts[i].intersects(texts[j]), qPrintable(at));
            }
            // Every control and label shows all of itself.
            for (QWidget* w : view->findChildren<QWidget*>()) {
                const bool control =
                    qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                    qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w);
                if (!w->isVisible() || !control) continue;
                const QRect inView(w->mapTo(view, QPoint(0, 0)), w->size());
                const QString what =
                    at + " " + w->metaObject()->className() + " " + w->objectName();
                QVERIFY2(view->rect().contains(inView), qPrintable(what));
                QVERIFY2(w->width() >= w->minimumSizeHint().width() &&
                             w->height() >= w->minimumSizeHint().height(),
                         qPrintable(what));
                if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap())
                    QVERIFY2(
                        label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                        qPrintable(what + " " + label->text()));
            }
        }
    }

    // Closing the main window during a run ends the program as it does during a read: the run
    // stops, and the windows go with the view still open, the port closed.
    void closingTheMainWindowEndsARun() {
        rv::test::SimProcess sim({"1,model=RV7408"});
        QVERIFY2(sim.started(), sim.error().c_str());
        SensorView* view = openView(sim);
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
