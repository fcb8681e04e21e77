#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>
#include <map>
#include <optional>

#include "sim_log.h"
#include "ui/sensor_view.h"
#include "ui/sensor_view_menu.h"
#include "window_fixture.h"

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

// The uses of the line a user can start from the windows.
enum class Use { Read, Write, Search, MeasureR0, MeasureLine, Password, Network, Watch };

struct UseInfo {
    Use use;
    const char* name;
    const char* busy;  // what the line is doing while the use runs
};

const UseInfo kUses[] = {
    {Use::Read, "read", "идёт чтение прибора 1"},
    {Use::Write, "write", "идёт запись в прибор 1"},
    {Use::Search, "search", "идёт поиск приборов"},
    {Use::MeasureR0, "Clb R0", "идёт измерение сопротивления в приборе 1"},
    {Use::MeasureLine, "Clb line", "идёт измерение сопротивления в приборе 1"},
    {Use::Password, "password", "идёт запись пароля в прибор 1"},
    {Use::Network, "network", "идёт запись сетевого номера в прибор 1"},
    {Use::Watch, "sensor view", "идёт наблюдение за датчиком прибора 1"},
};

const UseInfo& infoOf(Use use) {
    for (const UseInfo& info : kUses)
        if (info.use == use) return info;
    return kUses[0];
}

// What a use left behind, to compare a use run alone with the same use run while another was
// requested.
struct Trail {
    QStringList heard;            // the requests the instrument heard, as "net/text"
    std::vector<uint8_t> memory;  // the instrument's memory afterwards
    QStringList boxes;            // every box shown but the refusal, as "kind: text"
    QStringList listed;           // the search's list
    QString viewStatus;           // the sensor view's last status line
    rv::ConfigImage image;        // the window's configuration afterwards

    bool operator==(const Trail&) const = default;
};

QString describe(const Trail& t) {
    return QString("heard %1\nboxes %2\nlisted %3\nview '%4'")
        .arg(t.heard.join(' '), t.boxes.join(" | "), t.listed.join(' '), t.viewStatus);
}

}  // namespace

Q_DECLARE_METATYPE(Use)

// While one use of the line runs, every other is refused through the window: its control is
// disabled, its handler called anyway shows "Линия занята: ..." and sends nothing, and the use
// that runs ends exactly as it does alone.
class BusyLineTest : public QObject, private WindowFixture {
    Q_OBJECT

    // The runs of each use alone, made once.
    std::map<Use, Trail> alone_;
    SensorView* view_ = nullptr;

    QList<QString> refusals() const {
        QList<QString> texts;
        for (const ScriptedBoxes::Shown& s : boxes->shown)
            if (s.text.startsWith(utf8("Линия занята"))) texts << s.text;
        return texts;
    }

    // The control that starts `use`, as the window shows it now.
    QWidget* controlOf(Use use) const {
        switch (use) {
            case Use::Read:
                return control<QPushButton>("BtnLoad");
            case Use::Write:
                return control<QPushButton>("BtnSave");
            case Use::Search:
                return control<QPushButton>("BtnSearch");
            case Use::MeasureR0:
                return control<QPushButton>("BtnR0");
            case Use::MeasureLine:
                return control<QPushButton>("Btn2X");
            case Use::Password:
                return child<QPushButton>(pass, "BtnPASS");
            case Use::Network:
                return child<QPushButton>(pass, "BtnSENO");
            case Use::Watch:
                return view_->findChild<QPushButton*>("BtnStart");
        }
        return nullptr;
    }

    // What a click on the control does, called even where the control is disabled.
    void request(Use use) {
        switch (use) {
            case Use::Read:
                transfer().BtnLoadClick();
                break;
            case Use::Write:
                transfer().BtnSaveClick();
                break;
            case Use::Search:
                bus().BtnSearchClick();
                break;
            case Use::MeasureR0:
                page().BtnR0Click();
                break;
            case Use::MeasureLine:
                page().Btn2XClick();
                break;
            case Use::Password:
                pass->BtnPASSClick();
                break;
            case Use::Network:
                pass->BtnSENOClick();
                break;
            case Use::Watch:
                view_->startRun();
                break;
        }
    }

    // Runs `first` through the window on a fresh instrument; once it has sent its first
    // request, `second` is asked for. Fails the test where the second is not refused.
    void run(Use first, std::optional<Use> second, Trail& trail) {
        destroyWindow();
        createWindow();
        rv::test::SimProcess sim(Slowed({"1,model=RV7408,r=8:110"}));
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        // Channel 8 holds a Pt100 in the two-wire scheme: both calibrations and the view
        // admit it.
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(form->image().LoadedId != 0);
        control<QTabBar>("TabBar")->setCurrentIndex(7);
        view_ = nullptr;
        const bool watch = first == Use::Watch || second == Use::Watch;
        if (watch) {
            form->sensorViewMenu()->sensorViewAction()->trigger();
            view_ = form->sensorViewMenu()->sensorView();
        }
        const auto dialog = [](std::optional<Use> u) {
            return u == Use::Password || u == Use::Network;
        };
        if (dialog(first) || dialog(second)) {
            form->BtnPASSClick();
            child<QLineEdit>(pass, "Sym4")->setText("7");
        }
        if (first == Use::Write) control<QLineEdit>("EdUstav1")->setText("20");
        const size_t heardBefore = rv::test::HeardRequests(sim.logPath()).size();
        boxes->shown.clear();

        bool asked = false;
        const auto askSecond = [&] {
            if (asked || !second || !line().busy()) return;
            if (rv::test::HeardRequests(sim.logPath()).size() <= heardBefore) return;
            asked = true;
            QWidget* control = controlOf(*second);
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
            // Were it not refused, its confirmation would be answered.
            boxes->answers.push_back(true);
            request(*second);
            boxes->answers.clear();
        };
        duringWait = [&] {
            askSecond();
            if (first != Use::Search || !bus().searchActive()) return;
            const auto heard = rv::test::HeardRequests(sim.logPath());
            if (!heard.empty() && heard.back().net == 2) bus().BtnSearchClick();
        };
        boxes->answers = {true};
        if (first == Use::Watch) {
            view_->startRun();
            QTRY_VERIFY_WITH_TIMEOUT(view_->series().size() >= 3, 10000);
            askSecond();
            const size_t points = view_->series().size();
            QTRY_VERIFY_WITH_TIMEOUT(view_->series().size() >= points + 3, 10000);
            view_->stopRun();
            QTRY_VERIFY_WITH_TIMEOUT(!view_->running(), 10000);
        } else {
            request(first);
        }
        duringWait = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(!line().busy(), 10000);
        if (second) {
            QVERIFY2(asked, "the second use was asked for while the first ran");
            QCOMPARE(refusals(), QList<QString>{utf8("Линия занята: ") + utf8(infoOf(first).busy)});
        } else {
            QVERIFY(refusals().isEmpty());
        }

        const std::vector<rv::test::HeardRequest> heard = rv::test::HeardRequests(sim.logPath());
        for (size_t i = heardBefore; i < heard.size(); ++i) {
            const QString line =
                QString("%1/%2").arg(heard[i].net).arg(QString::fromStdString(heard[i].text));
            // A watch repeats its measuring request for as long as it runs.
            if (first == Use::Watch && !trail.heard.isEmpty() && trail.heard.back() == line)
                continue;
            trail.heard << line;
        }
        trail.memory = rv::test::ReadStateFile(sim.stateFile(1));
        for (const ScriptedBoxes::Shown& s : boxes->shown)
            if (!s.text.startsWith(utf8("Линия занята")))
                trail.boxes << QString("%1: %2").arg(int(s.kind)).arg(s.text);
        auto* found = control<QComboBox>("MenuPribor");
        for (int i = 0; i < found->count(); ++i) trail.listed << found->itemText(i);
        if (view_) trail.viewStatus = view_->findChild<QLabel*>("SensorStatus")->text();
        trail.image = form->image();
    }

  private slots:
    void init() { createWindow(); }
    void cleanup() { destroyWindow(); }

    void secondUseIsRefused_data() {
        QTest::addColumn<Use>("first");
        QTest::addColumn<Use>("second");
        for (const UseInfo& first : kUses)
            for (const UseInfo& second : kUses)
                if (first.use != second.use)
                    QTest::addRow("%s, then %s", first.name, second.name)
                        << first.use << second.use;
    }
    void secondUseIsRefused() {
        QFETCH(Use, first);
        QFETCH(Use, second);
        if (alone_.count(first) == 0) {
            Trail alone;
            run(first, std::nullopt, alone);
            if (QTest::currentTestFailed()) return;
            QVERIFY2(!alone.heard.isEmpty(), "the use alone sent nothing");
            QVERIFY2(alone.boxes.size() <= 1, qPrintable(describe(alone)));
            alone_[first] = alone;
        }
        Trail both;
        run(first, second, both);
        if (QTest::currentTestFailed()) return;
        const Trail& alone = alone_.at(first);
        QVERIFY2(both.heard == alone.heard, qPrintable("alone:\n" + describe(alone) +
                                                       "\nwith the request:\n" + describe(both)));
        QVERIFY2(both == alone, qPrintable("alone:\n" + describe(alone) + "\nwith the request:\n" +
                                           describe(both)));
    }
};

QTEST_MAIN(BusyLineTest)
#include "busy_line_test.moc"
