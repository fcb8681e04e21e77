#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "link/status.h"
#include "link/trace.h"
#include "sim_log.h"
#include "ui/main_menu.h"
#include "ui/text_spin_box.h"
#include "window_fixture.h"

namespace {

// The network number of the last request the simulator heard: the probe under way.
unsigned lastProbed(const rv::test::SimProcess& sim) {
    const std::vector<rv::test::HeardRequest> heard = rv::test::HeardRequests(sim.logPath());
    return heard.empty() ? 0 : heard.back().net;
}

// The outcome of every reply the line waited for, by network number, as the trace gives it.
struct Outcomes : rv::TraceSink {
    std::vector<std::pair<unsigned, std::string>> received;
    void record(const rv::TraceRecord& r) override {
        if (r.direction == rv::TraceRecord::Direction::Received)
            received.emplace_back(r.netNumber, std::string(r.outcome));
    }
};

}  // namespace

// The search as the main window runs it, against simulated instruments.
class SearchWindowTest : public QObject, private WindowFixture {
    Q_OBJECT

    // The seventeen controls the search disables, then the menu bar.
    QList<QWidget*> portUsers() const {
        QList<QWidget*> controls{control<QComboBox>("MenuTecSPD"), control<QComboBox>("MenuCOM"),
                                 control<QSpinBox>("Pribor"),      control<QPushButton>("BtnLoad"),
                                 control<QPushButton>("BtnSave"),  control<QPushButton>("BtnRELE"),
                                 control<QPushButton>("BtnPASS"),  control<QSpinBox>("EdPause"),
                                 control<QWidget>("TabCtrl")};
        for (QCheckBox* box : usedBoxes()) controls << box;
        controls << form->mainMenu();
        return controls;
    }

    QStringList listed() const {
        QStringList items;
        for (int i = 0; i < control<QComboBox>("MenuPribor")->count(); ++i)
            items << control<QComboBox>("MenuPribor")->itemText(i);
        return items;
    }

    // Presses the search button again once the probe of `number` is under way.
    void stopAtProbe(const rv::test::SimProcess& sim, unsigned number) {
        duringWait = [this, &sim, number] {
            if (lastProbed(sim) == number && bus().searchActive())
                QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        };
    }

  private slots:
    void init() { createWindow(); }
    void cleanup() { destroyWindow(); }

    void foundListAndPicking() {
        rv::test::SimProcess sim({"3", "4,family=18", "6"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        QVERIFY(!control<QComboBox>("MenuPribor")->isVisible());
        QVERIFY(!control<QLabel>("LabelMenu")->isVisible());
        bool sawRunning = false;
        duringWait = [&] {
            if (!bus().searchActive()) return;
            sawRunning = true;
            QCOMPARE(control<QPushButton>("BtnSearch")->text(),
                     QString::fromUtf8("О С Т А Н О В."));
            QVERIFY(control<QProgressBar>("Stepper")->isVisible());
            QVERIFY(form->isEnabled());
            QVERIFY(control<QPushButton>("BtnSearch")->isEnabled());
            QVERIFY(control<QComboBox>("MenuPribor")->isEnabled());
            for (QWidget* w : portUsers()) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
            // A pick while searching is ignored.
            if (control<QComboBox>("MenuPribor")->count() > 0) {
                emit control<QComboBox>("MenuPribor")->activated(0);
                QCOMPARE(control<QSpinBox>("Pribor")->value(), 1);
            }
            if (lastProbed(sim) == 7)
                QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        };
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        QVERIFY(sawRunning);
        QCOMPARE(listed(), QStringList({"3", "6"}));
        QCOMPARE(control<QComboBox>("MenuPribor")->currentIndex(), 0);
        QVERIFY(control<QComboBox>("MenuPribor")->isVisible());
        QVERIFY(control<QLabel>("LabelMenu")->isVisible());
        QCOMPARE(control<QLabel>("LabelMenu")->text(), QString::fromUtf8(" Найденные приборы  "));
        QCOMPARE(control<QPushButton>("BtnSearch")->text(), QString::fromUtf8("П о и с к"));
        QVERIFY(!control<QProgressBar>("Stepper")->isVisible());
        QVERIFY(!bus().searchActive());
        QCOMPARE(control<QSpinBox>("Pribor")->value(), 1);
        QCOMPARE(settings().NetNumber, 1u);
        QVERIFY(boxes->shown.empty());
        QVERIFY(portFree());

        duringWait = nullptr;
        emit control<QComboBox>("MenuPribor")->activated(1);
        QCOMPARE(control<QSpinBox>("Pribor")->value(), 6);
        QCOMPARE(settings().NetNumber, 6u);
    }

    void aNewSearchEmptiesTheList() {
        // Each stop comes during a silent probe, which the window sees as a user would.
        rv::test::SimProcess sim({"1", "3"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        stopAtProbe(sim, 4);
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        QCOMPARE(listed(), QStringList({"1", "3"}));
        stopAtProbe(sim, 2);
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        QCOMPARE(listed(), QStringList({"1"}));
    }

    void controlsRestoredExactly_data() {
        QTest::addColumn<QList<int>>("disabled");  // indexes into portUsers()
        QTest::newRow("after start-up") << QList<int>{};
        QTest::newRow("save and relay unavailable") << QList<int>{4, 5};
        QTest::newRow("channels 3 and 8 off, page off") << QList<int>{8, 11, 16};
        QTest::newRow("every other one") << QList<int>{0, 2, 4, 6, 8, 10, 12, 14, 16};
        QTest::newRow("menu bar off") << QList<int>{17};
    }
    void controlsRestoredExactly() {
        QFETCH(QList<int>, disabled);
        rv::test::SimProcess sim({"2"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        const QList<QWidget*> controls = portUsers();
        for (int i = 0; i < controls.size(); ++i) controls[i]->setEnabled(!disabled.contains(i));
        stopAtProbe(sim, 3);
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        QCOMPARE(listed(), QStringList({"2"}));
        for (int i = 0; i < controls.size(); ++i)
            QCOMPARE(controls[i]->isEnabled(), !disabled.contains(i));
    }

    void stopDuringASilentProbe() {
        rv::test::SimProcess sim({"1", "2,silent"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        Outcomes trace;
        line().setTrace(&trace);
        stopAtProbe(sim, 2);
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        line().setTrace(nullptr);
        // Stopped within the probe: its wait was woken, not timed out.
        const std::vector<std::pair<unsigned, std::string>> expected{{1, "ok"}, {2, "cancelled"}};
        QCOMPARE(trace.received, expected);
        QCOMPARE(listed(), QStringList({"1"}));
        QCOMPARE(control<QPushButton>("BtnSearch")->text(), QString::fromUtf8("П о и с к"));
        QVERIFY(boxes->shown.empty());
    }

    void closingTheWindowStopsTheSearch() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        QSignalSpy closed(form, &TDeskForm::closed);
        duringWait = [this, &sim] {
            if (lastProbed(sim) == 3) form->close();
        };
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        QCOMPARE(listed(), QStringList({"1"}));
        QVERIFY(!bus().searchActive());
        QVERIFY(portFree());
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(lastProbed(sim), 3u);
    }

    void portThatCannotBeOpened_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("status");
        QTest::newRow("missing") << "/nonexistent/rv740x-line" << int(rv::status::kPortOpen);
        QTest::newRow("not a terminal") << "/dev/null" << int(rv::status::kNoSuchPort);
    }
    void portThatCannotBeOpened() {
        QFETCH(QString, device);
        QFETCH(int, status);
        settings().Device = device.toStdString();
        control<QPushButton>("BtnSave")->setEnabled(false);
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::Error);
        QCOMPARE(boxes->shown[0].text, QString::fromStdString(rv::StatusText(status)));
        QVERIFY(listed().isEmpty());
        QVERIFY(control<QComboBox>("MenuPribor")->isVisible());
        QVERIFY(!control<QPushButton>("BtnSave")->isEnabled());
        QVERIFY(control<QPushButton>("BtnLoad")->isEnabled());
        QCOMPARE(control<QPushButton>("BtnSearch")->text(), QString::fromUtf8("П о и с к"));
        QCOMPARE(settings().NetNumber, 1u);
    }

    void endsAtTheNumberShownInPribor() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        control<QSpinBox>("Pribor")->setValue(42);
        QCOMPARE(settings().NetNumber, 42u);
        stopAtProbe(sim, 2);
        QTest::mouseClick(control<QPushButton>("BtnSearch"), Qt::LeftButton);
        QCOMPARE(settings().NetNumber, 42u);
        QCOMPARE(control<QSpinBox>("Pribor")->value(), 42);
    }
};

QTEST_MAIN(SearchWindowTest)
#include "search_test.moc"
