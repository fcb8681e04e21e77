#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <set>

#include "link/trace.h"
#include "sim_log.h"
#include "ui/sensor_view.h"
#include "ui/sensor_view_menu.h"
#include "window_fixture.h"

// Random clicks on every window of the program for a thousand steps, with cancels and closes
// at random moments, against one simulated instrument. RV740X_STRESS_STEPS sets the number of
// steps, RV740X_STRESS_SEED the seed (printed, so a run can be repeated).

namespace {

using rv::test::kBlockRows;
using rv::test::kBlocks;
namespace at = rv::test::at;

constexpr int kNet = 1;
// Channel 8: a Pt100 in the two-wire scheme, which both calibrations and the view admit.
constexpr int kChannel = 7;
constexpr int kMainBlock = 3 + kChannel;
constexpr int kSetPointBlock = 11 + kChannel;
constexpr int kPasswordBlock = 20;
// The set points the steps write, and the passwords.
constexpr long kSetPoints[] = {10, 20, 30};
constexpr uint16_t kPasswords[] = {0x0000, 0x0200};

unsigned environmentNumber(const char* name, unsigned fallback) {
    const char* value = std::getenv(name);
    return value && *value ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : fallback;
}

// Every frame the program puts on the line, in order: a request goes out only once the one
// before has had its reply awaited to the end.
struct FrameOrder : rv::TraceSink {
    std::mutex mutex;
    bool awaiting = false;
    int requests = 0;
    int onTheWire = 0;     // requests written whole
    unsigned lastNet = 0;  // the number the last request went to
    QStringList faults;

    int sent() {
        const std::lock_guard<std::mutex> lock(mutex);
        return onTheWire;
    }
    unsigned lastAddressed() {
        const std::lock_guard<std::mutex> lock(mutex);
        return lastNet;
    }

    void record(const rv::TraceRecord& r) override {
        const std::lock_guard<std::mutex> lock(mutex);
        if (r.direction == rv::TraceRecord::Direction::Sent) {
            ++requests;
            if (r.outcome == "sent") ++onTheWire;
            lastNet = r.netNumber;
            if (awaiting)
                faults << QString("request %1 went out while one awaited its reply").arg(requests);
            awaiting = r.outcome == "sent";
        } else {
            if (!awaiting)
                faults << QString("a reply awaited after request %1 with none out").arg(requests);
            awaiting = false;
        }
    }
};

// The simulator's log as (direction, network number) pairs.
struct LineEvent {
    bool request = false;
    unsigned net = 0;
};

std::vector<LineEvent> lineEvents(const std::string& logPath) {
    std::vector<LineEvent> events;
    std::ifstream in(logPath);
    for (std::string line; std::getline(in, line);) {
        const bool rx = line.find("\"dir\":\"rx\"") != std::string::npos;
        const bool tx = line.find("\"dir\":\"tx\"") != std::string::npos;
        if (rx || tx) events.push_back({rx, rv::test::jsonNumberAfter(line, "net")});
    }
    return events;
}

// Whether the line is quiet: the simulator has heard every request the program sent, and
// answered each one its instrument answers. A reply on its way after a cancel would otherwise
// reach the next use, which no person starts that fast.
bool lineQuiet(const std::string& logPath, int sent) {
    int heard = 0;
    int open = 0;
    for (const LineEvent& e : lineEvents(logPath)) {
        heard += e.request;
        if (e.net == kNet) open += e.request ? 1 : -1;
    }
    return heard == sent && open == 0;
}

// The end of the simulator's log, to show with a failure.
QString logTail(const std::string& logPath) {
    QStringList lines;

    std::ifstream in(logPath);
    for (std::string line; std::getline(in, line);) lines << QString::fromStdString(line);
    return lines.mid(std::max<qsizetype>(0, lines.size() - 8)).join('\n');
}

// The copy of a block an instrument reads: the primary when whole, else the backup.
std::vector<uint8_t> shownCopy(const std::string& stateFile, int block) {
    const std::vector<uint8_t> primary = rv::test::ReadBlockCopy(stateFile, block, false);
    if (rv::test::BlockCopyValid(primary, block)) return primary;
    return rv::test::ReadBlockCopy(stateFile, block, true);
}

std::vector<uint8_t> bytesAt(const std::vector<uint8_t>& copy, size_t offset, size_t count) {
    return {copy.begin() + static_cast<long>(offset),
            copy.begin() + static_cast<long>(offset + count)};
}

}  // namespace

class LineStressTest : public QObject, private WindowFixture {
    Q_OBJECT

    std::mt19937 random_;
    std::unique_ptr<rv::test::SimProcess> sim_;
    FrameOrder order_;
    int refused_ = 0;
    int closes_ = 0;
    bool closed_ = false;
    // The number at whose probe the running search is stopped.
    unsigned searchStop_ = 2;
    // The uses that started, by what the line was doing.
    std::map<QString, int> started_;

    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    SensorView* view() const {
        return form->sensorViewMenu() ? form->sensorViewMenu()->sensorView() : nullptr;
    }

    // A window as the program starts it, on the instrument, its configuration read.
    void start() {
        QTRY_VERIFY_WITH_TIMEOUT(lineQuiet(sim_->logPath(), order_.sent()), 5000);
        createWindow();
        closed_ = false;
        QObject::connect(form, &TDeskForm::closed, [this] { closed_ = true; });
        useLine(*sim_);
        line().setTrace(&order_);
        QObject::connect(&line(), &LineOwner::busyChanged, [this](bool busy) {
            if (busy) ++started_[line().busyText()];
        });
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(form->image().LoadedId != 0);
        control<QTabBar>("TabBar")->setCurrentIndex(kChannel);
        duringWait = [this] { meanwhile(); };
    }

    // A request that slips through while the line is busy: refused, nothing starts.
    void slip() {
        const size_t before = boxes->shown.size();
        boxes->answers.push_back(true);
        switch (pick(7)) {
            case 0:
                transfer().BtnLoadClick();
                break;
            case 1:
                transfer().BtnSaveClick();
                break;
            case 2:
                if (!bus().searchActive()) bus().BtnSearchClick();
                break;
            case 3:
                page().BtnR0Click();
                break;
            case 4:
                pass->BtnPASSClick();
                break;
            case 5:
                pass->BtnSENOClick();
                break;
            case 6:
                if (view() && !view()->running()) view()->startRun();
                break;
        }
        boxes->answers.clear();
        boxes->answers = {true, true, true};
        for (size_t i = before; i < boxes->shown.size(); ++i) {
            QVERIFY2(boxes->shown[i].text.startsWith(QString::fromUtf8("Линия занята: идёт ")),
                     qPrintable(boxes->shown[i].text));
            ++refused_;
        }
    }

    // What the user may do while a use of the line runs: cancel it, close a window, or press
    // something that would start another.
    void meanwhile() {
        if (!line().busy()) return;
        if (bus().searchActive() && order_.lastAddressed() >= searchStop_) bus().BtnSearchClick();
        if (chance(0.01)) slip();
        if (chance(0.004) && info->isVisible()) child<QPushButton>(info, "BtnCancel")->click();
        if (chance(0.001) && view()) view()->close();
        if (chance(0.0005)) form->close();
    }

    void step() {
        boxes->answers = {true, true, true};
        const int action = pick(20);
        switch (action) {
            case 0:
            case 1:
            case 2:
                control<QPushButton>("BtnLoad")->click();
                break;
            case 3:
            case 4:
                if (form->isEnabled())
                    control<QLineEdit>("EdUstav1")->setText(QString::number(kSetPoints[pick(3)]));
                control<QPushButton>("BtnSave")->click();
                break;
            case 5:
                searchStop_ = 2 + static_cast<unsigned>(pick(3));
                control<QPushButton>("BtnSearch")->click();
                break;
            case 6:
                control<QPushButton>("BtnR0")->click();
                break;
            case 7:
                control<QPushButton>("Btn2X")->click();
                break;
            case 8:
                control<QPushButton>("BtnPASS")->click();
                if (pass->isVisible()) {
                    child<QLineEdit>(pass, "Sym2")->setText(pick(2) ? "2" : "0");
                    child<QPushButton>(pass, "BtnPASS")->click();
                }
                break;
            case 9:
                child<QPushButton>(pass, "BtnSENO")->click();
                break;
            case 10:
                child<QPushButton>(pass, "Button1")->click();
                break;
            case 11:
                control<QPushButton>("BtnRELE")->click();
                if (rele->isVisible()) child<QPushButton>(rele, "BtnER")->click();
                break;
            case 12:
            case 13:
                form->sensorViewMenu()->sensorViewAction()->trigger();
                if (view()) view()->show();
                break;
            case 14:
            case 15:
                if (view()) view()->findChild<QPushButton*>("BtnStart")->click();
                break;
            case 16:
                if (view()) view()->findChild<QPushButton*>("BtnStop")->click();
                break;
            case 17:
                if (view()) view()->close();
                break;
            case 18:
                if (chance(0.2)) form->close();
                break;
            default:
                QTest::qWait(pick(30));
                break;
        }
    }

  private slots:
    void cleanup() {
        if (windows) destroyWindow();
        sim_.reset();
    }

    void randomUseOfEveryWindow() {
        const unsigned steps = environmentNumber("RV740X_STRESS_STEPS", 1000);
        const unsigned seed =
            environmentNumber("RV740X_STRESS_SEED", static_cast<unsigned>(std::random_device()()));
        std::printf("stress: %u steps, seed %u (RV740X_STRESS_SEED=%u repeats it)\n", steps, seed,
                    seed);
        random_.seed(seed);
        rv::test::TempDir state;
        rv::test::SimOptions options = Slowed({"1,model=RV7408,r=8:110"});
        options.latencyMs = 1.0;
        options.stateDir = state.path();
        sim_ = std::make_unique<rv::test::SimProcess>(options);
        QVERIFY2(sim_->started(), sim_->error().c_str());
        const std::string memory = sim_->stateFile(kNet);
        std::vector<std::vector<uint8_t>> original;
        for (int b = 0; b < kBlockRows; ++b) original.push_back(shownCopy(memory, b));

        start();
        for (unsigned i = 0; i < steps && !QTest::currentTestFailed(); ++i) {
            // A person starts the next thing seconds later, not while the answer to a request
            // just cancelled is still on its way.
            if (!line().busy())
                QTRY_VERIFY2_WITH_TIMEOUT(
                    lineQuiet(sim_->logPath(), order_.sent()),
                    qPrintable("requests go on while no use of the line runs:\n" +
                               logTail(sim_->logPath())),
                    5000);
            step();
            // The network writes write the number and speed the instrument has: the window
            // keeps addressing it as it did.
            QVERIFY2(settings().NetNumber == kNet && settings().BaudRate == 9600,
                     qPrintable(QString("step %1 left the window at number %2, %3 baud")
                                    .arg(i)
                                    .arg(settings().NetNumber)
                                    .arg(settings().BaudRate)));
            if (view() && view()->running() && chance(0.3)) slip();
            // A close asked for during a use completes once the use has ended.
            QCoreApplication::processEvents();
            if (!closed_) continue;
            ++closes_;
            QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
            destroyWindow();
            start();
        }
        if (view()) view()->close();
        QTRY_VERIFY2_WITH_TIMEOUT(!line().busy(), qPrintable(line().busyText()), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(lineQuiet(sim_->logPath(), order_.sent()), 5000);
        std::printf("stress: %d requests, %d refused, %d closes;", order_.requests, refused_,
                    closes_);
        for (const auto& [what, count] : started_) std::printf(" %d %s,", count, qPrintable(what));
        std::printf("\n");

        QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        {
            const std::lock_guard<std::mutex> lock(order_.mutex);
            QVERIFY2(order_.faults.isEmpty(), qPrintable(order_.faults.join("\n")));
        }
        // On the instrument's side: each request it answers has its answer before the next
        // request comes, and no number but its own is ever answered.
        const std::vector<LineEvent> events = lineEvents(sim_->logPath());
        for (size_t i = 0; i + 1 < events.size(); ++i) {
            if (!events[i].request) continue;
            const LineEvent& next = events[i + 1];
            if (events[i].net == kNet)
                QVERIFY2(!next.request, qPrintable(QString("two requests in flight at %1").arg(i)));
            else
                QVERIFY2(next.request,
                         qPrintable(QString("number %1 answered").arg(events[i].net)));
        }

        // Every block as the instrument reads it is whole, and old or as a write made it.
        std::set<std::vector<uint8_t>> setPoints{bytesAt(original[kSetPointBlock], at::Ustav1, 4)};
        for (long v : kSetPoints) {
            const auto bytes = rv::test::DeviceBytes(v);
            setPoints.insert({bytes.begin(), bytes.end()});
        }
        std::set<std::vector<uint8_t>> passwords;
        for (uint16_t p : kPasswords)
            passwords.insert({static_cast<uint8_t>(p & 0xFF), static_cast<uint8_t>(p >> 8)});
        for (int b = 0; b < kBlockRows; ++b) {
            std::vector<uint8_t> shown = shownCopy(memory, b);
            QVERIFY2(rv::test::BlockCopyValid(shown, b), qPrintable(QString("block %1").arg(b)));
            std::vector<uint8_t> expected = original[static_cast<size_t>(b)];
            const auto free = [&](size_t offset, size_t count) {
                std::copy_n(shown.begin() + static_cast<long>(offset), count,
                            expected.begin() + static_cast<long>(offset));
            };
            if (b == kMainBlock) {
                // Both calibrations store into these; any value measured may be written.
                free(at::Rt0, 4);
                free(at::RLine, 4);
            }
            if (b == kSetPointBlock) {
                QVERIFY(setPoints.count(bytesAt(shown, at::Ustav1, 4)) == 1);
                free(at::Ustav1, 4);
            }
            if (b == kPasswordBlock) {
                QVERIFY(passwords.count(bytesAt(shown, at::Password, 2)) == 1);
                free(at::Password, 2);
            }
            const size_t data = kBlocks[static_cast<size_t>(b)].length;
            QVERIFY2(std::equal(shown.begin(), shown.begin() + static_cast<long>(data),
                                expected.begin()),
                     qPrintable(QString("block %1 holds bytes no write made").arg(b)));
        }
    }
};

QTEST_MAIN(LineStressTest)
#include "line_stress_test.moc"
