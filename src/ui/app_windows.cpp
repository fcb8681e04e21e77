#include "ui/app_windows.h"

#include <QApplication>
#include <thread>

#include "link/line_thread.h"
#include "ui/EdPASS.h"
#include "ui/EdRL.h"
#include "ui/Info.h"
#include "ui/WN1.h"
#include "ui/line_owner.h"

AppWindows::AppWindows(MessageBoxes& boxes, rv::TraceSink* trace) {
    // Operations run on a worker; the windows' thread never waits on the line.
    rv::ForbidLineWaitsOn(std::this_thread::get_id());
    QApplication::setFont(TDeskForm::windowFont());
    // The program ends when the main window closes, even while the progress window is up.
    QApplication::setQuitOnLastWindowClosed(false);

    line_ = std::make_unique<LineOwner>(boxes);
    line_->setTrace(trace);
    desk_ = std::make_unique<TDeskForm>(*line_, boxes);
    QObject::connect(desk_.get(), &TDeskForm::closed, [] { QCoreApplication::exit(0); });

    // The dialogs have no parent, so they stay usable while the main window is disabled.
    rele_ = std::make_unique<TFormRELE>(desk_->windowImage());
    pass_ = std::make_unique<TFormPASS>(*line_, desk_->windowImage(), boxes);
    info_ = std::make_unique<TInfoForm>(*line_);
    pass_->setInfoForm(info_.get());
    rele_->hide();
    pass_->hide();
    info_->hide();
    desk_->setDialogs(rele_.get(), pass_.get(), info_.get());

    desk_->show();
}

// The dialogs go before the main window that refers to them, and the line's owner last: a use
// still running (only when the windows go without the main window closing) is cancelled and
// waited for, and what it posted to the windows no longer runs.
AppWindows::~AppWindows() {
    pass_.reset();
    rele_.reset();
    desk_.reset();
    info_.reset();
    line_.reset();
}
