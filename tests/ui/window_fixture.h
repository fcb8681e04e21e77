#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <functional>
#include <memory>

#include "link/link.h"
#include "scripted_boxes.h"
#include "sim_harness.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/Info.h"
#include "ui/WN1.h"

// The main window with its progress window on a link of its own, as the window tests use it.
// A test class derives from QObject and from this, calls createWindow() in init() and
// destroyWindow() in cleanup().
class WindowFixture {
  protected:
    std::unique_ptr<rv::Link> link;
    std::unique_ptr<ScriptedBoxes> boxes;
    std::unique_ptr<TDeskForm> form;
    std::unique_ptr<TInfoForm> info;
    // Only with createWindow(true).
    std::unique_ptr<TFormPASS> pass;
    std::unique_ptr<TFormRELE> rele;
    // Runs at every wait of a transaction, after the window's events: the test file's own
    // record of what the wait saw.
    std::function<void()> watchWait;
    // Runs at every wait after watchWait: what a single test does meanwhile.
    std::function<void()> duringWait;

    void createWindow(bool withDialogs = false) {
        link = std::make_unique<rv::Link>();
        link->pumpMessages = [this] {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (watchWait) watchWait();
            if (duringWait) duringWait();
        };
        boxes = std::make_unique<ScriptedBoxes>();
        form = std::make_unique<TDeskForm>(*link, *boxes);
        info = std::make_unique<TInfoForm>(*link);
        if (withDialogs) {
            pass = std::make_unique<TFormPASS>(*link, form->image(), *boxes);
            pass->setInfoForm(info.get());
            rele = std::make_unique<TFormRELE>(form->image());
        }
        form->setDialogs(rele.get(), pass.get(), info.get());
        form->show();
        watchWait = nullptr;
        duringWait = nullptr;
    }

    void destroyWindow() {
        pass.reset();
        rele.reset();
        form.reset();
        info.reset();
        boxes.reset();
        link.reset();
    }

    template <typename T>
    T* control(const char* name) {
        T* found = form->findChild<T*>(name);
        if (!found) qFatal("no control %s", name);
        return found;
    }

    void useLine(const rv::test::SimProcess& sim) { link->portDevices[1] = sim.linkPath(); }

    // The texts of the boxes of one kind, in the order shown.
    QStringList shownOf(ScriptedBoxes::Kind kind) const {
        QStringList texts;
        for (const auto& s : boxes->shown)
            if (s.kind == kind) texts << s.text;
        return texts;
    }
    QStringList errors() const { return shownOf(ScriptedBoxes::Kind::Error); }
};
