#pragma once

#include <memory>

class MessageBoxes;
class TDeskForm;
class TFormPASS;
class TFormRELE;
class TInfoForm;

namespace rv {
struct Link;
}

// The program's windows, created in their start-up order (main window, relay dialog, password
// dialog, progress window) and wired to each other; the main window is shown, the others wait
// hidden. Closing the main window ends the application's event loop, even while the progress
// window is up. The program and the window tests both start this way.
class AppWindows {
  public:
    AppWindows(rv::Link& link, MessageBoxes& boxes);
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    TDeskForm& desk() { return *desk_; }
    TFormRELE& rele() { return *rele_; }
    TFormPASS& pass() { return *pass_; }
    TInfoForm& info() { return *info_; }

  private:
    std::unique_ptr<TDeskForm> desk_;
    std::unique_ptr<TFormRELE> rele_;
    std::unique_ptr<TFormPASS> pass_;
    std::unique_ptr<TInfoForm> info_;
};
