// The window's wait on the line: it wakes for the window's events as they come, and without
// them hands over to the window only at the idle pace, so that a silent line costs nothing.

#include "ui/window_pump.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "link/link.h"
#include "link/requests.h"
#include "link/status.h"
#include "link/transact.h"
#include "sim_harness.h"

using namespace std::chrono_literals;

class WindowPumpTest : public QObject {
    Q_OBJECT

    // Instrument 1 answers; nobody answers number 7.
    static constexpr uint32_t kSilentNet = 7;

    // Points `link` at the line with the window's pump, and hands the window's events over
    // once, as every transaction does first; false when Qt's event loop here has no
    // descriptors to wake for.
    static bool attach(rv::Link& link, const rv::test::SimProcess& sim) {
        link.Device = sim.linkPath();
        link.NetNumber = kSilentNet;
        InstallWindowPump(link);
        link.pump();
        return !link.eventFds.empty();
    }

    // One request to the silent instrument: a wait for a reply that never comes.
    static bool askTheSilentOne(rv::Link& link) {
        std::string message = rv::request::Identify();
        return rv::Transact(link, message, link.ReplyTimeout, rv::request::kIdentifyFields);
    }

  private slots:
    void anEventFromTheWindowIsHandledAtOnce() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        rv::Link link;
        if (!attach(link, sim)) QSKIP("Qt's event loop here has no descriptors to wake for");
        // No pace of its own can explain a quick answer: only the wake for the event can.
        link.idlePumpInterval = 5s;
        link.ReplyTimeout = 3s;
        QVERIFY(link.OpenPort());

        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> postedAt{-1};
        qint64 handledAt = -1;
        // The window system's input reaches the window from another thread, as this does.
        std::thread windowSystem([&] {
            std::this_thread::sleep_for(300ms);
            postedAt = clock.elapsed();
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    handledAt = clock.elapsed();
                    link.CancelFlag = true;  // as the progress window's cancel button does
                },
                Qt::QueuedConnection);
        });
        const bool answered = askTheSilentOne(link);
        const qint64 endedAt = clock.elapsed();
        windowSystem.join();
        link.ClosePort();

        QVERIFY(!answered);
        QVERIFY2(handledAt >= 0, "the event was not handled during the wait");
        QVERIFY2(handledAt - postedAt < 100,
                 qPrintable(QString("handled %1 ms after it came").arg(handledAt - postedAt)));
        QVERIFY2(endedAt - handledAt < 100,
                 qPrintable(QString("the cancel took %1 ms").arg(endedAt - handledAt)));
    }

    void aSilentLineIsHandedOverOnlyAtTheIdlePace() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        rv::Link link;
        if (!attach(link, sim)) QSKIP("Qt's event loop here has no descriptors to wake for");
        int pumps = 0;
        link.pumpMessages = [&pumps, pump = link.pumpMessages] {
            ++pumps;
            pump();
        };
        // The window's own timers still run during the wait, at the idle pace.
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(100ms);
        link.ReplyTimeout = 1s;
        QVERIFY(link.OpenPort());

        QElapsedTimer clock;
        clock.start();
        QVERIFY(!askTheSilentOne(link));
        const qint64 waited = clock.elapsed();
        link.ClosePort();

        QCOMPARE(link.LinkStatus, rv::status::kNoReply);
        QVERIFY(waited >= 1000);
        // One hand-over before the request, then one per 50 ms: about 21. A pump every
        // 5 ms would make it 200.
        const qint64 idlePace =
            std::chrono::duration_cast<std::chrono::milliseconds>(link.idlePumpInterval).count();
        QCOMPARE(idlePace, qint64{50});
        QVERIFY2(pumps <= waited / idlePace + 4, qPrintable(QString("%1 pumps").arg(pumps)));
        QVERIFY2(pumps >= waited / idlePace - 4, qPrintable(QString("%1 pumps").arg(pumps)));
        QVERIFY2(ticks >= 7, qPrintable(QString("%1 ticks in %2 ms").arg(ticks).arg(waited)));
    }
};

QTEST_MAIN(WindowPumpTest)
#include "window_pump_test.moc"
