#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>
#include <thread>

#include "channel/calibration.h"
#include "channel/fields.h"
#include "channel/sensors.h"
#include "config/device_float.h"
#include "link/status.h"
#include "sim_log.h"
#include "window_fixture.h"

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

// The requests the simulator heard, in order.
QStringList heard(const rv::test::SimProcess& sim) {
    QStringList lines;
    for (const auto& request : rv::test::HeardRequests(sim.logPath()))
        lines << QString::fromStdString(request.text);
    return lines;
}

QStringList measuring(const rv::test::SimProcess& sim) {
    return heard(sim).filter(QRegularExpression("^2;"));
}

}  // namespace

// The two calibration buttons as the main window runs them, against simulated instruments.
class CalibrationWindowTest : public QObject, private WindowFixture {
    Q_OBJECT

    QList<int> gauge;  // as each wait sees it
    QList<int> steps;  // every value set
    bool progressWindowRight = true;

    rv::ChannelConfig& channel1() { return form->image().Channels[0]; }

    void choose(int type, int scheme) {
        control<QComboBox>("MenuTIDA")->setCurrentIndex(type);
        control<QComboBox>("MenuSHEMA")->setCurrentIndex(scheme);
    }

    void press(bool lineButton) {
        if (lineButton)
            page().Btn2XClick();
        else
            page().BtnR0Click();
    }

    void checkEndState() {
        QVERIFY(form->isEnabled());
        QVERIFY(!info->isVisible());
        QVERIFY(portFree());
    }

  private slots:
    void init() {
        createWindow();
        watchWait = [this] {
            if (!info->isVisible()) return;
            if (gauge.isEmpty() || gauge.back() != child<QProgressBar>(info, "Stepper")->value())
                gauge << child<QProgressBar>(info, "Stepper")->value();
            progressWindowRight =
                progressWindowRight && info->windowTitle() == utf8("  Измерение ...") &&
                child<QPushButton>(info, "BtnCancel")->isEnabled() && !form->isEnabled();
        };
        gauge.clear();
        steps.clear();
        connect(child<QProgressBar>(info, "Stepper"), &QProgressBar::valueChanged, this,
                [this](int v) { steps << v; });
        progressWindowRight = true;
    }
    void cleanup() { destroyWindow(); }

    void refusals_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("scheme");
        QTest::addColumn<bool>("lineButton");
        QTest::addColumn<QString>("message");
        const QString notRt =
            utf8("Этот параметр используется только с термометрами сопротивления.");
        const QString notTwoWire =
            utf8("Этот параметр используется только для двухпроводной схемы.");
        for (int type = 7; type <= 16; ++type) {
            QTest::addRow("R0, type %d", type) << type << 0 << false << notRt;
            QTest::addRow("line, type %d, two-wire", type) << type << 1 << true << notRt;
        }
        QTest::newRow("R0, no type") << -1 << 0 << false << notRt;
        QTest::newRow("line, Pt100 three-wire") << 6 << 0 << true << notTwoWire;
        QTest::newRow("line, resistance input three-wire") << 17 << 0 << true << notTwoWire;
    }
    void refusals() {
        QFETCH(int, type);
        QFETCH(int, scheme);
        QFETCH(bool, lineButton);
        QFETCH(QString, message);
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        choose(type, scheme);
        const rv::ChannelConfig before = channel1();
        press(lineButton);
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::Information);
        QCOMPARE(boxes->shown[0].text, message);
        QVERIFY(heard(sim).isEmpty());
        QVERIFY(gauge.isEmpty());
        QVERIFY(channel1().Rt0 == before.Rt0);
        QVERIFY(channel1().RLine == before.RLine);
        checkEndState();
    }

    void measures_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("scheme");
        QTest::addColumn<bool>("lineButton");
        QTest::addColumn<double>("ohms");
        QTest::addColumn<QString>("lineBefore");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("precision");
        QTest::addColumn<QString>("command");
        QTest::newRow("Pt100 R0, three-wire")
            << 6 << 0 << false << 108.3521 << "  1.5" << 108.3521 << 0.005 << "2;16;32720;";
        QTest::newRow("Pt100 R0, two-wire subtracts the line")
            << 6 << 1 << false << 108.3521 << "  1.5" << 106.8521 << 0.005 << "2;16;32720;";
        QTest::newRow("Pt100 line, two-wire")
            << 6 << 1 << true << 2.3172 << "  0" << 2.3172 << 0.005 << "2;16;32720;";
        QTest::newRow("copper 50 R0, entry 3")
            << 0 << 0 << false << 53.7137 << "  0" << 53.7137 << 0.0025 << "2;16;32721;";
        QTest::newRow("platinum 50 line, entry 3")
            << 4 << 1 << true << 3.1234 << "  0" << 3.1234 << 0.0025 << "2;16;32721;";
        QTest::newRow("resistance input R0")
            << 17 << 0 << false << 250.5 << "  0" << 250.5 << 0.005 << "2;16;32720;";
        QTest::newRow("resistance input line")
            << 17 << 1 << true << 12.25 << "  0" << 12.25 << 0.005 << "2;16;32720;";
    }
    void measures() {
        QFETCH(int, type);
        QFETCH(int, scheme);
        QFETCH(bool, lineButton);
        QFETCH(double, ohms);
        QFETCH(QString, lineBefore);
        QFETCH(double, expected);
        QFETCH(double, precision);
        QFETCH(QString, command);
        rv::test::SimProcess sim({"1,r=1:" + QString::number(ohms, 'f', 4).toStdString()});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        choose(type, scheme);
        control<QLineEdit>("EdRLine")->setText(lineBefore);
        const rv::ChannelConfig before = channel1();

        press(lineButton);

        QVERIFY2(boxes->shown.empty(),
                 boxes->shown.empty() ? "" : qPrintable(boxes->shown[0].text));
        QCOMPARE(measuring(sim), QStringList(QList<QString>(6, command)));
        QCOMPARE(gauge.value(0, -1), 0);
        QCOMPARE(steps, (QList<int>{16, 33, 50, 66, 83, 100}));
        QVERIFY(progressWindowRight);
        const rv::WorkingReal stored = lineButton ? channel1().RLine : channel1().Rt0;
        QVERIFY2(std::fabs(stored.toDouble() - expected) <= precision,
                 qPrintable(QString::number(stored.toDouble(), 'f', 6)));
        // The field shows the value rounded to 5 decimals; the record keeps it as measured,
        // as the same measurement run again without the window gives it.
        QLineEdit* field = lineButton ? control<QLineEdit>("EdRLine") : control<QLineEdit>("EdRt0");
        QCOMPARE(field->text().toStdString(), rv::FormatRealField(stored, 5));
        // Off the window's thread, as the window runs it.
        rv::MeasurementResult again;
        std::thread([&, lineSettings = settings()] {
            rv::Link link(lineSettings);
            again = rv::MeasureResistance(link, 0, *rv::CalibrationSubRange(type), {});
        }).join();
        QCOMPARE(int(again.end), int(rv::MeasurementEnd::Measured));
        const rv::WorkingReal measured =
            lineButton ? rv::MeasuredLineResistance(again.resistance)
                       : rv::MeasuredR0(again.resistance, scheme == 1, before.RLine);
        QVERIFY2(stored == measured,
                 qPrintable(QString::number(stored.toDouble(), 'g', 17) + " stored, measured " +
                            QString::number(measured.toDouble(), 'g', 17)));
        // The other field is not touched.
        QVERIFY(lineButton ? channel1().Rt0 == before.Rt0 : channel1().RLine == before.RLine);
        checkEndState();
    }

    void lineThenR0InTwoWire() {
        rv::test::SimProcess sim({"1,r=1:110.125"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        choose(5, 1);
        page().Btn2XClick();
        QVERIFY2(std::fabs(channel1().RLine.toDouble() - 110.13) < 5e-6,
                 qPrintable(QString::number(channel1().RLine.toDouble(), 'g', 17)));
        // The simulator sees the same input both times, so R0 is what was measured less RLine.
        page().BtnR0Click();
        QVERIFY(boxes->shown.empty());
        QVERIFY(std::fabs(channel1().Rt0.toDouble()) < 1e-6);
    }

    void oneFieldAnswer() {
        rv::test::SimProcess sim({"1,measure-error=3"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        choose(6, 0);
        const rv::WorkingReal before = channel1().Rt0;
        page().BtnR0Click();
        QCOMPARE(shownOf(ScriptedBoxes::Kind::Error), QStringList{utf8("Ошибка: 3")});
        QCOMPARE(boxes->shown.size(), size_t(1));
        QVERIFY(!boxes->shown[0].parentEnabled);
        QVERIFY(channel1().Rt0 == before);
        checkEndState();
    }

    // Two fields, one of them no number: the window shows the exchange error, as for any
    // answer it cannot use, and the record stays.
    void answerFieldNotANumber_data() {
        QTest::addColumn<QString>("fields");
        QTest::newRow("dollar alone") << "4012:$";
        QTest::newRow("two points") << "1.2.3:4000";
        QTest::newRow("sign alone") << "-:4000";
    }
    void answerFieldNotANumber() {
        QFETCH(QString, fields);
        rv::test::SimProcess sim({"1,measure-reply=" + fields.toStdString()});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        choose(6, 1);
        const rv::ChannelConfig before = channel1();
        page().Btn2XClick();
        QCOMPARE(shownOf(ScriptedBoxes::Kind::Error), QStringList{utf8("Ошибка обмена")});
        QCOMPARE(boxes->shown.size(), size_t(1));
        QVERIFY(!boxes->shown[0].parentEnabled);
        QCOMPARE(measuring(sim).size(), 1);
        QVERIFY(channel1().RLine == before.RLine);
        checkEndState();
    }

    void cancelDuringTheFourthReading() {
        rv::test::SimOptions options;
        options.instruments = {"1,r=1:120"};
        options.latencyMs = 300;
        rv::test::SimProcess sim(options);
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        choose(6, 0);
        const rv::WorkingReal before = channel1().Rt0;
        QElapsedTimer sinceThird;
        duringWait = [&] {
            if (child<QProgressBar>(info, "Stepper")->value() != 50 || !info->isVisible()) return;
            if (!sinceThird.isValid()) sinceThird.start();
            if (sinceThird.elapsed() > 100)
                QTest::mouseClick(child<QPushButton>(info, "BtnCancel"), Qt::LeftButton);
        };
        page().BtnR0Click();
        QVERIFY(boxes->shown.empty());
        QCOMPARE(measuring(sim).size(), 4);
        QVERIFY(channel1().Rt0 == before);
        checkEndState();
    }

    void noisyLineWarnsAndStores() {
        rv::test::SimProcess sim({"1,r=1:100,measure-noise=40"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        choose(6, 0);
        const rv::WorkingReal before = channel1().Rt0;
        // The warning is a question from the worker: the window's thread shows it while the
        // measurement, port still open and value not yet stored, waits for the answer.
        bool onWindowThread = false;
        bool workerWaiting = false;
        boxes->onShow = [&](const ScriptedBoxes::Shown&) {
            onWindowThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            workerWaiting = line().busy() && !portFree() && channel1().Rt0 == before;
        };
        page().BtnR0Click();
        QVERIFY(onWindowThread);
        QVERIFY(workerWaiting);
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::Warning);
        QCOMPARE(boxes->shown[0].text, utf8("Слишком большие шумы"));
        QVERIFY(std::fabs(channel1().Rt0.toDouble() - 100.0) < 0.8);
        QVERIFY(channel1().Rt0.toDouble() != rv::ChannelConfig::StartupValues().Rt0.toDouble());
        checkEndState();
    }

    void failuresShowTheStatus_data() {
        QTest::addColumn<QString>("instrument");
        QTest::addColumn<int>("status");
        QTest::newRow("port missing") << "" << int(rv::status::kPortOpen);
        QTest::newRow("calibration block unreadable")
            << "1,bad-both=22" << int(rv::status::kMemoryData);
    }
    void failuresShowTheStatus() {
        QFETCH(QString, instrument);
        QFETCH(int, status);
        rv::test::SimProcess sim(
            {instrument.isEmpty() ? std::string("1") : instrument.toStdString()});
        QVERIFY2(sim.started(), sim.error().c_str());
        settings().Device = instrument.isEmpty() ? sim.linkPath() + ".missing" : sim.linkPath();
        choose(6, 1);
        const rv::ChannelConfig before = channel1();
        page().Btn2XClick();
        QCOMPARE(shownOf(ScriptedBoxes::Kind::Error),
                 QStringList{QString::fromStdString(rv::StatusText(status))});
        QVERIFY(!boxes->shown.back().parentEnabled);
        QVERIFY(channel1().RLine == before.RLine);
        QVERIFY(measuring(sim).isEmpty());
        checkEndState();
    }
};

QTEST_MAIN(CalibrationWindowTest)
#include "calibration_ui_test.moc"
