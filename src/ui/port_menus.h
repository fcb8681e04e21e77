#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "ports/serial_devices.h"

class QAction;
class QMessageBox;
class PortDialog;
class TDeskForm;

namespace rv {
class PortSetup;
}  // namespace rv

// Gives the main window's port list the devices of the COM-name mapping.
void ApplyPorts(const rv::PortSetup& setup, TDeskForm& form);

// "Справка" → "О программе": the version, the licence and where the third-party licences are,
// the four mappings and the settings file's place.
QString AboutText(const rv::PortSetup& setup);

// Connects "Порт" → "Устройства COM-портов…", "Справка" → "О программе" and "О Qt" (Qt's own
// box) of the main window to the mapping, and keeps the port list's devices equal to it: a change
// takes effect at the next opening of the port. Below the dialog's item, the "Порт" menu lists
// what each COM is ("COM3 — rfc2217://10.0.0.5:4001"); choosing one chooses it in the port
// list. The caller keeps it as long as the window.
class PortMenus : public QObject {
    Q_OBJECT
  public:
    using DeviceLister = std::function<std::vector<rv::SerialDevice>()>;

    PortMenus(TDeskForm& form, rv::PortSetup& setup,
              DeviceLister listDevices = rv::ListSerialDevices);

    // Both open without waiting, modal to the main window, and delete themselves on closing.
    PortDialog* openPortDialog();
    QMessageBox* openAbout();

    // "COM1 — /dev/ttyS0" .. "COM4 — ...", in the "Порт" menu.
    const std::array<QAction*, 4>& comActions() const { return comActions_; }

  private:
    void showMapping();

    TDeskForm& form_;
    rv::PortSetup& setup_;
    DeviceLister listDevices_;
    std::array<QAction*, 4> comActions_{};
};
