#include "ui/operation_runner.h"

#include <QApplication>
#include <QWidget>

#include "link/status.h"
#include "ui/Info.h"
#include "ui/message_boxes.h"
#include "ui/window_holds.h"

std::optional<rv::Outcome> OperationRunner::run(QWidget& owner, const QString& caption,
                                                bool cancellable, LineRequest request,
                                                const LineOwner::Work& work) {
    if (!line_.available(&owner)) return std::nullopt;
    SetHeld(owner, Hold::Operation, true);
    if (info_) info_->startOperation(caption, cancellable);
    request.progress = [this](int percent) {
        if (info_) info_->setProgress(percent);
    };

    const std::optional<LineResult> result = line_.run(request, &owner, work);
    if (result && result->outcome == rv::Outcome::Failed && result->status != rv::status::kOk)
        boxes_.errorWithDetail(
            &owner, QString::fromStdString(rv::StatusText(static_cast<uint32_t>(result->status))),
            QString::fromStdString(result->detail));

    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    if (info_) info_->finishOperation();
    SetHeld(owner, Hold::Operation, false);
    owner.activateWindow();
    owner.setFocus();
    if (!result) return std::nullopt;
    return result->outcome;
}
