#include "ui/operation_runner.h"

#include <QApplication>
#include <QWidget>
#include <optional>

#include "link/link.h"
#include "link/priority.h"
#include "link/status.h"
#include "ui/Info.h"
#include "ui/message_boxes.h"
#include "ui/operation_thread.h"

rv::Outcome OperationRunner::run(QWidget& owner, const QString& caption, bool cancellable,
                                 Priority priority, const std::function<rv::Outcome()>& work) {
    owner.setEnabled(false);
    if (info_) info_->startOperation(caption, cancellable);

    rv::Outcome outcome = rv::Outcome::Failed;
    RunOnWorker([&] {
        // The priority is the thread's own: the worker's, which collects the replies.
        std::optional<rv::RaisedPriority> raised;
        if (priority == Priority::Raised) raised.emplace();
        outcome = work();
    });
    if (outcome == rv::Outcome::Failed && link_.LinkStatus != rv::status::kOk)
        boxes_.errorWithDetail(&owner, QString::fromStdString(rv::StatusText(link_.LinkStatus)),
                               QString::fromStdString(link_.LinkDetail));

    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    if (info_) info_->finishOperation();
    owner.setEnabled(true);
    owner.activateWindow();
    owner.setFocus();
    return outcome;
}

void OperationRunner::showProgress(int percent) {
    PostToWindow([this, percent] {
        if (info_) info_->setProgress(percent);
    });
}
