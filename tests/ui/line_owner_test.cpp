#include "ui/line_owner.h"

#include <QSignalSpy>
#include <QtTest>
#include <future>
#include <numeric>
#include <optional>
#include <vector>

#include "link/exchange.h"
#include "link/link.h"
#include "link/session.h"
#include "pty_peer.h"
#include "scripted_boxes.h"
#include "sim_harness.h"
#include "sim_log.h"

namespace {

using namespace std::chrono_literals;

// A use that identifies the instrument at `net`, whatever number the settings address.
LineOwner::Work identify(unsigned net) {
    return [net](LineUse& use) {
        use.link().NetNumber = net;
        const rv::Session session(use.link(), rv::Session::Check::Identify);
        return session.outcome();
    };
}

QStringList heard(const rv::test::SimProcess& sim) {
    QStringList lines;
    for (const auto& request : rv::test::HeardRequests(sim.logPath()))
        lines << QString("%1/%2").arg(request.net).arg(QString::fromStdString(request.text));
    return lines;
}

}  // namespace

// The line's owner on its own: what it queues and cancels, and how it goes, against real
// lines. What it refuses is tested through the windows (busy_line_test).
class LineOwnerTest : public QObject {
    Q_OBJECT

  private slots:
    // A cancel asked for after the use started but before its session opened still stops it:
    // nothing goes out on the line.
    void aCancelBeforeTheSessionStands() {
        rv::test::PtyPeer peer;
        ScriptedBoxes boxes;
        LineOwner line(boxes);
        line.settings().Device = peer.path();
        line.settings().ReplyTimeout = 200ms;
        std::promise<void> go;
        std::shared_future<void> mayOpen = go.get_future().share();
        std::optional<LineResult> ended;
        QVERIFY(line.start(
            {LineTask::Identity, false, {}}, nullptr,
            [mayOpen](LineUse& use) {
                mayOpen.wait();
                const rv::Session session(use.link(), rv::Session::Check::Identify);
                return session.outcome();
            },
            [&](const LineResult& r) { ended = r; }));
        line.cancel();
        go.set_value();
        QTRY_VERIFY_WITH_TIMEOUT(ended.has_value(), 10000);
        QCOMPARE(int(ended->outcome), int(rv::Outcome::Cancelled));
        QCOMPARE(peer.drain(100ms), std::string());
    }

    // Queued uses run one after another, each on the line alone, in the order they came; the
    // windows hear busy once and idle once. Dropping the queue ends the waiting ones unsent.
    void queuedUsesRunInTurn() {
        rv::test::SimProcess sim({"1", "2", "3"});
        QVERIFY2(sim.started(), sim.error().c_str());
        ScriptedBoxes boxes;
        LineOwner line(boxes);
        line.settings().Device = sim.linkPath();
        QSignalSpy busy(&line, &LineOwner::busyChanged);
        std::vector<std::pair<unsigned, rv::Outcome>> ends;
        const auto record = [&ends](unsigned net) {
            return [&ends, net](const LineResult& r) { ends.emplace_back(net, r.outcome); };
        };
        line.enqueue({LineTask::Identity, false, {}}, identify(3), record(3));
        line.enqueue({LineTask::Identity, false, {}}, identify(1), record(1));
        line.enqueue({LineTask::Identity, false, {}}, identify(2), record(2));
        QCOMPARE(line.queued(), size_t(2));
        QTRY_VERIFY_WITH_TIMEOUT(!line.busy(), 10000);
        const std::vector<std::pair<unsigned, rv::Outcome>> inTurn{
            {3, rv::Outcome::Done}, {1, rv::Outcome::Done}, {2, rv::Outcome::Done}};
        QCOMPARE(ends, inTurn);
        QCOMPARE(heard(sim), QStringList({"3/0;", "1/0;", "2/0;"}));
        QCOMPARE(busy.size(), 2);
        QCOMPARE(busy[0][0].toBool(), true);
        QCOMPARE(busy[1][0].toBool(), false);

        // One waiting use withdrawn by its ticket: it ends at once, unsent; the others go on.
        ends.clear();
        line.enqueue({LineTask::Identity, false, {}}, identify(1), record(1));
        const LineTicket second =
            line.enqueue({LineTask::Identity, false, {}}, identify(2), record(2));
        line.enqueue({LineTask::Identity, false, {}}, identify(3), record(3));
        second.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(!line.busy(), 10000);
        const std::vector<std::pair<unsigned, rv::Outcome>> withdrawn{
            {2, rv::Outcome::Cancelled}, {1, rv::Outcome::Done}, {3, rv::Outcome::Done}};
        QCOMPARE(ends, withdrawn);
        QCOMPARE(heard(sim).mid(3), QStringList({"1/0;", "3/0;"}));

        // The program closing: the queue is dropped and the running use cancelled.
        ends.clear();
        line.enqueue({LineTask::Identity, false, {}}, identify(1), record(1));
        line.enqueue({LineTask::Identity, false, {}}, identify(2), record(2));
        line.enqueue({LineTask::Identity, false, {}}, identify(3), record(3));
        line.cancelAll();
        QTRY_VERIFY_WITH_TIMEOUT(!line.busy(), 10000);
        QCOMPARE(ends.size(), size_t(3));
        QCOMPARE(ends[0], std::make_pair(2u, rv::Outcome::Cancelled));
        QCOMPARE(ends[1], std::make_pair(3u, rv::Outcome::Cancelled));
        QCOMPARE(ends[2].first, 1u);
        QVERIFY(heard(sim).size() <= 6);
    }

    // The owner going while a use waits for the answer to its question: no waiting for the
    // question, no event loop, the use is cancelled and ends, the question is never asked.
    void goingWhileAUseAsksDoesNotWaitForTheAnswer() {
        rv::test::PtyPeer peer;
        ScriptedBoxes boxes;
        bool asked = false;
        std::promise<void> asking;
        {
            LineOwner line(boxes);
            line.settings().Device = peer.path();
            QVERIFY(line.start({LineTask::Measurement, false, {}}, nullptr,
                               [&asked, &asking](LineUse& use) {
                                   asking.set_value();
                                   use.ask([&asked] { asked = true; });
                                   return rv::Outcome::Done;
                               }));
            asking.get_future().wait();
        }
        QCoreApplication::processEvents();
        QVERIFY(!asked);
    }

    // A work that posts faster than its jobs run does not hold the window's thread: an event
    // posted during the first job is served a few jobs later, not after all 200; the jobs still
    // run in order, and the end comes after the last.
    void postedJobsLetOtherEventsThrough() {
        ScriptedBoxes boxes;
        LineOwner line(boxes);
        std::vector<int> ran;
        std::optional<size_t> servedAfter;
        std::optional<size_t> endedAfter;
        QVERIFY(line.start(
            {LineTask::LineBackup, false, {}}, nullptr,
            [&](LineUse& use) {
                for (int i = 0; i < 200; ++i) {
                    use.post([&, i] {
                        if (i == 0)
                            QMetaObject::invokeMethod(
                                qApp, [&] { servedAfter = ran.size(); }, Qt::QueuedConnection);
                        // A millisecond of the window's own work, as taking in a row costs.
                        const auto until = std::chrono::steady_clock::now() + 1ms;
                        while (std::chrono::steady_clock::now() < until) {
                        }
                        ran.push_back(i);
                    });
                }
                return rv::Outcome::Done;
            },
            [&](const LineResult&) { endedAfter = ran.size(); }));
        QTRY_VERIFY_WITH_TIMEOUT(endedAfter.has_value(), 10000);
        std::vector<int> inOrder(200);
        std::iota(inOrder.begin(), inOrder.end(), 0);
        QVERIFY(ran == inOrder && *endedAfter == 200);
        QVERIFY2(servedAfter.value_or(200) < 20,
                 qPrintable(QString::number(servedAfter.value_or(200))));
    }
};

QTEST_MAIN(LineOwnerTest)
#include "line_owner_test.moc"
