#pragma once

#include <QString>
#include <functional>

#include "link/exchange.h"

class MessageBoxes;
class QWidget;
class TInfoForm;

namespace rv {
struct Link;
}

// The frame every operation on the instrument runs in, so each button only says what it does.
class OperationRunner {
  public:
    enum class Priority { Normal, Raised };

    OperationRunner(rv::Link& link, MessageBoxes& boxes) : link_(link), boxes_(boxes) {}

    // The progress window, created after the windows that run operations; without one the
    // operations run unseen.
    void setInfoForm(TInfoForm* info) { info_ = info; }

    // Runs `work` on a worker thread with `owner` disabled and the progress window up under
    // `caption` (its cancel button enabled when `cancellable`), at raised priority when asked,
    // and returns once it has ended; the window's events are served meanwhile. `work` touches
    // no widget and no window data: it reports through showProgress, PostToWindow and
    // AskWindow (ui/operation_thread.h). A failure
    // with a status shows that status's message over `owner`. Afterwards the progress window
    // goes away and `owner` is enabled and active again, whatever the outcome.
    rv::Outcome run(QWidget& owner, const QString& caption, bool cancellable, Priority priority,
                    const std::function<rv::Outcome()>& work);

    // Sets the progress window's gauge of the running operation; from any thread.
    void showProgress(int percent);

    rv::Link& link() { return link_; }
    MessageBoxes& boxes() { return boxes_; }

  private:
    rv::Link& link_;
    MessageBoxes& boxes_;
    TInfoForm* info_ = nullptr;
};
