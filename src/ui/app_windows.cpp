#include "ui/app_windows.h"

#include <QApplication>
#include <thread>

#include "link/line_thread.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/Info.h"
#include "ui/WN1.h"

AppWindows::AppWindows(rv::Link& link, MessageBoxes& boxes) {
    // Operations run on a worker; the windows' thread never waits on the line.
    rv::ForbidLineWaitsOn(std::this_thread::get_id());
    QApplication::setFont(TDeskForm::windowFont());
    // The program ends when the main window closes, even while the progress window is up.
    QApplication::setQuitOnLastWindowClosed(false);

    desk_ = std::make_unique<TDeskForm>(link, boxes);
    QObject::connect(desk_.get(), &TDeskForm::closed, [] { QCoreApplication::exit(0); });

    // The dialogs have no parent, so they stay usable while the main window is disabled.
    rele_ = std::make_unique<TFormRELE>(desk_->image());
    pass_ = std::make_unique<TFormPASS>(link, desk_->image(), boxes);
    info_ = std::make_unique<TInfoForm>(link);
    pass_->setInfoForm(info_.get());
    rele_->hide();
    pass_->hide();
    info_->hide();
    desk_->setDialogs(rele_.get(), pass_.get(), info_.get());

    desk_->show();
}

// The dialogs go before the main window that refers to them.
AppWindows::~AppWindows() {
    pass_.reset();
    rele_.reset();
    desk_.reset();
    info_.reset();
}
