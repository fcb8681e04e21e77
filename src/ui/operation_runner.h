#pragma once

#include <QString>
#include <optional>

#include "link/exchange.h"
#include "ui/line_owner.h"

class MessageBoxes;
class QWidget;
class TInfoForm;

// The frame every operation on the instrument started by a button runs in, so each button
// only says what it does.
class OperationRunner {
  public:
    OperationRunner(LineOwner& line, MessageBoxes& boxes) : line_(line), boxes_(boxes) {}

    // The progress window, created after the windows that run operations; without one the
    // operations run unseen.
    void setInfoForm(TInfoForm* info) { info_ = info; }

    // Runs `work` as a use of the line (LineOwner::run) with `owner` held disabled and the
    // progress window up under `caption` (its cancel button enabled when `cancellable`), and
    // returns its outcome once it has ended; the window's events are served meanwhile. The
    // progress window shows the gauge the work reports (LineUse::progress). A failure with a
    // status shows that status's message over `owner`. Afterwards the progress window goes
    // away and `owner` is enabled and active again, whatever the outcome. Nothing, and
    // nothing sent, when the line was busy: the refusal has been shown.
    std::optional<rv::Outcome> run(QWidget& owner, const QString& caption, bool cancellable,
                                   LineRequest request, const LineOwner::Work& work);

    LineOwner& line() { return line_; }
    MessageBoxes& boxes() { return boxes_; }

  private:
    LineOwner& line_;
    MessageBoxes& boxes_;
    TInfoForm* info_ = nullptr;
};
