#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "ports/serial_devices.h"
#include "ui/line_owner.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace rv {
class PortSetup;
}  // namespace rv

// "Устройства COM-портов": the four COM names with their devices and sources, the serial
// devices found on the machine, and a choice that is saved to the settings file: a device or
// the network address of a gateway's port, which "Проверить" tries as a use of the line (refused
// while the line is busy). A name set by the command line or the environment is shown as such
// and cannot be changed here.
class PortDialog : public QDialog {
    Q_OBJECT
  public:
    PortDialog(rv::PortSetup& setup, std::vector<rv::SerialDevice> devices, LineOwner& line,
               QWidget* parent = nullptr);
    // Asks a check in progress to stop; the line's owner ends it.
    ~PortDialog() override;

    QTableWidget* PortTable = nullptr;  // COM name, device, source
    QListWidget* DeviceList = nullptr;  // the devices found; picking one fills DevicePath
    QLineEdit* DevicePath = nullptr;    // any device, pseudo-terminal or network address
    QPushButton* BtnCheck = nullptr;    // opens the typed line once: round trip or cause
    QLabel* AccessNote = nullptr;       // the typed device's problem, or the check's outcome
    QComboBox* PortChoice = nullptr;    // the COM name to set
    QPushButton* BtnAssign = nullptr;   // saves DevicePath for PortChoice
    QPushButton* BtnDefault = nullptr;  // removes PortChoice's line from the settings file
    QLabel* Status = nullptr;           // what the last button did, or why it could not

  signals:
    // The mapping changed; the next opening of a port uses it.
    void mappingChanged();
    // A check has ended and its outcome is shown.
    void checkFinished();

  private:
    void showMapping();
    void fillDeviceList();
    void portChoiceChanged();
    void devicePathChanged();
    void assign(const std::string& device);
    void check();
    // "Проверить" is there for a typed line while the line is free.
    void showCheckEnabled();
    void showNote(const QString& text, bool problem);

    rv::PortSetup& setup_;
    std::vector<rv::SerialDevice> devices_;
    LineOwner& line_;
    bool checking_ = false;
    LineTicket checkUse_;  // the running check's use of the line
};
