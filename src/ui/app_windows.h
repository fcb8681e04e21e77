#pragma once

#include <memory>

class LineOwner;
class MessageBoxes;
class TDeskForm;
class TFormPASS;
class TFormRELE;
class TInfoForm;

namespace rv {
class TraceSink;
}

// The program's line owner and windows, created in their start-up order (main window, relay
// dialog, password dialog, progress window) and wired to each other; the main window is shown,
// the others wait hidden. Closing the main window ends the application's event loop once no
// use of the line runs any more. The program and the window tests both start this way.
class AppWindows {
  public:
    // Every frame on the line goes to `trace` when one is given.
    explicit AppWindows(MessageBoxes& boxes, rv::TraceSink* trace = nullptr);
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    LineOwner& line() { return *line_; }
    TDeskForm& desk() { return *desk_; }
    TFormRELE& rele() { return *rele_; }
    TFormPASS& pass() { return *pass_; }
    TInfoForm& info() { return *info_; }

  private:
    std::unique_ptr<LineOwner> line_;
    std::unique_ptr<TDeskForm> desk_;
    std::unique_ptr<TFormRELE> rele_;
    std::unique_ptr<TFormPASS> pass_;
    std::unique_ptr<TInfoForm> info_;
};
