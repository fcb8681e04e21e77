#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "link/link.h"
#include "named_child.h"
#include "scripted_boxes.h"
#include "sim_harness.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/Info.h"
#include "ui/WN1.h"
#include "ui/app_windows.h"
#include "ui/bus_panel.h"
#include "ui/channel_page.h"
#include "ui/line_owner.h"
#include "ui/transfer_buttons.h"

// The program's windows, started as the program starts them, with a line of their own, as the
// window tests use them. A test class derives from QObject and from this, calls createWindow()
// in init() and destroyWindow() in cleanup().
class WindowFixture {
  protected:
    std::unique_ptr<ScriptedBoxes> boxes;
    std::unique_ptr<AppWindows> windows;
    TDeskForm* form = nullptr;
    TInfoForm* info = nullptr;
    TFormPASS* pass = nullptr;
    TFormRELE* rele = nullptr;
    // Runs on the window's thread every millisecond while an operation runs on the worker:
    // the test file's own record of what the window showed meanwhile.
    std::function<void()> watchWait;
    // Runs after watchWait: what a single test does meanwhile, as a user would.
    std::function<void()> duringWait;
    std::unique_ptr<QTimer> waitTicker;
    struct ShowWatch : QObject {
        std::function<void()> shown;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show && shown) shown();
            return false;
        }
    } showWatch;

    // A simulator set-up whose instruments answer a few milliseconds late, as real ones do, so
    // that an operation is still running when a test acts during it.
    static rv::test::SimOptions Slowed(std::vector<std::string> instruments) {
        rv::test::SimOptions options;
        options.instruments = std::move(instruments);
        options.latencyMs = 3.0;
        return options;
    }

    void createWindow() {
        // The program's settings (the recent files) go to a test directory of Qt's own.
        QStandardPaths::setTestModeEnabled(true);
        testClock.start();
        waitTimedOut = false;
        waitTicker = std::make_unique<QTimer>();
        waitTicker->setInterval(1);
        QObject::connect(waitTicker.get(), &QTimer::timeout, [this] {
            if (!windows || !line().busy()) return;
            if (watchWait) watchWait();
            if (duringWait) duringWait();
            failOnceTooLate();
        });
        waitTicker->start();
        boxes = std::make_unique<ScriptedBoxes>();
        windows = std::make_unique<AppWindows>(*boxes);
        form = &windows->desk();
        info = &windows->info();
        // The progress window comes up just before the worker starts: the watch sees it so.
        info->installEventFilter(&showWatch);
        showWatch.shown = [this] {
            if (watchWait) watchWait();
        };
        pass = &windows->pass();
        rele = &windows->rele();
        watchWait = nullptr;
        duringWait = nullptr;
    }

    // A test whose operations still wait after this long fails, and its operation is cancelled
    // so that the test ends instead of hanging.
    static constexpr qint64 kWaitLimitMs = 90000;
    QElapsedTimer testClock;
    bool waitTimedOut = false;

    void failOnceTooLate() {
        if (waitTimedOut || testClock.elapsed() < kWaitLimitMs) return;
        waitTimedOut = true;
        line().cancelAll();
        QTest::qFail("an operation of the window still waits after the test's time limit", __FILE__,
                     __LINE__);
    }

    void destroyWindow() {
        form = nullptr;
        info = nullptr;
        pass = nullptr;
        rele = nullptr;
        waitTicker.reset();
        windows.reset();
        boxes.reset();
    }

    LineOwner& line() const { return windows->line(); }
    // The line's settings as the window's controls set them.
    rv::LineSettings& settings() const { return line().settings(); }

    // Whether no use of the line has left the port open: this process holds no lock on the
    // line's device (an open port holds one, /proc/locks lists it).
    bool portFree() const {
        struct stat device {};
        if (::stat(settings().Device.c_str(), &device) != 0) return true;
        std::ifstream locks("/proc/locks");
        const std::string self = std::to_string(::getpid());
        const std::string inode = ":" + std::to_string(device.st_ino);
        for (std::string line; std::getline(locks, line);) {
            std::istringstream fields(line);
            std::string id, type, mode, access, pid, where;
            fields >> id >> type >> mode >> access >> pid >> where;
            if (pid == self && where.size() > inode.size() &&
                where.compare(where.size() - inode.size(), inode.size(), inode) == 0)
                return false;
        }
        return true;
    }

    template <typename T>
    T* control(const char* name) const {
        T* found = form->findChild<T*>(name);
        if (!found) qFatal("no control %s", name);
        return found;
    }
    ChannelPage& page() const { return *control<ChannelPage>("TabCtrl"); }
    BusPanel& bus() const { return *control<BusPanel>("BusPanel"); }
    TransferButtons& transfer() const { return *control<TransferButtons>("TransferButtons"); }
    // The used-channel boxes CC1..CC8.
    QList<QCheckBox*> usedBoxes() const {
        QList<QCheckBox*> list;
        for (int i = 1; i <= rv::kChannelCount; ++i)
            list << control<QCheckBox>(QString("CC%1").arg(i).toLatin1().constData());
        return list;
    }

    void useLine(const rv::test::SimProcess& sim) { settings().Device = sim.linkPath(); }

    // The texts of the boxes of one kind, in the order shown.
    QStringList shownOf(ScriptedBoxes::Kind kind) const {
        QStringList texts;
        for (const auto& s : boxes->shown)
            if (s.kind == kind) texts << s.text;
        return texts;
    }
    QStringList errors() const { return shownOf(ScriptedBoxes::Kind::Error); }
};
